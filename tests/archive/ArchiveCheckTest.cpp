// The integrity check finds each planted fault, reports a clean archive as
// clean, changes nothing without repair and only moves orphans aside (and a
// lagging counter ahead) with it.
#include "archive/ArchiveCheck.h"
#include "archive/FileRecords.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/PasswordHash.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

struct Fixture {
    TestHome home;
    QTemporaryDir src;
    qint64 held = -1, kept = -1, secret = -1;
    QString keptPath;

    bool build()
    {
        DataStore& s = home.store();
        if (!home.isValid()
            || !s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,mm) values (1,0,'合同',''),(2,0,'机密',?)"),
                          {PasswordHash::hash(QStringLiteral("pw"))}))
            return false;
        FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 4096);
        RecordFields f;
        f.name = QStringLiteral("小");
        f.group = QStringLiteral("合同");
        const auto a = records.add(f, writeFile(src.path(), QStringLiteral("a.txt"), pattern(1000, 'a')));
        f.name = QStringLiteral("大");
        const auto b = records.add(f, writeFile(src.path(), QStringLiteral("b.pdf"), pattern(50000, 'b')));
        f.name = QStringLiteral("秘密文件");
        f.group = QStringLiteral("机密");
        const auto c = records.add(f, writeFile(src.path(), QStringLiteral("c.txt"), pattern(700, 'c')));
        if (!a || !b || !c)
            return false;
        held = a->id;
        kept = b->id;
        secret = c->id;
        keptPath = StoreFolder(home.context().home)
                       .resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {kept}).toString());
        return true;
    }

    Result<ArchiveCheck::Report> check(bool repair = false)
    {
        NoProgress progress;
        ArchiveCheck checker(home.store(), StoreFolder(home.context().home), home.context().protectedGroups);
        return checker.run(progress, {}, repair, &home.context().currentOperator);
    }
};

void flipByte(QByteArray& bytes, int at)
{
    bytes[at] = char(bytes.at(at) ^ 0x01);
}

}  // namespace

class ArchiveCheckTest : public QObject {
    Q_OBJECT
private slots:
    void cleanArchiveIsWhole();
    void findsPlantedFault_data();
    void findsPlantedFault();
    void closedGroupIsNotNamed();
    void repairMovesOrphansAsideAndCounterAhead();
    void cancelGivesNoVerdict();
    void killedRepairLosesNoFile();
};

void ArchiveCheckTest::cleanArchiveIsWhole()
{
    Fixture f;
    QVERIFY(f.build());
    const auto r = f.check();
    QVERIFY2(r, qPrintable(r.detail()));
    QVERIFY(r->whole());
    QCOMPARE(r->records, qint64(3));
    QCOMPARE(r->heldRecords, qint64(2));
    QCOMPARE(r->bytes, qint64(1000 + 50000 + 700));
}

void ArchiveCheckTest::findsPlantedFault_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("kind");
    QTest::newRow("kept file byte flipped") << "kept-flip" << ArchiveCheck::ContentDamaged;
    QTest::newRow("held content byte flipped") << "held-flip" << ArchiveCheck::ContentDamaged;
    QTest::newRow("kept file missing") << "kept-missing" << ArchiveCheck::KeptFileMissing;
    QTest::newRow("held content missing") << "held-missing" << ArchiveCheck::ContentMissing;
    QTest::newRow("orphan file") << "orphan" << ArchiveCheck::OrphanFile;
    QTest::newRow("duplicated number") << "duplicate" << ArchiveCheck::DuplicateNumber;
    QTest::newRow("counter behind") << "counter" << ArchiveCheck::CounterBehind;
    QTest::newRow("group that does not exist") << "group" << ArchiveCheck::NoSuchGroup;
    QTest::newRow("size differs") << "size" << ArchiveCheck::SizeDiffers;
    QTest::newRow("no hash") << "nohash" << ArchiveCheck::NoHash;
}

void ArchiveCheckTest::findsPlantedFault()
{
    QFETCH(QString, fault);
    QFETCH(QString, kind);
    Fixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    const QString store = f.home.context().home.storeFolder();
    if (fault == QLatin1String("kept-flip")) {
        QByteArray bytes = readFile(f.keptPath);
        flipByte(bytes, 31000);
        QVERIFY(!writeFile(f.keptPath, bytes).isEmpty());
    } else if (fault == QLatin1String("held-flip")) {
        QByteArray bytes = valueOf(s, QStringLiteral("select nr from wjnr where id=?"), {f.held}).toByteArray();
        flipByte(bytes, 10);
        QVERIFY(s.execute(QStringLiteral("update wjnr set nr=? where id=?"), {bytes, f.held}));
    } else if (fault == QLatin1String("kept-missing")) {
        QVERIFY(QFile::remove(f.keptPath));
    } else if (fault == QLatin1String("held-missing")) {
        QVERIFY(s.execute(QStringLiteral("delete from wjnr where id=?"), {f.held}));
    } else if (fault == QLatin1String("orphan")) {
        QVERIFY(!writeFile(store, QStringLiteral("0000000099.doc"), "stray").isEmpty());
    } else if (fault == QLatin1String("duplicate")) {
        QVERIFY(
            s.execute(QStringLiteral("update wj set bh=(select bh from wj where id=?) where id=?"), {f.held, f.kept}));
    } else if (fault == QLatin1String("counter")) {
        QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("2")));
    } else if (fault == QLatin1String("group")) {
        QVERIFY(s.execute(QStringLiteral("update wj set fz='不存在' where id=?"), {f.held}));
    } else if (fault == QLatin1String("size")) {
        QVERIFY(s.execute(QStringLiteral("update wj set dxsz=dxsz+1 where id=?"), {f.kept}));
    } else if (fault == QLatin1String("nohash")) {
        QVERIFY(s.execute(QStringLiteral("update wj set sha256=null where id=?"), {f.held}));
    }
    const QStringList before = QDir(store).entryList(QDir::Files);
    const QString counterBefore = Dictionary::readOr(s, Dictionary::FileNumber, QString());
    const qint64 logBefore = valueOf(s, QStringLiteral("select count(*) from rz")).toLongLong();

    const auto r = f.check();
    QVERIFY2(r, qPrintable(r.detail()));
    QVERIFY(!r->whole());
    QStringList kinds;
    for (const auto& finding : r->findings)
        kinds << finding.kind;
    QVERIFY2(kinds.contains(kind), qPrintable(kinds.join(QLatin1Char(','))));
    // Only the fault planted: a duplicate also puts the counter behind.
    kinds.removeAll(kind);
    if (fault == QLatin1String("duplicate"))
        kinds.removeAll(ArchiveCheck::CounterBehind);
    QVERIFY2(kinds.isEmpty(), qPrintable(kinds.join(QLatin1Char(','))));
    // Nothing changed without repair.
    QCOMPARE(QDir(store).entryList(QDir::Files), before);
    QVERIFY(!QDir(StoreFolder(f.home.context().home).quarantineFolder()).exists());
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileNumber, QString()), counterBefore);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz")).toLongLong(), logBefore);
}

void ArchiveCheckTest::closedGroupIsNotNamed()
{
    Fixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(s.execute(QStringLiteral("delete from wjnr where id=?"), {f.secret}));
    auto r = f.check();
    QVERIFY(r && r->findings.size() == 1);
    const QString line = r->findings.first().line();
    QVERIFY2(!line.contains(QStringLiteral("秘密文件")) && !line.contains(QStringLiteral("0000000003")),
             qPrintable(line));
    QVERIFY(line.contains(QStringLiteral("id %1").arg(f.secret)));
    // Opened for the run, it is named.
    f.home.context().protectedGroups.open(QStringLiteral("机密"));
    r = f.check();
    QVERIFY(r && r->findings.size() == 1);
    QVERIFY(r->findings.first().line().contains(QStringLiteral("秘密文件")));
}

void ArchiveCheckTest::repairMovesOrphansAsideAndCounterAhead()
{
    Fixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    const StoreFolder folder(f.home.context().home);
    QVERIFY(!writeFile(folder.folder(), QStringLiteral("0000000099.doc"), "stray").isEmpty());
    QVERIFY(!writeFile(folder.folder(), QStringLiteral(".kvpart-abc.part"), "half").isEmpty());
    QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("1")));

    auto r = f.check(true);
    QVERIFY(r);
    QCOMPARE(r->quarantined, 1);
    QVERIFY(r->counterMoved);
    QCOMPARE(readFile(folder.quarantineFolder() + QStringLiteral("/0000000099.doc")), QByteArray("stray"));
    // Set aside, it is the user's alone.
    QCOMPARE(TestInput::modeOf(folder.quarantineFolder()), 0700);
    QCOMPARE(TestInput::modeOf(folder.quarantineFolder() + QStringLiteral("/0000000099.doc")), 0600);
    // What a killed run left is removed, never set aside.
    QCOMPARE(r->leftoversRemoved, 1);
    QVERIFY(!QFileInfo::exists(folder.folder() + QStringLiteral("/.kvpart-abc.part")));
    QVERIFY(!QFileInfo::exists(folder.quarantineFolder() + QStringLiteral("/.kvpart-abc.part")));
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileNumber, QString()), QStringLiteral("4"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where nr like ? and czy='Admin'"),
                     {ArchiveCheck::RepairLogPrefix + QLatin1Char('%')})
                 .toInt(),
             3);
    // The record's own kept file stays, and the archive is whole now.
    QVERIFY(QFileInfo::exists(f.keptPath));
    r = f.check();
    QVERIFY(r && r->whole());
}

void ArchiveCheckTest::cancelGivesNoVerdict()
{
    Fixture f;
    QVERIFY(f.build());
    struct Stop final : Progress {
        void setRange(qint64, qint64) override {}
        void setValue(qint64) override {}
        bool cancelled() const override { return true; }
    } stop;
    ArchiveCheck checker(f.home.store(), StoreFolder(f.home.context().home), f.home.context().protectedGroups);
    const auto r = checker.run(stop);
    QVERIFY(!r);
    QVERIFY(r.cancelled());
}

void ArchiveCheckTest::killedRepairLosesNoFile()
{
    Fixture f;
    QVERIFY(f.build());
    const StoreFolder folder(f.home.context().home);
    const int strays = 1000;
    for (int i = 0; i < strays; ++i)
        QVERIFY(!writeFile(folder.folder(), QStringLiteral("stray-%1.doc").arg(i), QByteArray::number(i)).isEmpty());
    const QString database = f.home.databasePath();
    f.home.store().close();

    QVERIFY(KillChild::runAndKill(
        [&] {
            DataStore s;
            if (!s.open(database))
                ::_exit(3);
            NoProgress progress;
            ProtectedGroups open;
            ArchiveCheck(s, folder, open).run(progress, {}, true).ok();
            for (;;)
                ::pause();
        },
        150));

    // Every stray is in exactly one of the two folders, whole; the records' files stayed.
    int moved = 0;
    for (int i = 0; i < strays; ++i) {
        const QString name = QStringLiteral("stray-%1.doc").arg(i);
        const bool here = QFileInfo::exists(folder.folder() + QLatin1Char('/') + name);
        const bool aside = QFileInfo::exists(folder.quarantineFolder() + QLatin1Char('/') + name);
        QVERIFY2(here != aside, qPrintable(name));
        QCOMPARE(readFile((here ? folder.folder() : folder.quarantineFolder()) + QLatin1Char('/') + name),
                 QByteArray::number(i));
        moved += aside ? 1 : 0;
    }
    qInfo("moved before the kill: %d of %d", moved, strays);
    QVERIFY2(moved < strays, qPrintable(QString::number(moved)));
    QVERIFY(QFileInfo::exists(f.keptPath));
    QVERIFY(f.home.store().open(database));
    const auto r = f.check(true);
    QVERIFY(r);
    QCOMPARE(r->quarantined, strays - moved);
    QVERIFY(f.check()->whole());
}

KV_REGISTER_TEST(ArchiveCheckTest)
#include "ArchiveCheckTest.moc"
