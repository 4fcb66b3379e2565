#pragma once

#include "platform/ui/LongRunWindow.h"

#include <QList>

class FileRecords;

// Window "正在删除文件...": deletes the chosen records one by one with its
// progress bar, modal over the main window while it runs. A record that is
// refused (no number) or fails stays, its message is shown, and the run goes
// on with the next. "取消" (or the close box) stops the run between records.
class DeleteProgressWindow : public LongRunWindow {
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
