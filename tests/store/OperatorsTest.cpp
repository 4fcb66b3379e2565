#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/Operators.h"
#include "store/PasswordHash.h"
#include "store/Rights.h"

#include <QTest>

namespace {

const QString Admin = QStringLiteral("Admin");

qint64 idOf(DataStore& s, const QString& name)
{
    const QVariant v = valueOf(s, QStringLiteral("select id from czygl where yhm=?"), {name});
    return v.isValid() ? v.toLongLong() : -1;
}

Operators::Edit edit(const QString& name, const QStringList& rights = {Rights::Add},
                     const QString& status = Operators::Usable)
{
    Operators::Edit e;
    e.userName = name;
    e.password = QString();
    e.repeated = QString();
    e.rights = rights;
    e.status = status;
    return e;
}

// The operator's fields as the window would hand them back unchanged.
Operators::Edit unchanged(Operators& ops, qint64 id)
{
    const Result<Operators::Data> d = ops.load(id);
    Operators::Edit e;
    if (!d)
        return e;
    e.userName = d->userName;
    e.status = d->status;
    e.description = d->description;
    e.rights = Rights::split(d->rightsText);
    return e;
}

int rows(DataStore& s, const QString& table)
{
    return valueOf(s, QStringLiteral("select count(*) from ") + table).toInt();
}

QStringList logLines(DataStore& s)
{
    QStringList out;
    for (RecordSet rs = s.query(QStringLiteral("select nr from rz order by id")); !rs.atEnd(); rs.next())
        out << rs.text(0);
    return out;
}

}  // namespace

class OperatorsTest : public QObject {
    Q_OBJECT
private slots:
    void lastAdministratorIsKept_data();
    void lastAdministratorIsKept();
    void stoppedAdministratorDoesNotCount();
    void currentOperatorCannotDeleteHimself();
    void duplicateNames_data();
    void duplicateNames();
    void nameIsTrimmedAndChecked_data();
    void nameIsTrimmedAndChecked();
    void untouchedPasswordKeepsHash();
    void differentPasswordsChangeNothing();
    void logLinesNameChangesNeverPasswords();
    void failedStatementLeavesTableAsItWas();
    void failedLogKeepsTheChange();
    void ownPasswordAfterRenameChangesNothing();
    void twoConnectionsKeepOneAdministrator();
};

// With one usable administrator each way of losing him is refused; with two,
// each is allowed once and the second time refused.
void OperatorsTest::lastAdministratorIsKept_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("delete") << "delete" << Operators::LastAdministratorDeleteMessage;
    QTest::newRow("untick 权限管理") << "untick" << Operators::LastAdministratorMessage;
    QTest::newRow("set 停用") << "stop" << Operators::LastAdministratorMessage;
}

void OperatorsTest::lastAdministratorIsKept()
{
    QFETCH(QString, how);
    QFETCH(QString, refusal);
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    // A clerk without the right does the work, so that nobody deletes himself.
    home.loginAs(QStringLiteral("Clerk"), Rights::Operators);
    Operators ops(s, home.context().currentOperator);

    auto loseAdministrator = [&](qint64 id) -> Status {
        if (how == QLatin1String("delete")) {
            if (const Status allowed = ops.checkRemove(id); !allowed)
                return allowed;
            const Result<Operators::Saved> r = ops.remove(id);
            return r ? Status() : Status(r.failure());
        }
        Operators::Edit e = unchanged(ops, id);
        if (how == QLatin1String("untick"))
            e.rights.removeAll(Rights::Operators);
        else
            e.status = Operators::Stopped;
        const Result<Operators::Saved> r = ops.change(id, e);
        return r ? Status() : Status(r.failure());
    };
    auto administrators = [&] {
        return valueOf(s, QStringLiteral("select count(id) from czygl where zt='可用' and qx like '%权限管理%'"))
            .toInt();
    };

    const qint64 admin = idOf(s, Admin);
    const Status alone = loseAdministrator(admin);
    QVERIFY(!alone);
    QCOMPARE(alone.message(), refusal);
    QCOMPARE(administrators(), 1);

    QVERIFY(ops.add(edit(QStringLiteral("Second"), Rights::all())));
    QCOMPARE(administrators(), 2);
    QVERIFY(loseAdministrator(admin));
    QCOMPARE(administrators(), 1);
    const Status last = loseAdministrator(idOf(s, QStringLiteral("Second")));
    QVERIFY(!last);
    QCOMPARE(last.message(), refusal);
    QCOMPARE(administrators(), 1);
}

// An administrator who may not log in administers nothing: he neither keeps
// the last usable one company nor needs to be kept himself.
void OperatorsTest::stoppedAdministratorDoesNotCount()
{
    TestHome home;
    DataStore& s = home.store();
    home.loginAs(QStringLiteral("Clerk"), Rights::Operators);
    Operators ops(s, home.context().currentOperator);
    QVERIFY(ops.add(edit(QStringLiteral("Resting"), Rights::all(), Operators::Stopped)));
    const Status refused = ops.checkRemove(idOf(s, Admin));
    QCOMPARE(refused.message(), Operators::LastAdministratorDeleteMessage);
    // The stopped one goes freely, and comes back only as '可用' with the right.
    QVERIFY(ops.remove(idOf(s, QStringLiteral("Resting"))));
    QCOMPARE(rows(s, QStringLiteral("czygl")), 1);
}

void OperatorsTest::currentOperatorCannotDeleteHimself()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);  // Admin
    // Alone, the last administrator is the reason given.
    QCOMPARE(ops.remove(idOf(s, Admin)).message(), Operators::LastAdministratorDeleteMessage);
    QVERIFY(ops.add(edit(QStringLiteral("Second"), Rights::all())));
    const Result<Operators::Saved> r = ops.remove(idOf(s, Admin));
    QVERIFY(!r);
    QCOMPARE(r.message(), Operators::DeleteSelfMessage);
    QCOMPARE(rows(s, QStringLiteral("czygl")), 2);
    // Another administrator may.
    home.loginAs(QStringLiteral("Second"), Rights::all().join(QLatin1Char(',')));
    QVERIFY(ops.remove(idOf(s, Admin)));
    QCOMPARE(idOf(s, Admin), -1);
}

void OperatorsTest::duplicateNames_data()
{
    QTest::addColumn<bool>("onChange");
    QTest::addColumn<QString>("name");
    QTest::newRow("add, same name") << false << "Admin";
    QTest::newRow("add, other case") << false << "admin";
    QTest::newRow("add, blanks around") << false << "  Admin ";
    QTest::newRow("change, same name") << true << "Admin";
    QTest::newRow("change, quote in name") << true << "O'Brien";
}

void OperatorsTest::duplicateNames()
{
    QFETCH(bool, onChange);
    QFETCH(QString, name);
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    QVERIFY(ops.add(edit(QStringLiteral("O'Brien"))));
    QVERIFY(ops.add(edit(QStringLiteral("Clerk"))));
    const int before = rows(s, QStringLiteral("czygl"));
    const Result<Operators::Saved> r =
        onChange ? ops.change(idOf(s, QStringLiteral("Clerk")), edit(name)) : ops.add(edit(name));
    QVERIFY(!r);
    QCOMPARE(r.message(), QStringLiteral("用户名重复,已经存在'") + name.trimmed() + QStringLiteral("',请重新输入!"));
    QCOMPARE(rows(s, QStringLiteral("czygl")), before);
    QCOMPARE(idOf(s, QStringLiteral("Clerk")) > 0, true);
    // An operator keeps his own name on a change.
    QVERIFY(ops.change(idOf(s, QStringLiteral("Clerk")), edit(QStringLiteral("Clerk"), {Rights::Search})));
}

void OperatorsTest::nameIsTrimmedAndChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");  // empty: refused
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << ""
                           << "" << Operators::EmptyNameMessage;
    QTest::newRow("blanks only") << "   "
                                 << "" << Operators::EmptyNameMessage;
    QTest::newRow("full-width blank") << QStringLiteral("\u3000") << "" << Operators::EmptyNameMessage;
    QTest::newRow("trimmed") << " 张三 "
                             << "张三" << Operators::AddedMessage;
    QTest::newRow("tab inside") << "a\tb"
                                << "" << Operators::ControlCharacterMessage;
    QTest::newRow("newline inside") << "a\nb"
                                    << "" << Operators::ControlCharacterMessage;
    QTest::newRow("zero width") << QStringLiteral("a\u200bb") << "" << Operators::ControlCharacterMessage;
    QTest::newRow("percent and underscore") << "50%_x"
                                            << "50%_x" << Operators::AddedMessage;
}

void OperatorsTest::nameIsTrimmedAndChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    const Result<Operators::Saved> r = ops.add(edit(typed));
    QCOMPARE(r.message(), message);
    QCOMPARE(r.ok(), !stored.isEmpty());
    QCOMPARE(rows(s, QStringLiteral("czygl")), stored.isEmpty() ? 1 : 2);
    if (!stored.isEmpty())
        QVERIFY(idOf(s, stored) > 0);
    // A change is held to the same rules.
    if (stored.isEmpty()) {
        const Result<Operators::Saved> c = ops.change(idOf(s, Admin), edit(typed, Rights::all()));
        QCOMPARE(c.message(), message);
        QVERIFY(idOf(s, Admin) > 0);
    }
}

void OperatorsTest::untouchedPasswordKeepsHash()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    Operators::Edit e = edit(QStringLiteral("Clerk"));
    e.password = e.repeated = QStringLiteral("pw");
    QVERIFY(ops.add(e));
    const QString hash = valueOf(s, QStringLiteral("select mm from czygl where yhm='Clerk'")).toString();
    const qint64 id = idOf(s, QStringLiteral("Clerk"));
    Operators::Edit keep = unchanged(ops, id);
    keep.description = QStringLiteral("前台");
    QVERIFY(ops.change(id, keep));
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where id=?"), {id}).toString(), hash);
    QCOMPARE(valueOf(s, QStringLiteral("select ms from czygl where id=?"), {id}).toString(), QStringLiteral("前台"));
    // Touched boxes set the new password, an empty one included.
    keep.password = keep.repeated = QString();
    QVERIFY(ops.change(id, keep));
    const QString emptied = valueOf(s, QStringLiteral("select mm from czygl where id=?"), {id}).toString();
    QVERIFY(emptied != hash);
    QVERIFY(PasswordHash::verify(emptied, QString()));
}

void OperatorsTest::differentPasswordsChangeNothing()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    Operators::Edit e = edit(QStringLiteral("Clerk"));
    e.password = QStringLiteral("one");
    e.repeated = QStringLiteral("two");
    const Result<Operators::Saved> added = ops.add(e);
    QCOMPARE(added.message(), Operators::PasswordsDifferMessage);
    QCOMPARE(rows(s, QStringLiteral("czygl")), 1);

    const qint64 admin = idOf(s, Admin);
    const QString hash = valueOf(s, QStringLiteral("select mm from czygl where id=?"), {admin}).toString();
    Operators::Edit c = unchanged(ops, admin);
    c.password = QStringLiteral("one");
    c.repeated = std::nullopt;  // only the first box typed in
    c.description = QStringLiteral("changed");
    QCOMPARE(ops.change(admin, c).message(), Operators::PasswordsDifferMessage);
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where id=?"), {admin}).toString(), hash);
    QCOMPARE(valueOf(s, QStringLiteral("select ms from czygl where id=?"), {admin}).toString(),
             QStringLiteral("系统管理员"));

    const Result<Operators::Saved> own = ops.changeOwnPassword(QStringLiteral("one"), QStringLiteral("One"));
    QCOMPARE(own.message(), Operators::PasswordsDifferMessage);
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where id=?"), {admin}).toString(), hash);
    QCOMPARE(rows(s, QStringLiteral("rz")), 0);
}

void OperatorsTest::logLinesNameChangesNeverPasswords()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    const QString secret = QStringLiteral("Pa55-秘密");
    Operators::Edit e = edit(QStringLiteral("Clerk"), {Rights::Add, Rights::Modify});
    e.password = e.repeated = secret;
    QVERIFY(ops.add(e));
    const qint64 id = idOf(s, QStringLiteral("Clerk"));
    Operators::Edit c = unchanged(ops, id);
    c.userName = QStringLiteral("Clerk2");
    c.rights = {Rights::Add, Rights::Search};
    c.status = Operators::Stopped;
    c.password = c.repeated = secret + QStringLiteral("x");
    QVERIFY(ops.change(id, c));
    QVERIFY(ops.remove(id));
    QVERIFY(ops.changeOwnPassword(secret, secret));

    const QStringList lines = logLines(s);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("操作员管理：增加 Clerk，状态 可用，权限 增加,修改"));
    QCOMPARE(
        lines.at(1),
        QStringLiteral(
            "操作员管理：修改 Clerk2，原名 Clerk，状态 可用 改为 停用，增加权限 搜索文件，去掉权限 修改，口令已更改"));
    QCOMPARE(lines.at(2), QStringLiteral("操作员管理：删除 Clerk2"));
    QCOMPARE(lines.at(3), QStringLiteral("修改口令：Admin"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where czy='Admin'")).toInt(), 4);
    // The typed text is nowhere in the archive.
    for (const QString& table : {QStringLiteral("rz"), QStringLiteral("czygl")}) {
        for (RecordSet rs = s.query(QStringLiteral("select * from ") + table); !rs.atEnd(); rs.next())
            for (int i = 0; i < rs.columnCount(); ++i)
                QVERIFY2(!rs.text(i).contains(QStringLiteral("Pa55")), qPrintable(table));
    }
}

void OperatorsTest::failedStatementLeavesTableAsItWas()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    s.failNextStatements(1, QStringLiteral("insert into czygl"));
    const Result<Operators::Saved> added = ops.add(edit(QStringLiteral("Clerk")));
    QCOMPARE(added.message(), Operators::AddFailedMessage);
    QVERIFY(!added.detail().isEmpty());
    QVERIFY(ops.add(edit(QStringLiteral("Clerk"))));

    const qint64 id = idOf(s, QStringLiteral("Clerk"));
    s.failNextStatements(1, QStringLiteral("update czygl"));
    QCOMPARE(ops.change(id, edit(QStringLiteral("Other"))).message(), Operators::ChangeFailedMessage);
    QCOMPARE(idOf(s, QStringLiteral("Clerk")), id);

    s.failNextStatements(1, QStringLiteral("delete from czygl"));
    QCOMPARE(ops.remove(id).message(), Operators::DeleteFailedMessage);
    QCOMPARE(idOf(s, QStringLiteral("Clerk")), id);

    const QString hash = valueOf(s, QStringLiteral("select mm from czygl where yhm='Admin'")).toString();
    s.failNextStatements(1, QStringLiteral("update czygl"));
    QCOMPARE(ops.changeOwnPassword(QStringLiteral("a"), QStringLiteral("a")).message(),
             Operators::OwnPasswordFailedMessage);
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where yhm='Admin'")).toString(), hash);
    // The successful add wrote the only line.
    QCOMPARE(rows(s, QStringLiteral("rz")), 1);
}

void OperatorsTest::failedLogKeepsTheChange()
{
    TestHome home;
    DataStore& s = home.store();
    Operators ops(s, home.context().currentOperator);
    s.failNextStatements(1, QStringLiteral("insert into rz"));
    const Result<Operators::Saved> added = ops.add(edit(QStringLiteral("Clerk")));
    QVERIFY(added);
    QVERIFY(added->logFailed);
    QVERIFY(idOf(s, QStringLiteral("Clerk")) > 0);
    QCOMPARE(rows(s, QStringLiteral("rz")), 0);
}

void OperatorsTest::ownPasswordAfterRenameChangesNothing()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("update czygl set yhm='Boss' where yhm='Admin'")));
    Operators ops(s, home.context().currentOperator);  // still "Admin" in memory
    const Result<Operators::Saved> r = ops.changeOwnPassword(QStringLiteral("x"), QStringLiteral("x"));
    QVERIFY(!r);
    QCOMPARE(r.message(), Operators::OwnPasswordFailedMessage);
    QVERIFY(PasswordHash::verify(valueOf(s, QStringLiteral("select mm from czygl where yhm='Boss'")).toString(),
                                 QString()));
}

// Two windows on their own connections, both opened while two
// administrators exist: each decides on what the archive holds when it
// writes, so the second loss is refused.
void OperatorsTest::twoConnectionsKeepOneAdministrator()
{
    TestHome home;
    DataStore& first = home.store();
    home.loginAs(QStringLiteral("Helper"), Rights::Operators);
    Operators one(first, home.context().currentOperator);
    QVERIFY(one.add(edit(QStringLiteral("Second"), Rights::all())));
    DataStore second;
    QVERIFY(second.open(home.databasePath()));
    Operators two(second, home.context().currentOperator);
    const qint64 admin = idOf(first, Admin);
    const qint64 other = idOf(first, QStringLiteral("Second"));
    QVERIFY(one.checkRemove(admin));
    QVERIFY(two.checkRemove(other));
    QVERIFY(one.remove(admin));
    const Result<Operators::Saved> refused = two.remove(other);
    QCOMPARE(refused.message(), Operators::LastAdministratorDeleteMessage);
    Operators::Edit stop = unchanged(two, other);
    stop.status = Operators::Stopped;
    QCOMPARE(two.change(other, stop).message(), Operators::LastAdministratorMessage);
    QCOMPARE(
        valueOf(second, QStringLiteral("select count(*) from czygl where zt='可用' and qx like '%权限管理%'")).toInt(),
        1);
}

KV_REGISTER_TEST(OperatorsTest)
#include "OperatorsTest.moc"
