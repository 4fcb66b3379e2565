#pragma once

#include <QDialog>
#include <QList>

class FileRecords;
class QProgressBar;

// Window "正在删除文件...": deletes the chosen records one by one with its
// progress bar, serving the window's events between records. A record that
// is refused (no number) or fails stays, its message is shown, and the run
// goes on with the next.
class DeleteProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit DeleteProgressWindow(FileRecords& records, QWidget* parent = nullptr);

    struct Outcome {
        int deleted = 0;
        int refused = 0;
    };
    Outcome run(const QList<qint64>& ids);

    QProgressBar* progressBar() const { return m_bar; }

private:
    FileRecords& m_records;
    QProgressBar* m_bar = nullptr;
};
