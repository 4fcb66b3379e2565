#include "store/Operators.h"

#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/PasswordHash.h"
#include "store/Rights.h"

namespace {

bool isAdministrator(const QString& status, const QString& rightsText)
{
    return status == Operators::Usable && Rights::holds(rightsText, Rights::Operators);
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            return true;
    return false;
}

QString normalStatus(const QString& status)
{
    return status == Operators::Stopped ? Operators::Stopped : Operators::Usable;
}

}  // namespace

QString Operators::duplicateMessage(const QString& name)
{
    return QStringLiteral("用户名") + QStringLiteral("重复,已经存在'") + name + QStringLiteral("',请重新输入!");
}

QString Operators::deleteQuestion(const QString& name)
{
    return QStringLiteral("确定删除[") + name + QStringLiteral("]吗？");
}

QStringList Operators::ordered(const QStringList& names)
{
    QStringList out;
    for (const QString& r : Rights::all())
        if (names.contains(r))
            out << r;
    return out;
}

Result<QList<Operators::Entry>> Operators::list()
{
    RecordSet rs = m_store.query(QStringLiteral("select id,yhm,zt from czygl order by id"));
    if (!rs)
        return Result<QList<Entry>>::fail(ReadFailedMessage, QStringLiteral("czygl: ") + m_store.lastError());
    QList<Entry> out;
    for (; !rs.atEnd(); rs.next())
        out.append(Entry{rs.number(0), rs.text(1), rs.text(2)});
    return out;
}

Result<QStringList> Operators::usableNames(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select yhm from czygl where zt=? order by id"), {Usable});
    if (!rs)
        return Result<QStringList>::fail(ReadFailedMessage, QStringLiteral("czygl: ") + store.lastError());
    QStringList names;
    for (; !rs.atEnd(); rs.next())
        names << rs.text(0);
    return names;
}

Result<std::optional<Operators::Credentials>> Operators::credentials(DataStore& store, const QString& userName)
{
    using Out = Result<std::optional<Credentials>>;
    RecordSet rs = store.query(QStringLiteral("select mm,qx,zt from czygl where yhm=?"), {userName});
    if (!rs)
        return Out::fail(ReadFailedMessage, store.lastError());
    if (rs.atEnd())
        return std::optional<Credentials>();
    return std::optional<Credentials>(Credentials{rs.text(0), rs.text(1), rs.text(2)});
}

Result<Operators::Data> Operators::load(qint64 id)
{
    RecordSet rs = m_store.query(QStringLiteral("select yhm,zt,ms,qx from czygl where id=?"), {id});
    if (!rs)
        return Result<Data>::fail(ReadFailedMessage, QStringLiteral("czygl: ") + m_store.lastError());
    if (rs.atEnd())
        return Result<Data>::fail(UnknownOperatorMessage, QStringLiteral("czygl: no row %1").arg(id));
    return Data{rs.text(0), rs.text(1), rs.text(2), rs.text(3)};
}

std::optional<Operators::Row> Operators::row(qint64 id, bool* failed)
{
    RecordSet rs = m_store.query(QStringLiteral("select yhm,zt,qx from czygl where id=?"), {id});
    *failed = !rs;
    if (!rs || rs.atEnd())
        return std::nullopt;
    return Row{rs.text(0), rs.text(1), rs.text(2)};
}

Result<int> Operators::otherAdministrators(qint64 excludedId)
{
    // Whole names, as the rights test at run time reads them.
    RecordSet rs = m_store.query(QStringLiteral("select zt,qx from czygl where id<>?"), {excludedId});
    if (!rs)
        return Result<int>::fail(QString(), QStringLiteral("czygl: ") + m_store.lastError());
    int n = 0;
    for (; !rs.atEnd(); rs.next())
        if (isAdministrator(rs.text(0), rs.text(1)))
            ++n;
    return n;
}

Status Operators::checkName(const QString& name, qint64 ownId)
{
    if (name.isEmpty())
        return Status::fail(EmptyNameMessage);
    if (hasControlCharacter(name))
        return Status::fail(ControlCharacterMessage);
    // Names differing only in letter case would look alike in the login list.
    const Result<std::optional<QVariant>> n = m_store.scalar(
        QStringLiteral("select count(id) from czygl where yhm=? collate nocase and yhm<>'' and id<>?"), {name, ownId});
    if (!n)
        return Status::fail(ReadFailedMessage, QStringLiteral("czygl: ") + n.detail());
    if (n->value_or(0).toLongLong() > 0)
        return Status::fail(duplicateMessage(name));
    return {};
}

bool Operators::writeLog(const QString& content)
{
    LogWriter log(m_store, m_by);
    return log.write(content);
}

Result<Operators::Saved> Operators::add(const Edit& edit)
{
    const QString name = edit.userName.trimmed();

    Transaction tx(m_store);
    if (!tx.isActive())
        return Result<Saved>::fail(AddFailedMessage, m_store.lastError());
    if (const Status named = checkName(name, -1); !named)
        return named.failure();
    if (edit.password.value_or(QString()) != edit.repeated.value_or(QString()))
        return Result<Saved>::fail(PasswordsDifferMessage);
    const QString hash = PasswordHash::hash(edit.password.value_or(QString()));
    if (hash.isEmpty())
        return Result<Saved>::fail(AddFailedMessage, QStringLiteral("password hash failed"));
    const QStringList rights = ordered(edit.rights);
    const QString status = normalStatus(edit.status);
    if (!m_store.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,?,?,?)"),
                         {name, hash, hash, status, edit.description, Rights::join(rights)}))
        return Result<Saved>::fail(AddFailedMessage, m_store.lastError());
    const qint64 id = m_store.lastInsertId();
    QString line = LogPrefix + QStringLiteral("增加 ") + name + QStringLiteral("，状态 ") + status;
    line += QStringLiteral("，权限 ") + (rights.isEmpty() ? QStringLiteral("无") : rights.join(QLatin1Char(',')));
    const bool logged = writeLog(line);
    if (!tx.commit())
        return Result<Saved>::fail(AddFailedMessage, m_store.lastError());
    return {Saved{id, name, !logged}, AddedMessage};
}

Result<Operators::Saved> Operators::change(qint64 id, const Edit& edit)
{
    const QString name = edit.userName.trimmed();
    const bool newPassword = edit.password.has_value() || edit.repeated.has_value();

    Transaction tx(m_store);
    if (!tx.isActive())
        return Result<Saved>::fail(ChangeFailedMessage, m_store.lastError());
    bool failed = false;
    const std::optional<Row> old = row(id, &failed);
    if (!old)
        return Result<Saved>::fail(failed ? ChangeFailedMessage : UnknownOperatorMessage, m_store.lastError());
    if (const Status named = checkName(name, id); !named)
        return named.failure();
    if (newPassword && edit.password.value_or(QString()) != edit.repeated.value_or(QString()))
        return Result<Saved>::fail(PasswordsDifferMessage);

    const QStringList rights = ordered(edit.rights);
    const QString rightsText = Rights::join(rights);
    const QString status = normalStatus(edit.status);
    // An administrator who cannot log in administers nothing: taking the
    // right away and stopping him count alike.
    if (isAdministrator(old->status, old->rightsText) && !isAdministrator(status, rightsText)) {
        const Result<int> others = otherAdministrators(id);
        if (!others)
            return Result<Saved>::fail(ChangeFailedMessage, others.detail());
        if (*others == 0)
            return Result<Saved>::fail(LastAdministratorMessage);
    }

    bool ok = false;
    if (newPassword) {
        const QString hash = PasswordHash::hash(edit.password.value_or(QString()));
        if (hash.isEmpty())
            return Result<Saved>::fail(ChangeFailedMessage, QStringLiteral("password hash failed"));
        ok = m_store.execute(QStringLiteral("update czygl set yhm=?,mm=?,qrmm=?,zt=?,ms=?,qx=? where id=?"),
                             {name, hash, hash, status, edit.description, rightsText, id});
    } else {
        ok = m_store.execute(QStringLiteral("update czygl set yhm=?,zt=?,ms=?,qx=? where id=?"),
                             {name, status, edit.description, rightsText, id});
    }
    if (!ok || m_store.rowsAffected() != 1)
        return Result<Saved>::fail(ChangeFailedMessage,
                                   ok ? QStringLiteral("czygl: row %1 not changed").arg(id) : m_store.lastError());

    QString line = LogPrefix + QStringLiteral("修改 ") + name;
    if (name != old->userName)
        line += QStringLiteral("，原名 ") + old->userName;
    if (status != old->status)
        line += QStringLiteral("，状态 ") + old->status + QStringLiteral(" 改为 ") + status;
    const QStringList before = Rights::split(old->rightsText);
    QStringList added, removed;
    for (const QString& r : rights)
        if (!before.contains(r))
            added << r;
    for (const QString& r : before)
        if (!rights.contains(r))
            removed << r;
    if (!added.isEmpty())
        line += QStringLiteral("，增加权限 ") + added.join(QLatin1Char(','));
    if (!removed.isEmpty())
        line += QStringLiteral("，去掉权限 ") + removed.join(QLatin1Char(','));
    if (newPassword)
        line += QStringLiteral("，口令已更改");
    const bool logged = writeLog(line);
    if (!tx.commit())
        return Result<Saved>::fail(ChangeFailedMessage, m_store.lastError());
    return {Saved{id, name, !logged}, ChangedMessage};
}

Status Operators::checkRemove(qint64 id)
{
    bool failed = false;
    const std::optional<Row> old = row(id, &failed);
    if (!old)
        return Status::fail(failed ? DeleteFailedMessage : UnknownOperatorMessage, m_store.lastError());
    // The last administrator is the stronger reason, also when it is the
    // operator logged in.
    if (isAdministrator(old->status, old->rightsText)) {
        const Result<int> others = otherAdministrators(id);
        if (!others)
            return Status::fail(DeleteFailedMessage, others.detail());
        if (*others == 0)
            return Status::fail(LastAdministratorDeleteMessage);
    }
    if (old->userName == m_by.userName())
        return Status::fail(DeleteSelfMessage);
    return {};
}

Result<Operators::Saved> Operators::remove(qint64 id)
{
    Transaction tx(m_store);
    if (!tx.isActive())
        return Result<Saved>::fail(DeleteFailedMessage, m_store.lastError());
    bool failed = false;
    const std::optional<Row> old = row(id, &failed);
    if (const Status allowed = checkRemove(id); !allowed)
        return allowed.failure();
    if (!m_store.execute(QStringLiteral("delete from czygl where id=?"), {id}) || m_store.rowsAffected() != 1)
        return Result<Saved>::fail(DeleteFailedMessage, m_store.lastError());
    const bool logged = writeLog(LogPrefix + QStringLiteral("删除 ") + old->userName);
    if (!tx.commit())
        return Result<Saved>::fail(DeleteFailedMessage, m_store.lastError());
    return Saved{id, old->userName, !logged};
}

Result<Operators::Saved> Operators::changeOwnPassword(const QString& password, const QString& repeated)
{
    if (password != repeated)
        return Result<Saved>::fail(PasswordsDifferMessage);
    const QString hash = PasswordHash::hash(password);
    if (hash.isEmpty())
        return Result<Saved>::fail(OwnPasswordFailedMessage, QStringLiteral("password hash failed"));
    Transaction tx(m_store);
    if (!tx.isActive())
        return Result<Saved>::fail(OwnPasswordFailedMessage, m_store.lastError());
    const QString user = m_by.userName();
    if (!m_store.execute(QStringLiteral("update czygl set mm=?,qrmm=? where yhm=?"), {hash, hash, user}))
        return Result<Saved>::fail(OwnPasswordFailedMessage, m_store.lastError());
    // A name changed or deleted since the login finds no row: nothing changed.
    if (m_store.rowsAffected() != 1)
        return Result<Saved>::fail(OwnPasswordFailedMessage, QStringLiteral("czygl: no operator named %1").arg(user));
    const bool logged = writeLog(PasswordLogPrefix + user);
    if (!tx.commit())
        return Result<Saved>::fail(OwnPasswordFailedMessage, m_store.lastError());
    return {Saved{-1, user, !logged}, OwnPasswordChangedMessage};
}
