#pragma once

#include "archive/BatchExport.h"
#include "archive/ui/BatchRunWindow.h"
#include "platform/Progress.h"

class DataStore;

// Window "批量导出文件": "确定" writes the files of the group into the chosen
// folder, with "按文件分组创建下级目录" (ticked at first) below the folders of
// their group paths; files there before may be replaced (the question before
// said so). The window serves its events between files; "取消" stops the run
// between files. The end message names the damaged records left out.
class BatchExportWindow : public BatchRunWindow, private Progress {
    Q_OBJECT
public:
    BatchExportWindow(DataStore& store, const StoreFolder& folder, const CurrentOperator& op,
                      const ProtectedGroups& open, const QString& group, const QString& target,
                      QWidget* parent = nullptr);

    const BatchExport::Outcome& outcome() const { return m_outcome; }

protected:
    void start() override;

private:
    void setRange(qint64 minimum, qint64 maximum) override;
    void setValue(qint64 value) override;
    bool cancelled() const override;

    DataStore& m_store;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
    QString m_group;
    QString m_target;
    BatchExport::Outcome m_outcome;
};
