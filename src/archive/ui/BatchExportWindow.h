#pragma once

#include "archive/BatchExport.h"
#include "archive/ui/BatchRunWindow.h"

#include <memory>

class DataStore;

// Window "批量导出文件": "确定" writes the files of the group into the chosen
// folder, with "按文件分组创建下级目录" (ticked at first) below the folders of
// their group paths; files there before may be replaced (the question before
// said so). The run is a job on its own thread with a connection of its
// own; "取消" stops it between files. The end message names the damaged
// records left out.
class BatchExportWindow : public BatchRunWindow {
    Q_OBJECT
public:
    BatchExportWindow(DataStore& store, const StoreFolder& folder, const CurrentOperator& op,
                      const ProtectedGroups& open, const QString& group, const QString& target,
                      QWidget* parent = nullptr);
    ~BatchExportWindow() override;

    const BatchExport::Outcome& outcome() const { return m_outcome; }

protected:
    void start() override;
    void ended() override;

private:
    ArchiveLocation m_archive;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
    QString m_group;
    QString m_target;
    std::unique_ptr<JobOf<BatchExport::Outcome>> m_job;
    BatchExport::Outcome m_outcome;
};
