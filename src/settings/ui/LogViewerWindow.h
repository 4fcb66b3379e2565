#pragma once

#include "archive/ExportGuard.h"
#include "archive/StoreFolder.h"
#include "listing/ui/WorkbookHandover.h"
#include "platform/Job.h"
#include "platform/Progress.h"

#include "platform/ui/JobDialog.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class CurrentOperator;
class DataStore;
class DeleteLogWindow;
class LogModel;
class QAction;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPrinter;
class ProtectedGroups;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolBar;

// Window "系统日志": the operation log filtered by days, operator and
// content, newest first; export to a workbook, printing with a preview, and
// "删除日志". The grid's lines are fetched in chunks as it scrolls. The
// export runs as a job on its own thread with a connection of its own.
class LogViewerWindow : public JobDialog {
    Q_OBJECT
public:
    LogViewerWindow(DataStore& store, const CurrentOperator& op, QWidget* parent = nullptr);
    ~LogViewerWindow() override;

    LogModel* model() const { return m_model; }
    QString statusText() const;
    QAction* searchAction() const { return m_search; }
    QAction* exportAction() const { return m_export; }
    QAction* printAction() const { return m_print; }
    QAction* deleteAction() const { return m_delete; }
    QAction* closeAction() const { return m_close; }
    DeleteLogWindow* deleteWindow() const;

    void setWorkbookFolder(const QString& folder) { m_folder = folder; }
    void setOpener(WorkbookHandover::Opener f) { m_opener = std::move(f); }
    // The archive's folders, which no workbook is written into (none at first).
    void setExportGuard(ExportGuard guard) { m_guard = std::move(guard); }
    // What "撤销导入…" needs to move a run's records to the trash: the store
    // folder and the protected groups open now (not owned). Without it the
    // button says the archive is not at hand.
    void setImportUndo(StoreFolder folder, const ProtectedGroups* open)
    {
        m_storeFolder = std::move(folder);
        m_open = open;
    }
    QPushButton* undoImportButton() const { return m_undoImport; }
    QString lastWorkbook() const { return m_lastWorkbook; }
    // What shows the print preview: it is handed the painting of the pages
    // (a QPrintPreviewDialog by default; tests print to a file instead).
    using Previewer = std::function<void(const std::function<void(QPrinter*)>& paint)>;
    void setPreviewer(Previewer f) { m_previewer = std::move(f); }

    // Paints the lines shown onto printer's pages; the number of pages.
    // progress (may be null) hears the lines painted and is asked between
    // pages whether to stop: a stop keeps the pages painted so far.
    int printTo(QPrinter* printer, Progress* progress = nullptr);

public slots:
    void search();
    void exportWorkbook();
    void print();
    void openDeleteWindow();
    // "撤销导入…": the latest runs of the batch import, one of them undone.
    void undoImport();

private:
    void showCount();

    // The export's end; its bar's range and value, as shown.
    void exported();
    void rangeShown();
    void valueShown();

    DataStore& m_store;
    const CurrentOperator& m_operator;
    LogModel* m_model = nullptr;
    QDateEdit* m_first = nullptr;
    QDateEdit* m_last = nullptr;
    QComboBox* m_operators = nullptr;
    QLineEdit* m_content = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_search = nullptr;
    QAction* m_export = nullptr;
    QAction* m_print = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_close = nullptr;
    QProgressBar* m_bar = nullptr;
    QTableView* m_grid = nullptr;
    QLabel* m_status = nullptr;
    QPointer<DeleteLogWindow> m_deleteWindow;
    QString m_folder;
    WorkbookHandover::Opener m_opener;
    ExportGuard m_guard;
    Previewer m_previewer;
    QString m_lastWorkbook;
    // The export under way or the last one: the cells cut, and its workbook.
    std::unique_ptr<JobOf<int>> m_job;
    QString m_path;
    QPushButton* m_undoImport = nullptr;
    std::optional<StoreFolder> m_storeFolder;
    const ProtectedGroups* m_open = nullptr;
};
