#pragma once

#include "platform/ui/JobWindow.h"

#include <QList>

class FileRecords;

// Window "正在删除文件...": moves the chosen records into the trash with its
// progress bar, modal over the main window while it runs. The records go in
// a job on a connection of its own (archive/RecordDeletion). A record that
// is refused (no number) or fails stays, its message is shown, and the run
// goes on with the next. "取消" (or the close box) stops the run between
// records.
class DeleteProgressWindow : public JobWindow {
    Q_OBJECT
public:
    explicit DeleteProgressWindow(FileRecords& records, QWidget* parent = nullptr);

    struct Outcome {
        int deleted = 0;
        int refused = 0;
        bool cancelled = false;  // stopped before the last record
    };
    Outcome run(const QList<qint64>& ids);

private:
    FileRecords& m_records;
};
