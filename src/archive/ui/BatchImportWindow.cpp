#include "archive/ui/BatchImportWindow.h"

#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QCheckBox>
#include <QLabel>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

namespace {

// What the worker reports to: the files handled, and the stop asked for.
class WorkerProgress final : public Progress {
public:
    WorkerProgress(std::atomic<qint64>& done, std::atomic<bool>& cancel) : m_done(done), m_cancel(cancel) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64 value) override { m_done.store(value); }
    bool cancelled() const override { return m_cancel.load(); }

private:
    std::atomic<qint64>& m_done;
    std::atomic<bool>& m_cancel;
};

}  // namespace

BatchImportWindow::BatchImportWindow(Setup setup, QWidget* parent)
    : BatchRunWindow({BatchImport::WindowTitle, BatchImport::Working, QStringLiteral("检查重名文件"), 136, false, 179, 307},
                     parent),
      m_setup(std::move(setup))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, &BatchImportWindow::poll);
}

BatchImportWindow::~BatchImportWindow()
{
    if (m_thread) {
        m_cancel.store(true);
        m_thread->wait();
    }
}

void BatchImportWindow::start()
{
    beginRun();
    m_cancel.store(false);
    m_done.store(0);
    setBarRange(m_setup.files.size());
    setBarValue(0);
    const bool checkSameName = checkBox()->isChecked();
    m_thread = QThread::create([this, checkSameName] {
        DataStore store;
        if (!store.open(m_setup.databasePath)) {
            m_outcome = BatchImport::Outcome();
            m_outcome.total = int(m_setup.files.size());
            m_outcome.kind = BatchImport::Outcome::Kind::Failed;
            m_outcome.message = BatchImport::InsertFailed + QStringLiteral("\r\n") + BatchImport::summary(m_outcome);
            m_outcome.detail = store.lastError();
            return;
        }
        BatchImport run(store, m_setup.folder, m_setup.op, m_setup.sizeBound, m_setup.open);
        WorkerProgress progress(m_done, m_cancel);
        QList<BatchImport::Item> items = BatchImport::into(m_setup.group, m_setup.files);
        for (qsizetype i = 0; i < items.size() && i < m_setup.groups.size(); ++i)
            items[i].group = m_setup.groups.at(i);
        m_outcome = run.run(m_setup.group, items, checkSameName, progress, [this](const QString& name) {
            QMutexLocker lock(&m_mutex);
            m_current = name;
        });
    });
    connect(m_thread, &QThread::finished, this, &BatchImportWindow::finish);
    m_thread->start();
    m_timer->start();
}

void BatchImportWindow::poll()
{
    if (stopAsked())
        m_cancel.store(true);
    setBarValue(m_done.load());
    QString current;
    {
        QMutexLocker lock(&m_mutex);
        current = m_current;
    }
    if (!current.isEmpty())
        statusLabel()->setText(BatchImport::Working + QLatin1Char(' ') + current);
}

void BatchImportWindow::finish()
{
    m_timer->stop();
    poll();
    m_thread->deleteLater();
    m_thread = nullptr;
    endRun();
    m_importedAny = m_importedAny || m_outcome.imported > 0;
    statusLabel()->setText(BatchImport::summary(m_outcome));
    if (m_outcome.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(m_outcome.message, {},
                       m_outcome.kind == BatchImport::Outcome::Kind::Failed ? Prompter::Icon::Critical
                                                                            : Prompter::Icon::Information);
    emit runEnded();
    accept();
}
