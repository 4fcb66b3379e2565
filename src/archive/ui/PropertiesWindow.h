#pragma once

#include <QDialog>
#include <QString>

class FileRecords;
class QPrinter;
class QRadioButton;
class QTableWidget;
class QToolBar;

// Window "文件属性": the fields of one record as name–value rows, brief
// ("精简属性") or detailed ("详细属性"), and "打印" to print them.
class PropertiesWindow : public QDialog {
    Q_OBJECT
public:
    PropertiesWindow(FileRecords& records, qint64 id, QWidget* parent = nullptr);

    qint64 recordId() const { return m_id; }
    bool isDetailed() const;
    // Fills the grid again from the record.
    void reload();
    // Prints the grid; with a print target set (a PDF file), there without
    // asking, else through the print dialog.
    void print();
    bool printTo(QPrinter& printer);
    void setPrintTarget(const QString& pdfPath) { m_printTarget = pdfPath; }

private:
    FileRecords& m_records;
    qint64 m_id;
    QRadioButton* m_brief = nullptr;
    QRadioButton* m_detailed = nullptr;
    QTableWidget* m_grid = nullptr;
    QToolBar* m_toolbar = nullptr;
    QString m_printTarget;
};
