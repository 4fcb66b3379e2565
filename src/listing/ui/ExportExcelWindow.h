#pragma once

#include "archive/ExportGuard.h"
#include "listing/ui/WorkbookHandover.h"
#include "platform/Job.h"
#include "platform/ui/JobDialog.h"

#include <QStringList>
#include <memory>

class Config;
class FileListViews;
class QCheckBox;
class QListWidget;
class QProgressBar;
class QPushButton;

// Window "导出Excel": the operator ticks columns of the report list, and the
// list's rows as shown are written into a workbook (headers first, every
// cell as text), which goes to the program the desktop opens .xlsx with.
// The rows are written by a job on its own thread, which reads them from
// the list here a block at a time; "关闭(&C)" and the close box stop a run
// under way.
class ExportExcelWindow : public JobDialog {
    Q_OBJECT
public:
    // The ticked columns kept by "保存配置": Config.ini, this section and key,
    // the wj fields joined by ",".
    static inline const QString ConfigSection = QStringLiteral("Excel");
    static inline const QString ConfigKey = QStringLiteral("columns");

    ExportExcelWindow(FileListViews& list, Config& config, QWidget* parent = nullptr);
    ~ExportExcelWindow() override;

    // Where workbooks are written before they are opened (the private
    // extraction folder by default).
    void setWorkbookFolder(const QString& folder) { m_folder = folder; }
    void setOpener(WorkbookHandover::Opener f) { m_opener = std::move(f); }
    // The archive's folders, which no workbook is written into (none at first).
    void setExportGuard(ExportGuard guard) { m_guard = std::move(guard); }
    // The last workbook written (empty when none).
    QString lastWorkbook() const { return m_lastWorkbook; }

public slots:
    // "开始导出(&I)".
    void start();

private:
    void tickAll(bool on);
    void itemTicked();

    void finish();
    // The overall bar has its range and value (JobDialog); the current
    // bar and the caption follow them.
    void rangeShown();
    void valueShown(qint64 value);

    FileListViews& m_list;
    Config& m_config;
    QString m_folder;
    WorkbookHandover::Opener m_opener;
    ExportGuard m_guard;
    QListWidget* m_columns = nullptr;
    QCheckBox* m_all = nullptr;
    QCheckBox* m_keep = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_close = nullptr;
    QProgressBar* m_current = nullptr;
    QProgressBar* m_overall = nullptr;
    QStringList m_fields;  // per list row: the wj field of the column
    QString m_lastWorkbook;
    // The run under way or the last one: the cells cut, and its workbook.
    std::unique_ptr<JobOf<int>> m_job;
    QString m_path;
    qint64 m_total = 0;
};
