// The content index kept in step with the records: what the indexer reads
// is found by its words; a record given new content or deleted leaves no
// stale text; a catch-up killed part way leaves the index exact, and the
// next run completes it.
#include "archive/ContentIndexer.h"
#include "archive/FileRecords.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "MainWindowFixture.h"
#include "archive/ui/EditPanel.h"
#include "platform/Progress.h"
#include "platform/TextExtractor.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using TestInput::writeFile;

namespace {

// A .docx of one paragraph.
QByteArray docx(const QByteArray& text)
{
    return TestInput::docx("<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>");
}

QList<qint64> found(DataStore& s, const QString& word)
{
    const Result<QList<qint64>> r = ContentIndex::find(s, TextTokens::normalize(word), RecordFilter::everything(), 0);
    return r ? r.value() : QList<qint64>{-1};
}

Result<ContentIndexer::Outcome> runIndexer(TestHome& home)
{
    JobOf<ContentIndexer::Outcome> job(
        ContentIndexer::Title,
        ContentIndexer::job({home.archive(), StoreFolder(home.context().home), home.context().currentOperator}));
    NoProgress none;
    if (const Status ran = job.runHere(none); !ran)
        return ran.failure();
    return job.result();
}

qint64 count(DataStore& s, const QString& sql, const QVariantList& params = {})
{
    return valueOf(s, sql, params).toLongLong();
}

}  // namespace

class ContentIndexerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void recordsAreFoundByWhatTheySay();
    void killedCatchUpIsCompletedByTheNext();
    void windowCatchesUpAfterLoginAndAfterAnAdd();
    void stopGivesUpASlowFile();
    void pictureIsReadOnceOcrIsOn();
};

void ContentIndexerTest::initTestCase()
{
    qputenv("KORVANE_EXTRACT", KV_EXTRACT);
}

void ContentIndexerTest::recordsAreFoundByWhatTheySay()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'合同')")));
    // Below 300 bytes in the database, the .docx in the store folder.
    FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 300);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("r");
    fields.group = QStringLiteral("合同");
    const auto utf8 = records.add(fields, writeFile(src.path(), QStringLiteral("a.txt"), "甲方签订合同。"));
    const auto gbk = records.add(fields, writeFile(src.path(), QStringLiteral("b.txt"), "\xB5\xB5\xB0\xB8 2026"));
    const QByteArray word = docx("会议纪要 Minutes");
    QVERIFY(word.size() >= 300);
    const auto kept = records.add(fields, writeFile(src.path(), QStringLiteral("c.docx"), word));
    const auto broken = records.add(fields, writeFile(src.path(), QStringLiteral("e.docx"), "PK\x03\x04 no zip"));
    QVERIFY(utf8 && gbk && kept && broken);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjwb")), 0);

    // Without the reader program the run ends at once, says so in the log
    // and writes nothing: the records wait.
    qputenv("KORVANE_EXTRACT", "/nonexistent/korvane-extract");
    QVERIFY(!runIndexer(home));
    qputenv("KORVANE_EXTRACT", KV_EXTRACT);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjwb")), 0);
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr like '内容索引中止%'")), 1);

    const Result<ContentIndexer::Outcome> ran = runIndexer(home);
    QVERIFY2(ran, qPrintable(ran.message() + ran.detail()));
    QCOMPARE(ran->read, 4);
    QCOMPARE(ran->unread, 1);
    QCOMPARE(found(s, QStringLiteral("合同")), QList<qint64>{utf8->id});
    QCOMPARE(found(s, QStringLiteral("档案")), QList<qint64>{gbk->id});
    QCOMPARE(found(s, QStringLiteral("纪要")), QList<qint64>{kept->id});
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjwb where zt=?"), {int(ContentIndex::Done)}), 3);
    // A file that cannot be read keeps its verdict and is not read again.
    QCOMPARE(count(s, QStringLiteral("select zt from wjwb where id=?"), {broken->id}), int(ContentIndex::Unreadable));
    QCOMPARE(runIndexer(home)->read, 0);

    // New content: the old words go with the change, the new ones come with the next run.
    QVERIFY(records.modify(utf8->id, fields, writeFile(src.path(), QStringLiteral("d.txt"), "发票已开具")));
    QVERIFY(found(s, QStringLiteral("合同")).isEmpty());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjwb where id=?"), {utf8->id}), 0);
    QVERIFY(runIndexer(home));
    QVERIFY(found(s, QStringLiteral("合同")).isEmpty());
    QCOMPARE(found(s, QStringLiteral("发票")), QList<qint64>{utf8->id});
    // A change of the fields only keeps the text.
    fields.remark = QStringLiteral("备注");
    QVERIFY(records.modify(utf8->id, fields));
    QCOMPARE(found(s, QStringLiteral("发票")), QList<qint64>{utf8->id});

    // A deleted record (in the trash, its text kept until it is purged) is
    // found no more.
    QVERIFY(records.remove(gbk->id));
    QVERIFY(found(s, QStringLiteral("档案")).isEmpty());
    const Result<ContentIndex::Counts> counts = ContentIndex::progress(s);
    QVERIFY(counts);
    QCOMPARE(counts->done, 3);
    QCOMPARE(counts->total, 3);
}

void ContentIndexerTest::killedCatchUpIsCompletedByTheNext()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'档案')")));
    FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("n");
    fields.group = QStringLiteral("档案");
    constexpr int kRecords = 300;
    QList<qint64> ids;
    for (int i = 0; i < kRecords; ++i) {
        const QString text = QStringLiteral("编号 K%1 归档").arg(i, 4, 10, QLatin1Char('0'));
        const auto r = records.add(fields, writeFile(src.path(), QStringLiteral("%1.txt").arg(i), text.toUtf8()));
        QVERIFY(r);
        ids << r->id;
    }
    s.close();

    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("KORVANE_PASSWORD"), QString());
    e.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(e);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(KV_CLI), {QStringLiteral("--home"), home.folder(), QStringLiteral("index")});
    QVERIFY(p.waitForStarted());
    // Killed once its first batch is in, while it reads the next.
    DataStore watch;
    QVERIFY(watch.open(home.archive()));
    QElapsedTimer waited;
    waited.start();
    qint64 written = 0;
    while (written == 0 && p.state() == QProcess::Running && waited.elapsed() < 60000) {
        QThread::msleep(2);
        written = count(watch, QStringLiteral("select count(*) from wjwb"));
    }
    p.kill();
    QVERIFY(p.waitForFinished());
    watch.close();

    QVERIFY(s.open(home.archive()));
    const qint64 partly = count(s, QStringLiteral("select count(*) from wjwb"));
    QVERIFY2(partly > 0 && partly < kRecords, qPrintable(QString::number(partly)));
    // What was written is exact; the rest waits.
    const Result<QList<qint64>> waiting = ContentIndex::waiting(s, 0, 0);
    QVERIFY(waiting);
    QCOMPARE(waiting->size() + partly, kRecords);
    for (int i = 0; i < kRecords; ++i) {
        const QList<qint64> hits = found(s, QStringLiteral("K%1").arg(i, 4, 10, QLatin1Char('0')));
        QCOMPARE(hits, waiting->contains(ids.at(i)) ? QList<qint64>{} : QList<qint64>{ids.at(i)});
    }

    // The next run goes on and completes it.
    s.close();
    p.start(QStringLiteral(KV_CLI), {QStringLiteral("--home"), home.folder(), QStringLiteral("index")});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QVERIFY(s.open(home.archive()));
    const Result<ContentIndex::Counts> counts = ContentIndex::progress(s);
    QVERIFY(counts);
    QCOMPARE(counts->done, qint64(kRecords));
    QCOMPARE(counts->total, qint64(kRecords));
    for (int i = 0; i < kRecords; ++i)
        QCOMPARE(found(s, QStringLiteral("K%1").arg(i, 4, 10, QLatin1Char('0'))), QList<qint64>{ids.at(i)});
    QCOMPARE(found(s, QStringLiteral("归档")).size(), kRecords);

    // An import reads what it added at its end.
    s.close();
    p.start(QStringLiteral(KV_CLI),
            {QStringLiteral("--home"), home.folder(), QStringLiteral("import"), QStringLiteral("档案"),
             writeFile(src.path(), QStringLiteral("x.txt"), "移交清册")});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QVERIFY(s.open(home.archive()));
    QCOMPARE(found(s, QStringLiteral("移交")).size(), 1);
    QCOMPARE(ContentIndex::progress(s)->done, qint64(kRecords + 1));
}

void ContentIndexerTest::windowCatchesUpAfterLoginAndAfterAnAdd()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'合同')")));
    FileRecords records(s, StoreFolder(f.home.context().home), f.home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("w");
    fields.group = QStringLiteral("合同");
    const auto first = records.add(fields, writeFile(src.path(), QStringLiteral("a.txt"), "租赁合同"));
    QVERIFY(first);
    // Nothing runs before the login hands the window over.
    QVERIFY(!f.window->contentIndex());
    emit f.window->editPanel()->reloadListRequested();
    QVERIFY(!f.window->contentIndex());

    f.window->startContentIndex();
    ContentIndexRun* run = f.window->contentIndex();
    QVERIFY(run);
    QSignalSpy progressed(run, &ContentIndexRun::progressed);
    QSignalSpy ended(run, &ContentIndexRun::ended);
    bool ok = false;
    connect(run, &ContentIndexRun::ended, this, [&ok](const Status& status) { ok = status.ok(); });
    QVERIFY(ended.wait(30000));
    QVERIFY(ok);
    QVERIFY(!progressed.isEmpty());
    QCOMPARE(progressed.last().at(0).toLongLong(), 1);
    QVERIFY(!f.window->contentIndexPane()->isVisible());
    QCOMPARE(found(s, QStringLiteral("租赁")), QList<qint64>{first->id});

    // An add (the panel asks for the list again) starts it once more.
    const auto second = records.add(fields, writeFile(src.path(), QStringLiteral("b.txt"), "采购清单"));
    QVERIFY(second);
    emit f.window->editPanel()->reloadListRequested();
    QVERIFY(run->isRunning());
    QVERIFY(ended.wait(30000));
    QVERIFY(ok);
    QCOMPARE(found(s, QStringLiteral("采购")), QList<qint64>{second->id});
    QCOMPARE(f.window->contentIndexPane()->text(), ContentIndexer::progressText(2, 2));
}

void ContentIndexerTest::stopGivesUpASlowFile()
{
    // A stop is heard while a file is read, long before its time limit.
    QTemporaryDir dir;
    const QString file = writeFile(dir.path(), QStringLiteral("slow.txt"), "合同");
    TextExtractor::Limits limits;
    limits.stallMs = 60000;
    QElapsedTimer clock;
    clock.start();
    limits.cancelled = [&clock] { return clock.elapsed() > 300; };
    TextExtractor::ExtractSession session;
    const Result<TextExtractor::Extracted> r = session.read(file, QStringLiteral("txt"), limits);
    QVERIFY(r.cancelled());
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    // The next read starts a fresh reader.
    limits.stallMs = 0;
    limits.cancelled = {};
    const Result<TextExtractor::Extracted> again = session.read(file, QStringLiteral("txt"), limits);
    QVERIFY(again);
    QCOMPARE(again->text, QStringLiteral("合同"));
}

// A picture read while OCR is off waits for it, counted as read; once
// OCR is turned on the next catch-up reads it again, and only it.
void ContentIndexerTest::pictureIsReadOnceOcrIsOn()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'档案')")));
    QVERIFY(ContentIndexer::setOcrWanted(s, false));
    QImage img(1600, 360, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        QFont f(QStringLiteral("Noto Sans CJK SC"));
        f.setPixelSize(140);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("档案管理"));
    }
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && img.save(&buffer, "PNG"));
    FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 1 << 20);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("p");
    fields.group = QStringLiteral("档案");
    const auto scan = records.add(fields, writeFile(src.path(), QStringLiteral("scan.png"), png));
    const auto text = records.add(fields, writeFile(src.path(), QStringLiteral("a.txt"), "会议纪要"));
    QVERIFY2(scan && text, qPrintable(scan ? text.detail() : scan.detail()));

    QCOMPARE(runIndexer(home)->read, 2);
    QCOMPARE(count(s, QStringLiteral("select zt from wjwb where id=?"), {scan->id}), int(ContentIndex::NeedsOcr));
    QCOMPARE(runIndexer(home)->read, 0);
    QCOMPARE(ContentIndex::progress(s, false)->done, 2);
    QCOMPARE(ContentIndex::progress(s, true)->done, 1);

    QVERIFY(ContentIndexer::setOcrWanted(s, true));
    QCOMPARE(ContentIndex::waiting(s, 10, 0, true).value(), QList<qint64>{scan->id});
    const Result<ContentIndexer::Outcome> ran = runIndexer(home);
    QVERIFY(ran);
    QCOMPARE(ran->read, 1);
    QCOMPARE(ran->done, 2);
    QCOMPARE(runIndexer(home)->read, 0);
    if (!TextExtractor::ocrAvailable())
        return;  // read again, whatever it came to without the language data
    QCOMPARE(count(s, QStringLiteral("select zt from wjwb where id=?"), {scan->id}), int(ContentIndex::Done));
    QCOMPARE(found(s, QStringLiteral("档案")), QList<qint64>{scan->id});
}

KV_REGISTER_TEST(ContentIndexerTest)
#include "ContentIndexerTest.moc"
