#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class FileRecords;
class QPrinter;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QToolBar;

// Window "文件属性": the fields of one record as name–value rows, brief
// ("精简属性") or detailed ("详细属性"), and "打印" to print them; in
// "历史版本" the record's earlier contents (版本, 修改人, 修改时间, 文件大小,
// SHA-256, newest first) with "打开", "另存为" (each with the right of the
// same command) and "恢复为当前版本" (with the right "修改", after a question).
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

    // The list of versions read again.
    void reloadVersions();
    // The buttons of "历史版本", on the selected version.
    void openVersion();
    void saveVersion();
    void restoreVersion();
    // Where "打开" writes a version (the operator's extraction folder unless
    // set) and what hands the written file to its program.
    void setExtractionFolder(const QString& folder) { m_extraction = folder; }
    void setOpener(std::function<bool(const QString&)> opener) { m_opener = std::move(opener); }

signals:
    // A version became the record's content.
    void contentRestored(qint64 id);

private:
    // The id of the selected version; -1 when none.
    qint64 selectedVersion() const;
    void showMode();

    FileRecords& m_records;
    qint64 m_id;
    QRadioButton* m_brief = nullptr;
    QRadioButton* m_detailed = nullptr;
    QRadioButton* m_history = nullptr;
    QTableWidget* m_grid = nullptr;
    QTableWidget* m_versions = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_restore = nullptr;
    QString m_extraction;
    std::function<bool(const QString&)> m_opener;
    QToolBar* m_toolbar = nullptr;
    QString m_printTarget;
};
