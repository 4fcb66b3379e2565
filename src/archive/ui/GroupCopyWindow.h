#pragma once

#include "archive/GroupCopy.h"
#include "archive/StoreFolder.h"

#include "platform/ui/JobDialog.h"

#include <memory>

class CurrentOperator;
class DataStore;
class ProtectedGroups;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Window "复制分组文件": copies every file of the source group (and of its
// sub-groups) into a target group picked with "双击选择目标分组". The run is
// a job on its own thread with a connection of its own, the bar following
// it; "取消" stops it. While it runs it is registered with LongRuns, so the
// exit asks to stop it first.
class GroupCopyWindow : public JobDialog {
    Q_OBJECT
public:
    GroupCopyWindow(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                    const CurrentOperator& op, const QString& sourcePath, QWidget* parent = nullptr);

    // Sets the target as the chooser would.
    void setTarget(const QString& path);
    QString target() const;
    // True when the last run copied or numbered any record.
    bool copiedAny() const { return m_copiedAny; }

private:
    void chooseTarget();
    void start();
    void finish();

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
    std::unique_ptr<JobOf<GroupCopy::Outcome>> m_job;
    bool m_copiedAny = false;
};
