#include "common/TestRegistry.h"
#include "platform/Job.h"
#include "platform/LongRuns.h"
#include "platform/ui/JobWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

// A body over `count` items, each reported with its text; it stops between
// items when cancelled and says how many it handled.
JobOf<int>::Body items(int count, const std::function<void(int)>& during = {})
{
    return [count, during](JobContext& job) -> Result<int> {
        job.setRange(0, count);
        for (int i = 0; i < count; ++i) {
            if (job.cancelled())
                return Result<int>::cancel(QString::number(i));
            job.setItem(QStringLiteral("第%1项").arg(i + 1));
            if (during)
                during(i);
            job.setValue(i + 1);
        }
        return Result<int>(count, QStringLiteral("完成"));
    };
}

// Records what a run here reports and cancels once `stopAt` was reached.
class Recording final : public Progress {
public:
    explicit Recording(qint64 stopAt) : m_stopAt(stopAt) {}
    void setRange(qint64 minimum, qint64 maximum) override { range = {minimum, maximum}; }
    void setValue(qint64 value) override { values << value; }
    bool cancelled() const override { return !values.isEmpty() && values.last() >= m_stopAt; }
    QPair<qint64, qint64> range;
    QList<qint64> values;

private:
    qint64 m_stopAt;
};

}  // namespace

class JobTest : public QObject {
    Q_OBJECT
private slots:
    void runsToTheEndOnItsWorker();
    void stopsBetweenItems_data();
    void stopsBetweenItems();
    void runsHereForTheCommandLine();
    void readsOnTheStartingThread();
    void windowFollowsAndStops_data();
    void windowFollowsAndStops();
};

void JobTest::runsToTheEndOnItsWorker()
{
    std::atomic<QThread*> worker{nullptr};
    JobOf<int> job(QStringLiteral("正在处理..."), items(200, [&](int) { worker.store(QThread::currentThread()); }));
    QSignalSpy ranges(&job, &Job::rangeChanged);
    QSignalSpy values(&job, &Job::valueChanged);
    QSignalSpy finished(&job, &Job::finished);
    QThread* heard = nullptr;
    connect(&job, &Job::finished, this, [&] { heard = QThread::currentThread(); });
    job.start();
    QVERIFY(job.isRunning());
    QVERIFY(LongRuns::instance().underWay());
    QCOMPARE(LongRuns::instance().title(), QStringLiteral("正在处理..."));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    // The body ran on a thread of its own; its end is heard here.
    QVERIFY(worker.load() && worker.load() != QThread::currentThread());
    QCOMPARE(heard, QThread::currentThread());
    QVERIFY(!job.isRunning());
    QVERIFY(job.isFinished());
    QVERIFY(!LongRuns::instance().underWay());
    QVERIFY(job.result().ok());
    QCOMPARE(job.result().value(), 200);
    QVERIFY(job.status().ok());
    QCOMPARE(job.status().message(), QStringLiteral("完成"));
    // The last figures arrive before the end, however many were folded together.
    QCOMPARE(ranges.count(), 1);
    QCOMPARE(ranges.first().at(1).toLongLong(), 200);
    QVERIFY(values.count() >= 1 && values.count() <= 200);
    QCOMPARE(values.last().at(0).toLongLong(), 200);
    QCOMPARE(job.value(), 200);
    QCOMPARE(job.item(), QStringLiteral("第200项"));
    // A job runs once.
    job.start();
    QVERIFY(!job.isRunning());
}

void JobTest::stopsBetweenItems_data()
{
    QTest::addColumn<bool>("byExit");
    QTest::newRow("取消") << false;
    QTest::newRow("exit") << true;
}

// The item under way when the stop comes is finished; the next is never begun.
void JobTest::stopsBetweenItems()
{
    QFETCH(bool, byExit);
    std::atomic<bool> inItem{false};
    Job* self = nullptr;
    JobOf<int> job(QStringLiteral("正在处理..."), items(100, [&](int i) {
                       if (i != 5)
                           return;
                       // A long item: it goes on until the stop was asked for.
                       inItem.store(true);
                       for (int waited = 0; !self->cancelRequested() && waited < 10000; ++waited)
                           QThread::msleep(1);
                   }));
    self = &job;
    QSignalSpy cancelling(&job, &Job::cancelling);
    QSignalSpy finished(&job, &Job::finished);
    job.start();
    QTRY_VERIFY(inItem.load());
    if (byExit)
        LongRuns::instance().stopAll();
    else
        job.cancel();
    QCOMPARE(cancelling.count(), 1);
    job.cancel();
    QCOMPARE(cancelling.count(), 1);
    QVERIFY(finished.wait(10000));
    QVERIFY(!job.result().ok());
    QVERIFY(job.result().cancelled());
    QVERIFY(job.status().cancelled());
    // Items 1 … 6 were handled, the seventh never begun.
    QCOMPARE(job.result().message(), QStringLiteral("6"));
    QCOMPARE(job.value(), 6);
    QVERIFY(!LongRuns::instance().underWay());
}

void JobTest::runsHereForTheCommandLine()
{
    JobOf<int> job(QStringLiteral("导入"), items(50));
    QSignalSpy values(&job, &Job::valueChanged);
    QSignalSpy finished(&job, &Job::finished);
    Recording progress(7);
    bool underWay = false;
    JobOf<> probe(QStringLiteral("检查"), [&](JobContext&) {
        underWay = LongRuns::instance().underWay();
        return Status();
    });
    QVERIFY(probe.runHere(progress).ok());
    QVERIFY(underWay);

    const Status ran = job.runHere(progress);
    QVERIFY(ran.cancelled());
    QCOMPARE(job.result().message(), QStringLiteral("7"));
    QCOMPARE(progress.range, qMakePair(qint64(0), qint64(50)));
    QCOMPARE(progress.values, (QList<qint64>{1, 2, 3, 4, 5, 6, 7}));
    // Here, on the caller's thread, nothing goes through signals.
    QCOMPARE(values.count(), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(job.isFinished());
    QVERIFY(!LongRuns::instance().underWay());
}

// What lives on the starting thread (a window's model) is read there; a
// cancel while the body waits for it leaves it unread and ends the wait.
void JobTest::readsOnTheStartingThread()
{
    QList<QThread*> readOn;
    JobOf<int> reader(QStringLiteral("导出"), [&](JobContext& job) -> Result<int> {
        int read = 0;
        for (int i = 0; i < 3; ++i)
            if (job.onStartingThread([&] { readOn << QThread::currentThread(); }))
                ++read;
        return read;
    });
    QSignalSpy finished(&reader, &Job::finished);
    reader.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(reader.result().value(), 3);
    QCOMPARE(readOn, (QList<QThread*>{QThread::currentThread(), QThread::currentThread(), QThread::currentThread()}));

    std::atomic<bool> waiting{false};
    bool ran = false;
    JobOf<bool> blocked(QStringLiteral("导出"), [&](JobContext& job) -> Result<bool> {
        waiting.store(true);
        return job.onStartingThread([&] { ran = true; });
    });
    QSignalSpy ended(&blocked, &Job::finished);
    blocked.start();
    while (!waiting.load())
        QThread::msleep(1);
    // This thread serves no event meanwhile: the body gives up on the cancel.
    blocked.cancel();
    QThread::msleep(100);
    QVERIFY(ended.wait(10000));
    QCOMPARE(blocked.result().value(), false);
    QVERIFY(!ran);
}

void JobTest::windowFollowsAndStops_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("取消") << "button";
    QTest::newRow("close box") << "close";
    QTest::newRow("Esc") << "esc";
}

// The window shows the bar and the item as the job reports them, serving
// its events meanwhile; each way of stopping ends the job after its item.
void JobTest::windowFollowsAndStops()
{
    QFETCH(QString, way);
    Job* self = nullptr;
    JobOf<int> job(QStringLiteral("正在处理..."), items(10, [&](int i) {
                       for (int waited = 0; i == 3 && !self->cancelRequested() && waited < 10000; ++waited)
                           QThread::msleep(1);
                   }));
    self = &job;
    JobWindow w(job.title());
    QCOMPARE(w.frameGeometry().size(), QSize(573, 91));
    QCOMPARE(w.progressBar()->objectName(), QStringLiteral("进度条1"));
    QCOMPARE(w.cancelButton()->text(), QStringLiteral("取消"));
    bool seen = false;
    QTimer hook;
    hook.setInterval(0);
    connect(&hook, &QTimer::timeout, this, [&] {
        if (seen || !w.isVisible() || w.progressBar()->value() < 3)
            return;
        seen = true;
        QCOMPARE(w.itemLabel()->text(), QStringLiteral("第4项"));
        QCOMPARE(w.progressBar()->maximum(), 10);
        QVERIFY(w.isModal());
        if (way == QLatin1String("button"))
            QTest::mouseClick(w.cancelButton(), Qt::LeftButton);
        else if (way == QLatin1String("close"))
            w.close();
        else
            QTest::keyClick(&w, Qt::Key_Escape);
        // The window stays until the job has stopped.
        QVERIFY(w.isVisible());
        QVERIFY(!w.cancelButton()->isEnabled());
    });
    hook.start();
    const Status ran = w.run(job);
    hook.stop();
    QVERIFY(seen);
    QVERIFY(ran.cancelled());
    QCOMPARE(job.result().message(), QStringLiteral("4"));
    QVERIFY(!w.isVisible());
    QVERIFY(!LongRuns::instance().underWay());
}

KV_REGISTER_TEST(JobTest)

#include "JobTest.moc"
