#include "archive/ArchiveCheck.h"
#include "archive/FileRecords.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "archive/Trash.h"
#include "archive/ui/TrashWindow.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "platform/Job.h"
#include "store/DataStore.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using TestInput::writeFile;

namespace {

class Quiet final : public Progress {
public:
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override {}
    bool cancelled() const override { return false; }
};

qint64 count(DataStore& s, const QString& sql, const QVariantList& params = {})
{
    return valueOf(s, sql, params).toLongLong();
}

}  // namespace

class TrashTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void deleteThenRestoreIsTheSameRecord();
    void purgeTakesOnlyWhatIsItsOwn();
    void numbersAndIdsOfTrashedRecordsStayTaken();
    void expiredRecordsArePurged();
    void windowHidesClosedGroupsAndAsksBeforePurge();

private:
    qint64 add(const QString& name, const QByteArray& bytes, const QString& group = QStringLiteral("合同\\2026"))
    {
        RecordFields f;
        f.name = name;
        f.group = group;
        const Result<StoredRecord> r = m_records->add(f, writeFile(m_src->filePath(name + ".bin"), bytes));
        return r ? r->id : -1;
    }
    Trash::Setup setup() const
    {
        AppContext& c = m_home->context();
        return {c.archive, StoreFolder(c.home), c.currentOperator, c.protectedGroups};
    }
    Trash::Outcome runJob(JobOf<Trash::Outcome>::Body body)
    {
        JobOf<Trash::Outcome> job(QStringLiteral("trash"), std::move(body));
        Quiet quiet;
        const Status ran = job.runHere(quiet);
        if (!ran)
            qWarning("%s", qPrintable(ran.detail()));
        return ran ? job.result().value() : Trash::Outcome{};
    }
    QByteArray savedOut(qint64 id)
    {
        const QString out = m_src->filePath(QStringLiteral("out-%1").arg(id));
        if (!m_records->saveOut(id, out))
            return "not saved";
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_src;
    std::unique_ptr<FileRecords> m_records;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    FixedClock m_clock{QDateTime(QDate(2026, 3, 4), QTime(9, 30, 15))};
};

void TrashTest::init()
{
    setAppClock(&m_clock);
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_src = std::make_unique<QTemporaryDir>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    GroupTree tree(m_home->store(), m_home->context().protectedGroups);
    QVERIFY(tree.load());
    QVERIFY(tree.addPaths(0, {{QStringLiteral("合同"), QStringLiteral("2026")}, {QStringLiteral("机密")}}).ok());
    // From 4 KiB up the content is kept in the store folder.
    m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(m_home->context().home),
                                              m_home->context().currentOperator, 4096);
}

void TrashTest::cleanup()
{
    m_records.reset();
    m_prompter.reset();
    m_home.reset();
    m_src.reset();
    setAppClock(nullptr);
}

void TrashTest::deleteThenRestoreIsTheSameRecord()
{
    DataStore& s = m_home->store();
    const QByteArray small = "合同正文", large(9000, 'k');
    const qint64 held = add(QStringLiteral("小"), small), kept = add(QStringLiteral("大"), large);
    QVERIFY(held > 0 && kept > 0);
    const QString number = valueOf(s, QStringLiteral("select bh from wj where id=?"), {kept}).toString();
    const QString keptFile =
        StoreFolder(m_home->context().home)
            .resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {kept}).toString());

    QVERIFY(m_records->remove(held));
    QVERIFY(m_records->remove(kept));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs where hsr='Admin' and hssj='2026-03-04 09:30:15'")),
             qint64(2));
    QVERIFY(QFileInfo::exists(keptFile));
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("删除文件：%1 大.bin 移入回收站").arg(number)}),
             qint64(1));
    // Their content is not an orphan for the check.
    Quiet quiet;
    const Result<ArchiveCheck::Report> checked =
        ArchiveCheck(s, StoreFolder(m_home->context().home), m_home->context().protectedGroups).run(quiet);
    QVERIFY(checked && checked->whole());
    QCOMPARE(checked->records, qint64(2));

    // The group goes meanwhile (it holds no record now), and comes back.
    GroupTree tree(s, m_home->context().protectedGroups);
    QVERIFY(tree.load());
    QVERIFY(tree.remove(tree.findPath(QStringLiteral("合同"))->id).ok());
    const Trash::Outcome out = runJob(Trash::restoreJob(setup(), {held, kept}));
    QCOMPARE(out.done, 2);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs")), qint64(0));
    QCOMPARE(valueOf(s, QStringLiteral("select bh from wj where id=?"), {kept}).toString(), number);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where fz='合同\\2026'")), qint64(2));
    QVERIFY(tree.load());
    QVERIFY(tree.findPath(QStringLiteral("合同\\2026")));
    QCOMPARE(savedOut(held), small);
    QCOMPARE(savedOut(kept), large);
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("还原文件：%1 大.bin 从回收站还原").arg(number)}),
             qint64(1));
}

void TrashTest::purgeTakesOnlyWhatIsItsOwn()
{
    DataStore& s = m_home->store();
    const qint64 a = add(QStringLiteral("甲"), QByteArray(5000, 'a'));
    const qint64 c = add(QStringLiteral("丙"), QByteArray(6000, 'c'));
    const qint64 d = add(QStringLiteral("丁"), "held");
    // An older copy names the same kept file as a.
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj,sha256) select '0000009999',mc,fz,lx,dxsz,lj,"
                                     "sha256 from wj where id=?"),
                      {a}));
    const qint64 b = s.lastInsertId();
    const StoreFolder folder(m_home->context().home);
    const QString fileA = folder.resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {a}).toString());
    const QString fileC = folder.resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {c}).toString());
    QVERIFY(s.execute(QStringLiteral("insert into wjbb(wjid,bbh,sha256) values (?,1,'x')"), {d}));
    for (const qint64 id : {a, c, d})
        QVERIFY(m_records->remove(id));

    const Trash::Outcome out = runJob(Trash::purgeJob(setup(), {a, c, d}));
    QCOMPARE(out.done, 3);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs")), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr where id=?"), {d}), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjbb")), qint64(0));
    QVERIFY(QFileInfo::exists(fileA));  // b still names it
    QVERIFY(!QFileInfo::exists(fileC));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=?"), {b}), qint64(1));
    QCOMPARE(savedOut(b), QByteArray(5000, 'a'));
}

void TrashTest::numbersAndIdsOfTrashedRecordsStayTaken()
{
    DataStore& s = m_home->store();
    const qint64 first = add(QStringLiteral("一"), "1");
    const QString number = valueOf(s, QStringLiteral("select bh from wj where id=?"), {first}).toString();
    QVERIFY(m_records->remove(first));
    // The counter set back by hand: the trashed number is still skipped.
    QVERIFY(s.execute(QStringLiteral("update zdbh set nr='1' where xm='文件编号'")));
    const qint64 second = add(QStringLiteral("二"), "2");
    QVERIFY(second > first);
    QVERIFY(valueOf(s, QStringLiteral("select bh from wj where id=?"), {second}).toString() != number);
    QCOMPARE(runJob(Trash::restoreJob(setup(), {first})).done, 1);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(2));
}

void TrashTest::expiredRecordsArePurged()
{
    DataStore& s = m_home->store();
    const qint64 old = add(QStringLiteral("旧"), "old");
    const qint64 recent = add(QStringLiteral("新"), "new");
    QVERIFY(m_records->remove(old));
    m_clock.advance(20 * 86400);
    QVERIFY(m_records->remove(recent));
    m_clock.advance(15 * 86400);
    QVERIFY(Trash::setRetentionDays(s, 0));
    QCOMPARE(runJob(Trash::purgeExpiredJob(setup())).done, 0);
    QVERIFY(Trash::setRetentionDays(s, 30));
    QCOMPARE(Trash::retentionDays(s), 30);
    QCOMPARE(runJob(Trash::purgeExpiredJob(setup())).done, 1);
    QCOMPARE(count(s, QStringLiteral("select id from wjhs")), recent);
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"), {Trash::expiredLogText(1, 30)}), qint64(1));
}

void TrashTest::windowHidesClosedGroupsAndAsksBeforePurge()
{
    DataStore& s = m_home->store();
    const qint64 open = add(QStringLiteral("公开"), "o");
    const qint64 secret = add(QStringLiteral("绝密名"), "s", QStringLiteral("机密"));
    QVERIFY(m_records->remove(open));
    QVERIFY(m_records->remove(secret));
    ProtectedGroups& groups = m_home->context().protectedGroups;
    GroupTree tree(s, groups);
    QVERIFY(tree.load());
    QVERIFY(tree.setPassword(tree.findPath(QStringLiteral("机密"))->id, QString(), QStringLiteral("pw")).ok());

    auto shownNames = [](TrashWindow& w) {
        QStringList names;
        for (int row = 0; row < w.grid()->rowCount(); ++row)
            names << w.grid()->item(row, 1)->text();
        return names;
    };
    {
        TrashWindow w(s, setup());
        QCOMPARE(w.objectName(), QStringLiteral("回收站窗口"));
        QCOMPARE(shownNames(w), QStringList{QStringLiteral("公开.bin")});
        // Emptying takes only what is shown, after its question.
        m_prompter->answerNo();
        QTest::mouseClick(w.emptyButton(), Qt::LeftButton);
        QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs")), qint64(2));
        m_prompter->answerYes();
        QTest::mouseClick(w.emptyButton(), Qt::LeftButton);
        QVERIFY(m_prompter->shown().at(1).text.contains(QStringLiteral("1 个文件")));
        QCOMPARE(count(s, QStringLiteral("select id from wjhs")), secret);
        QVERIFY(shownNames(w).isEmpty());
        for (const auto& shown : m_prompter->shown())
            QVERIFY(!shown.text.contains(QStringLiteral("绝密名")));
    }
    QVERIFY(tree.load());
    QVERIFY(tree.open(tree.findPath(QStringLiteral("机密"))->id, QStringLiteral("pw")).ok());
    TrashWindow w(s, setup());
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("绝密名.bin")});
    w.grid()->selectRow(0);
    TestHome::grab(&w, QStringLiteral("TrashWindow"));
    QTest::mouseClick(w.restoreButton(), Qt::LeftButton);
    QCOMPARE(count(s, QStringLiteral("select id from wj where fz='机密'")), secret);
}

KV_REGISTER_TEST(TrashTest)
#include "TrashTest.moc"
