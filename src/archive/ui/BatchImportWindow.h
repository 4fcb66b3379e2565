#pragma once

#include "archive/BatchImport.h"
#include "archive/ui/BatchRunWindow.h"

#include <QStringList>

class QCheckBox;
#include <memory>

// Window "批量导入文件": "确定" imports the chosen files into the group as a
// job on its own thread with a connection of its own, so the window stays
// responsive; the status and the bar follow the job, "取消" stops it between
// files, and the summary is shown at the end. "跳过内容相同的文件" leaves
// out files whose content is held already; without it each is asked about.
// The end offers "撤销本次导入" to an operator who may delete.
class BatchImportWindow : public BatchRunWindow {
    Q_OBJECT
public:
    // The run as given; whether names already in the group are checked is
    // the window's tick box at "确定".
    BatchImportWindow(BatchImport::Setup setup, QWidget* parent = nullptr);
    ~BatchImportWindow() override;

    const BatchImport::Outcome& outcome() const { return m_outcome; }
    bool importedAny() const { return m_importedAny; }
    // The operator took the run back at its end ("撤销本次导入").
    bool undone() const { return m_undone; }
    QCheckBox* skipDuplicatesBox() const { return m_skipDuplicates; }

signals:
    // A run has ended (its summary was shown).
    void runEnded();

protected:
    void start() override;
    void ended() override;

private:
    BatchImport::Setup m_setup;
    std::unique_ptr<JobOf<BatchImport::Outcome>> m_job;
    BatchImport::Outcome m_outcome;
    bool m_importedAny = false;
    bool m_undone = false;
    QCheckBox* m_skipDuplicates = nullptr;
};
