// Every record carries the SHA-256 of its content, computed while the
// content comes in, on every path that stores content; an older archive gets
// its hashes filled when it is opened, in steps that survive a kill.
#include "archive/FileRecords.h"
#include "archive/GroupCopy.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/Schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using TestInput::pattern;
using TestInput::writeFile;

namespace {

// The reference: Qt's own SHA-256, not the code under test.
QString reference(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString recorded(DataStore& s, qint64 id)
{
    return valueOf(s, QStringLiteral("select sha256 from wj where id=?"), {id}).toString();
}

}  // namespace

class ContentHashTest : public QObject {
    Q_OBJECT
private slots:
    void digestMatchesReference_data();
    void digestMatchesReference();
    void addAndModifyRecordTheHash();
    void groupCopyCarriesTheHash();
    void detailedPropertiesShowTheHash();
    void olderArchiveGetsItsHashes();
    void killedFillLeavesOnlyTrueHashesAndGoesOn();
};

void ContentHashTest::digestMatchesReference_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("empty") << qint64(0);
    QTest::newRow("one byte") << qint64(1);
    QTest::newRow("one block") << qint64(64);
    QTest::newRow("chunk and a bit") << qint64((1 << 20) + 17);
    QTest::newRow("several chunks") << qint64((5 << 20) + 3);
}

void ContentHashTest::digestMatchesReference()
{
    QFETCH(qint64, size);
    const QByteArray bytes = pattern(size, 'h');
    QCOMPARE(Sha256::of(bytes), reference(bytes));
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("f.bin"), bytes);
    QCOMPARE(Sha256::ofFile(path), reference(bytes));
    // Streamed in through a copy into the store folder.
    const StoreFolder folder(dir.path(), dir.path() + QStringLiteral("/Lf"));
    QCOMPARE(folder.stage(path).sha256, reference(bytes));
    QCOMPARE(folder.storeBytes(bytes, QStringLiteral("1"), QStringLiteral("bin")).sha256, reference(bytes));
}

void ContentHashTest::addAndModifyRecordTheHash()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'合同')")));
    FileRecords records(home.store(), StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    const QByteArray small = pattern(1000, 's');
    const QByteArray large = pattern(100000, 'l');
    RecordFields fields;
    fields.name = QStringLiteral("a");
    fields.group = QStringLiteral("合同");

    const auto held = records.add(fields, writeFile(src.path(), QStringLiteral("a.txt"), small));
    QVERIFY2(held, qPrintable(held.detail()));
    QCOMPARE(recorded(home.store(), held->id), reference(small));
    const auto kept = records.add(fields, writeFile(src.path(), QStringLiteral("b.pdf"), large));
    QVERIFY2(kept, qPrintable(kept.detail()));
    QCOMPARE(recorded(home.store(), kept->id), reference(large));

    // A new content brings its hash, whichever way it goes.
    QVERIFY(records.modify(held->id, fields, writeFile(src.path(), QStringLiteral("c.pdf"), large)));
    QCOMPARE(recorded(home.store(), held->id), reference(large));
    QVERIFY(records.modify(kept->id, fields, writeFile(src.path(), QStringLiteral("d.txt"), small)));
    QCOMPARE(recorded(home.store(), kept->id), reference(small));
    // A change of the other fields leaves it.
    fields.remark = QStringLiteral("备注");
    QVERIFY(records.modify(kept->id, fields));
    QCOMPARE(recorded(home.store(), kept->id), reference(small));
}

void ContentHashTest::groupCopyCarriesTheHash()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'甲'),(0,'乙')")));
    FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("x");
    fields.group = QStringLiteral("甲");
    const QByteArray small = pattern(300, '1');
    const QByteArray large = pattern(9000, '2');
    QVERIFY(records.add(fields, writeFile(src.path(), QStringLiteral("x.txt"), small)));
    QVERIFY(records.add(fields, writeFile(src.path(), QStringLiteral("y.pdf"), large)));

    ProtectedGroups open;
    LogWriter log(s, home.context().currentOperator);
    GroupCopy copy(s, StoreFolder(home.context().home), open, log);
    NoProgress progress;
    QVERIFY(copy.run(QStringLiteral("甲"), QStringLiteral("乙"), progress).ok());
    RecordSet rs = s.query(QStringLiteral("select sha256,lx from wj where fz='乙' order by id"));
    QVERIFY(rs);
    QCOMPARE(rs.text(0), reference(small));
    rs.next();
    QCOMPARE(rs.text(0), reference(large));
}

void ContentHashTest::detailedPropertiesShowTheHash()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(fxmid,xmmc) values (0,'合同')")));
    FileRecords records(home.store(), StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields fields;
    fields.name = QStringLiteral("a");
    fields.group = QStringLiteral("合同");
    const QByteArray bytes = pattern(500, 'p');
    const auto added = records.add(fields, writeFile(src.path(), QStringLiteral("a.txt"), bytes));
    QVERIFY(added);
    const auto detailed = records.properties(added->id, true);
    QVERIFY(detailed && detailed->has_value());
    QVERIFY((*detailed)->contains(qMakePair(FileRecords::ContentHashTitle, reference(bytes))));
    const auto brief = records.properties(added->id, false);
    QVERIFY(brief && brief->has_value());
    for (const auto& row : **brief)
        QVERIFY(row.first != FileRecords::ContentHashTitle);
}

namespace {

// An archive as version 4 left it: no hash column, held and kept content.
struct OldArchive {
    QMap<qint64, QString> truth;
};

bool layOutBeforeHashes(TestHome& home, int held, int kept, OldArchive* out)
{
    DataStore& s = home.store();
    const StoreFolder folder(home.context().home);
    if (!s.execute(QStringLiteral("drop index if exists wj_sha256"))
        || !s.execute(QStringLiteral("alter table wj drop column sha256")) || !s.begin())
        return false;
    for (int i = 0; i < held + kept; ++i) {
        const QByteArray bytes = pattern(100 + (i * 37) % 3000, char('a' + i % 26));
        const QString bh = QString::number(i + 1).rightJustified(10, QLatin1Char('0'));
        QString lj;
        if (i >= held) {
            const StoreFolder::Stored st = folder.storeBytes(bytes, bh, QStringLiteral("bin"));
            if (!st)
                return false;
            lj = st.storedPath;
        }
        if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values (?,'f','',?,?,?)"),
                       {bh, QStringLiteral("bin"), bytes.size(), lj}))
            return false;
        const qint64 id = s.lastInsertId();
        if (lj.isEmpty() && !s.execute(QStringLiteral("insert into wjnr(id,nr) values (?,?)"), {id, bytes}))
            return false;
        out->truth.insert(id, reference(bytes));
    }
    return s.commit() && s.execute(QStringLiteral("PRAGMA user_version=4"));
}

}  // namespace

void ContentHashTest::olderArchiveGetsItsHashes()
{
    TestHome home;
    QVERIFY(home.isValid());
    OldArchive a;
    QVERIFY(layOutBeforeHashes(home, 30, 7, &a));
    const StoreFolder folder(home.context().home);
    // One kept file is gone: its record stays without a hash.
    const qint64 lost = a.truth.lastKey();
    const QString lostPath =
        folder.resolve(valueOf(home.store(), QStringLiteral("select lj from wj where id=?"), {lost}).toString());
    QVERIFY(QFile::remove(lostPath));

    const Status migrated =
        Schema::migrate(home.store(), nullptr, [&](const QString& lj) { return folder.resolve(lj); });
    QVERIFY2(migrated, qPrintable(migrated.detail()));
    QCOMPARE(Schema::version(home.store()).valueOr(-1), Schema::CurrentVersion);
    for (auto it = a.truth.cbegin(); it != a.truth.cend(); ++it)
        QCOMPARE(recorded(home.store(), it.key()), it.key() == lost ? QString() : it.value());
}

void ContentHashTest::killedFillLeavesOnlyTrueHashesAndGoesOn()
{
    TestHome home;
    QVERIFY(home.isValid());
    OldArchive a;
    QVERIFY(layOutBeforeHashes(home, 6 * Schema::ContentMoveRows, 20, &a));
    const QString database = home.databasePath();
    const QString programFolder = home.folder();
    home.store().close();

    // Slow steps, so that the kill lands between or inside them.
    struct Slow final : Progress {
        void setRange(qint64, qint64) override {}
        void setValue(qint64) override { ::usleep(100 * 1000); }
        bool cancelled() const override { return false; }
    };
    const bool killed = KillChild::runAndKill(
        [&] {
            DataStore s;
            if (!s.open(database))
                ::_exit(3);
            Slow slow;
            const StoreFolder folder(programFolder, programFolder + QStringLiteral("/Data/Lf"));
            Schema::migrate(s, &slow, [&](const QString& lj) { return folder.resolve(lj); }).ok();
            for (;;)
                ::pause();
        },
        250);
    QVERIFY(killed);

    DataStore s;
    QVERIFY(s.open(database));
    QCOMPARE(Schema::version(s).valueOr(-1), 4);
    const qint64 filled = valueOf(s, QStringLiteral("select count(*) from wj where sha256 is not null")).toLongLong();
    QVERIFY2(filled > 0 && filled < a.truth.size(), qPrintable(QString::number(filled)));
    for (auto it = a.truth.cbegin(); it != a.truth.cend(); ++it) {
        const QString h = recorded(s, it.key());
        QVERIFY(h.isEmpty() || h == it.value());
    }
    const StoreFolder folder(programFolder, programFolder + QStringLiteral("/Data/Lf"));
    QVERIFY(Schema::migrate(s, nullptr, [&](const QString& lj) { return folder.resolve(lj); }));
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    for (auto it = a.truth.cbegin(); it != a.truth.cend(); ++it)
        QCOMPARE(recorded(s, it.key()), it.value());
}

KV_REGISTER_TEST(ContentHashTest)
#include "ContentHashTest.moc"
