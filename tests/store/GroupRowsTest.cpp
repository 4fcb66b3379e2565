// A group's files are exactly fz = path and fz below path + "\": counted,
// listed and moved by a rename alike, whatever "%", "_", "\" or "]" its
// neighbours' names hold.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/GroupRows.h"

#include <QTest>

namespace {

const QStringList kPaths{"A_", "A_\\x", "A_\\x\\y", "AB", "Ab\\x", "A%", "A_x", "A_]", "A_\\%", "A", "A\\_", "_", "%"};

bool covers(const QString& group, const QString& path)
{
    return group.isEmpty() || path == group || path.startsWith(group + QLatin1Char('\\'));
}

}  // namespace

class GroupRowsTest : public QObject {
    Q_OBJECT
private slots:
    void filesOfGroupAreExactlyItsOwn_data();
    void filesOfGroupAreExactlyItsOwn();
};

void GroupRowsTest::filesOfGroupAreExactlyItsOwn_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("hidden");
    QTest::newRow("underscore") << "A_" << QString();
    QTest::newRow("percent") << "A%" << QString();
    QTest::newRow("below, one hidden") << "A_"
                                       << "A_\\x";
    QTest::newRow("bare underscore") << "_" << QString();
    QTest::newRow("root, one hidden") << QString() << "A_";
}

void GroupRowsTest::filesOfGroupAreExactlyItsOwn()
{
    QFETCH(QString, group);
    QFETCH(QString, hidden);
    TestHome home;
    DataStore& s = home.store();
    QList<qint64> expected;
    for (const QString& p : kPaths) {
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz) values (?,?,?)"), {p, p, p}));
        if (covers(group, p) && (hidden.isEmpty() || !covers(hidden, p)))
            expected << s.lastInsertId();
    }
    const QStringList excluded = hidden.isEmpty() ? QStringList() : QStringList{hidden};

    const Result<qint64> count = GroupRows::fileCount(s, group, excluded);
    QVERIFY2(count, qPrintable(count.detail()));
    QCOMPARE(count.value(), qint64(expected.size()));
    const Result<QList<qint64>> ids = GroupRows::fileIds(s, group, excluded);
    QVERIFY2(ids, qPrintable(ids.detail()));
    QCOMPARE(ids.value(), expected);
    if (group.isEmpty())
        return;

    // A rename moves the same files (hidden ones too) and no other.
    QVERIFY(GroupRows::moveFiles(s, group, QStringLiteral("新")));
    RecordSet rs = s.query(QStringLiteral("select bh,fz from wj order by id"));
    for (; rs && !rs.atEnd(); rs.next()) {
        const QString was = rs.text(0);
        QCOMPARE(rs.text(1), covers(group, was) ? QStringLiteral("新") + was.mid(group.size()) : was);
    }
}

KV_REGISTER_TEST(GroupRowsTest)
#include "GroupRowsTest.moc"
