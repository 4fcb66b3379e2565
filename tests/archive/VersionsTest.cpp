// "修改" with a new file keeps the replaced content as a version, stored once
// per SHA-256; a version made current again comes back byte for byte, and
// the check finds a version whose bytes changed.
#include "archive/ArchiveCheck.h"
#include "archive/FileRecords.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "archive/Versions.h"
#include "archive/ui/PropertiesWindow.h"
#include "common/KillChild.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/ProgramHome.h"
#include "platform/Progress.h"
#include "store/CurrentOperator.h"
#include "settings/ArchiveCare.h"
#include "settings/GlobalSettings.h"
#include "store/DataStore.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using TestInput::pattern;
using TestInput::writeFile;

namespace {

constexpr qint64 Bound = 4096;

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class VersionsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void versionMadeCurrentRoundTrips_data();
    void versionMadeCurrentRoundTrips();
    void identicalContentIsStoredOnce();
    void checkFindsDamagedVersion_data();
    void checkFindsDamagedVersion();
    void propertiesWindowRestoresAfterTheQuestion();
    void killedModifyOrRestoreLeavesVersionsWhole();

private:
    qint64 add(const QString& name, const QByteArray& bytes);
    void modify(qint64 id, const QString& name, const QByteArray& bytes);
    QByteArray current(qint64 id);
    QList<ArchiveCheck::Finding> check();
    qint64 count(const QString& sql) { return valueOf(m_home->store(), sql).toLongLong(); }

    std::unique_ptr<TestHome> m_home;
    QTemporaryDir m_src;
    std::unique_ptr<FileRecords> m_records;
    int m_files = 0;
};

void VersionsTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    KV_CHECK(m_home->store().execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'合同')")));
    m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(m_home->context().home),
                                              m_home->context().currentOperator, Bound);
}

void VersionsTest::cleanup()
{
    m_records.reset();
    m_home.reset();
}

qint64 VersionsTest::add(const QString& name, const QByteArray& bytes)
{
    RecordFields f;
    f.name = name;
    f.group = QStringLiteral("合同");
    const auto r = m_records->add(f, writeFile(m_src.path(), QStringLiteral("in%1.pdf").arg(++m_files), bytes));
    KV_CHECK(r);
    return r ? r->id : -1;
}

void VersionsTest::modify(qint64 id, const QString& name, const QByteArray& bytes)
{
    RecordFields f;
    f.name = name;
    f.group = QStringLiteral("合同");
    KV_CHECK(m_records->modify(id, f, writeFile(m_src.path(), QStringLiteral("in%1.doc").arg(++m_files), bytes)));
}

QByteArray VersionsTest::current(qint64 id)
{
    const QString out = m_src.filePath(QStringLiteral("out%1").arg(++m_files));
    KV_CHECK(m_records->saveOut(id, out));
    return fileBytes(out);
}

QList<ArchiveCheck::Finding> VersionsTest::check()
{
    NoProgress progress;
    ProtectedGroups open;
    const auto r = ArchiveCheck(m_home->store(), m_records->storeFolder(), open).run(progress);
    KV_CHECK(r);
    return r ? r->findings : QList<ArchiveCheck::Finding>();
}

void VersionsTest::versionMadeCurrentRoundTrips_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("held in the database") << qint64(1000);
    QTest::newRow("kept file") << qint64(300000);
}

void VersionsTest::versionMadeCurrentRoundTrips()
{
    QFETCH(qint64, size);
    const QByteArray first = pattern(size, 'a');
    const QByteArray second = pattern(size + 7, 'b');
    const qint64 id = add(QStringLiteral("合同"), first);
    modify(id, QStringLiteral("合同"), second);

    Versions versions(*m_records);
    auto listed = versions.list(id);
    QVERIFY(listed);
    QCOMPARE(listed->size(), 1);
    const VersionRows::Version v1 = listed->first();
    QCOMPARE(v1.number, 1);
    QCOMPARE(v1.size, size);
    QCOMPARE(v1.type, QStringLiteral("pdf"));
    // Neither the start-up sweep nor the check takes a version's file for an orphan.
    KV_CHECK(m_records->storeFolder().sweep(m_home->store()));
    QVERIFY(check().isEmpty());

    // Opened and saved out as it was.
    const auto opened = versions.extract(v1.id, m_src.filePath(QStringLiteral("open")));
    QVERIFY2(opened, qPrintable(opened.detail()));
    QCOMPARE(fileBytes(*opened), first);
    QVERIFY(opened->endsWith(QStringLiteral("合同.pdf")));

    const auto restored = versions.makeCurrent(v1.id);
    QVERIFY2(restored, qPrintable(restored.detail()));
    QCOMPARE(current(id), first);
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select lx from wj where id=?"), {id}).toString(),
             QStringLiteral("pdf"));
    // The replaced content is a version in its turn, and comes back too.
    listed = versions.list(id);
    QCOMPARE(listed->size(), 2);
    QCOMPARE(listed->first().number, 2);
    QVERIFY(versions.makeCurrent(listed->first().id));
    QCOMPARE(current(id), second);
    QCOMPARE(versions.makeCurrent(listed->first().id).message(), Versions::SameAsCurrent);
    QCOMPARE(count(QStringLiteral("select count(*) from bbnr")), 2);
    QVERIFY(check().isEmpty());
    QVERIFY(count(QStringLiteral("select count(*) from rz where nr like '恢复文件版本：%'")) == 2);
}

void VersionsTest::identicalContentIsStoredOnce()
{
    const QByteArray same = pattern(200000, 's');
    QList<qint64> ids;
    for (int i = 0; i < 10; ++i)
        ids << add(QStringLiteral("扫描%1").arg(i), same);
    for (const qint64 id : ids)
        modify(id, QStringLiteral("新稿"), pattern(200000, char('A' + (id % 20))));
    QCOMPARE(count(QStringLiteral("select count(*) from wjbb")), 10);
    QCOMPARE(count(QStringLiteral("select count(*) from bbnr")), 1);
    QCOMPARE(count(QStringLiteral("select count(*) from bbnr where lj<>''")), 1);
    // The nine files no version took over are gone: ten records, one version.
    QCOMPARE(QDir(m_records->storeFolder().folder()).entryList(QDir::Files).size(), 11);
    // "全局参数" counts the versions' content once.
    const auto size = GlobalSettings::archiveSize(m_home->store());
    QVERIFY(size);
    QCOMPARE(size->versions, qint64(10));
    QCOMPARE(size->versionBytes, qint64(200000));
    QCOMPARE(size->total(), qint64(11 * 200000));

    // Versions of purged records go; their content only with the last one.
    {
        DataStore& db = m_home->store();
        Transaction tx(db);
        const auto held = VersionRows::removeOf(db, ids.mid(0, 9));
        QVERIFY(held && held->size() == 1);
        const auto unused = VersionRows::purgeUnused(db, *held);
        QVERIFY(unused && unused->isEmpty());
        QVERIFY(tx.commit());
    }
    QCOMPARE(count(QStringLiteral("select count(*) from bbnr")), 1);
    {
        DataStore& db = m_home->store();
        Transaction tx(db);
        QVERIFY(VersionRows::removeOf(db, {ids.last()}));
        const auto unused = VersionRows::purgeUnused(db);
        QVERIFY(unused && unused->size() == 1);
        QVERIFY(tx.commit());
        KV_CHECK(Versions::removeKeptFiles(m_records->storeFolder(), *unused));
    }
    QCOMPARE(count(QStringLiteral("select count(*) from bbnr")), 0);
    QCOMPARE(QDir(m_records->storeFolder().folder()).entryList(QDir::Files).size(), 10);

    // The same file again stores nothing and makes no version.
    const QByteArray now = current(ids.first());
    modify(ids.first(), QStringLiteral("新稿"), now);
    QCOMPARE(count(QStringLiteral("select count(*) from wjbb")), 0);
    QCOMPARE(QDir(m_records->storeFolder().folder()).entryList(QDir::Files).size(), 10);
    QVERIFY(check().isEmpty());
}

void VersionsTest::checkFindsDamagedVersion_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("held in the database") << qint64(1000);
    QTest::newRow("kept file") << qint64(300000);
}

void VersionsTest::checkFindsDamagedVersion()
{
    QFETCH(qint64, size);
    const qint64 id = add(QStringLiteral("合同"), pattern(size, 'a'));
    modify(id, QStringLiteral("合同"), pattern(size, 'b'));
    const QString lj = valueOf(m_home->store(), QStringLiteral("select lj from bbnr")).toString();
    QByteArray bent = pattern(size, 'a');
    bent[int(size / 2)] = char(bent[int(size / 2)] ^ 1);
    if (lj.isEmpty()) {
        KV_CHECK(m_home->store().execute(QStringLiteral("update bbnr set nr=?"), {bent}));
    } else {
        QFile f(m_records->storeFolder().resolve(lj));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bent);
    }
    const QList<ArchiveCheck::Finding> findings = check();
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().kind, ArchiveCheck::ContentDamaged);
    QVERIFY(findings.first().where.startsWith(QStringLiteral("历史版本")));

    // Nor is damaged content made current: the record stays as it was.
    Versions versions(*m_records);
    const auto restored = versions.makeCurrent(versions.list(id)->first().id);
    QVERIFY(!restored);
    QVERIFY(restored.message().startsWith(ExportedContent::DamagedPrefix));
    QCOMPARE(current(id), pattern(size, 'b'));
    QCOMPARE(count(QStringLiteral("select count(*) from wjbb")), 1);

    // A backup or restore refuses an archive whose version file is gone.
    const QString data = m_home->context().home.dataFolder();
    QVERIFY(ArchiveCare::checkFolder(data));
    if (!lj.isEmpty()) {
        QVERIFY(QFile::remove(m_records->storeFolder().resolve(lj)));
        QCOMPARE(ArchiveCare::checkFolder(data).message(), ArchiveCare::NotABackup);
    }
}

void VersionsTest::propertiesWindowRestoresAfterTheQuestion()
{
    const QByteArray first = pattern(300000, 'a');
    const QByteArray second = pattern(1000, 'b');
    const qint64 id = add(QStringLiteral("合同"), first);
    modify(id, QStringLiteral("合同"), second);

    ScriptedPrompter prompter;
    PropertiesWindow w(*m_records, id);
    w.show();
    QTest::mouseClick(w.findChild<QRadioButton*>(QStringLiteral("历史版本")), Qt::LeftButton);
    auto* list = w.findChild<QTableWidget*>(QStringLiteral("版本列表"));
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->item(0, 0)->text(), QStringLiteral("1"));
    QCOMPARE(list->item(0, 4)->text(), valueOf(m_home->store(), QStringLiteral("select sha256 from wjbb")).toString());
    auto* restore = w.findChild<QPushButton*>(QStringLiteral("恢复版本按钮"));

    // "否" changes nothing.
    prompter.answerNo();
    QTest::mouseClick(restore, Qt::LeftButton);
    QCOMPARE(prompter.lastText(), Versions::restoreQuestion(1));
    QCOMPARE(current(id), second);

    prompter.answerYes();
    QTest::mouseClick(restore, Qt::LeftButton);
    QVERIFY2(prompter.lastText().endsWith(Versions::RestoredSuffix), qPrintable(prompter.lastText()));
    QCOMPARE(current(id), first);
    QCOMPARE(list->rowCount(), 2);
    TestHome::grab(&w, QStringLiteral("PropertiesWindow-versions"));

    // "另存为" writes the selected version (now the replaced one, newest first).
    const QString out = m_src.filePath(QStringLiteral("saved.doc"));
    prompter.answerText(out);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("另存版本按钮")), Qt::LeftButton);
    QCOMPARE(fileBytes(out), second);
    QCOMPARE(prompter.unexpected(), 0);
}

void VersionsTest::killedModifyOrRestoreLeavesVersionsWhole()
{
    const qint64 id = add(QStringLiteral("合同"), pattern(3 << 20, 'k'));
    QStringList sources;
    for (int i = 0; i < 3; ++i)
        sources << writeFile(m_src.path(), QStringLiteral("k%1.pdf").arg(i),
                             pattern((2 << 20) + i * 4000, char('l' + i)));
    sources << writeFile(m_src.path(), QStringLiteral("small.txt"), pattern(900, 's'));
    const QString db = m_home->databasePath();
    const ProgramHome home = m_home->context().home;
    const CurrentOperator op = m_home->context().currentOperator;
    m_records.reset();
    for (int round = 0; round < 12; ++round) {
        m_home->store().close();
        KillChild::runAndKill(
            [&] {
                DataStore child;
                if (!child.open(db))
                    return;
                FileRecords records(child, StoreFolder(home), op, Bound);
                Versions versions(records);
                RecordFields f;
                f.name = QStringLiteral("合同");
                f.group = QStringLiteral("合同");
                for (int i = 0;; ++i) {
                    (void)records.modify(id, f, sources.at(i % sources.size()));
                    const auto listed = versions.list(id);
                    if (listed && !listed->isEmpty())
                        (void)versions.makeCurrent(listed->at(i % listed->size()).id);
                }
            },
            20 + int(QRandomGenerator::global()->bounded(300)));
        QVERIFY(m_home->store().open(db));
        m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(home), op, Bound);
        // After the start-up sweep the archive is whole: every record and
        // every version with its content, no orphan left behind.
        KV_CHECK(m_records->storeFolder().sweep(m_home->store()));
        const QList<ArchiveCheck::Finding> findings = check();
        QVERIFY2(findings.isEmpty(), qPrintable(findings.isEmpty() ? QString() : findings.first().line()));
        m_records.reset();
    }
    m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(home), op, Bound);
    QVERIFY(count(QStringLiteral("select count(*) from wjbb")) > 0);
}

KV_REGISTER_TEST(VersionsTest)
#include "VersionsTest.moc"
