#pragma once

#include "archive/BatchImport.h"
#include "archive/ui/BatchRunWindow.h"

#include <QMutex>
#include <QStringList>
#include <atomic>

class QThread;
class QTimer;

// Window "批量导入文件": "确定" imports the chosen files into the group on a
// worker thread with a connection of its own, so the window stays
// responsive; the status and the bar follow the run, "取消" stops it between
// files, and the summary is shown at the end.
class BatchImportWindow : public BatchRunWindow {
    Q_OBJECT
public:
    struct Setup {
        QString databasePath;
        StoreFolder folder;
        CurrentOperator op;
        ProtectedGroups open;
        qint64 sizeBound = 0;
        QString group;
        QStringList files;
        // The group of each file, group or one below it (missing ones are
        // made first); empty: every file goes into group.
        QStringList groups;
    };
    BatchImportWindow(Setup setup, QWidget* parent = nullptr);
    ~BatchImportWindow() override;

    const BatchImport::Outcome& outcome() const { return m_outcome; }
    bool importedAny() const { return m_importedAny; }

signals:
    // A run has ended (its summary was shown).
    void runEnded();

protected:
    void start() override;
    void stopping() override { m_cancel.store(true); }

private:
    void poll();
    void finish();

    Setup m_setup;
    QThread* m_thread = nullptr;
    QTimer* m_timer = nullptr;
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_done{0};
    QMutex m_mutex;
    QString m_current;  // the file being imported (guarded by m_mutex)
    BatchImport::Outcome m_outcome;
    bool m_importedAny = false;
};
