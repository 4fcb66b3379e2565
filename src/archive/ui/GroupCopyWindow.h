#pragma once

#include "archive/StoreFolder.h"
#include "platform/Progress.h"

#include <QDialog>

class CurrentOperator;
class LongRun;
class DataStore;
class ProtectedGroups;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Window "复制分组文件": copies every file of the source group (and of its
// sub-groups) into a target group picked with "双击选择目标分组". The run
// serves the window's events between items; "取消" stops it. While it runs
// it is registered with LongRuns, so the exit asks to stop it first.
class GroupCopyWindow : public QDialog, private Progress {
    Q_OBJECT
public:
    GroupCopyWindow(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                    const CurrentOperator& op, const QString& sourcePath, QWidget* parent = nullptr);

    // Sets the target as the chooser would.
    void setTarget(const QString& path);
    QString target() const;
    bool isRunning() const { return m_running; }
    // True when the last run copied or numbered any record.
    bool copiedAny() const { return m_copiedAny; }

    // Closes the window unless a run is going on, which it asks to stop.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chooseTarget();
    void start();

    // Progress
    void setRange(qint64 minimum, qint64 maximum) override;
    void setValue(qint64 value) override;
    bool cancelled() const override;

    StoreFolder m_storeFolder;
    ProtectedGroups& m_protectedGroups;
    const CurrentOperator& m_operator;
    DataStore& m_store;
    QString m_source;
    QLineEdit* m_sourceBox = nullptr;
    QLineEdit* m_targetBox = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_choose = nullptr;
    bool m_running = false;
    bool m_cancel = false;
    LongRun* m_longRun = nullptr;  // while a run goes on
    bool m_copiedAny = false;
    double m_scale = 1.0;
};
