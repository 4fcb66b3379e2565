#include "shell/LoginService.h"

#include "platform/Config.h"
#include "store/DataStore.h"
#include "store/PasswordHash.h"

::Result<QStringList> LoginService::userNames()
{
    QStringList names;
    RecordSet rs = m_store.query(QStringLiteral("select yhm from czygl where zt=? order by id"), {UsableStatus});
    if (!rs.isValid())
        return ::Result<QStringList>::fail(ReadFailedMessage, QStringLiteral("czygl: ") + m_store.lastError());
    for (; !rs.atEnd(); rs.next())
        names << rs.text(0);
    return names;
}

QString LoginService::preselected(const QStringList& offered) const
{
    const QString stored = m_config.value(Config::LoginSection, Config::LoginKey, DefaultUser);
    return offered.contains(stored) ? stored : QString();
}

LoginService::Result LoginService::login(const QString& userName, const QString& password)
{
    Result r;
    auto refuse = [&](Outcome o, const QString& message) {
        r.outcome = o;
        r.message = message;
        return r;
    };
    if (userName.isEmpty())
        return refuse(Outcome::NoUserChosen, NoUserMessage);

    RecordSet rs = m_store.query(QStringLiteral("select mm,qx,zt from czygl where yhm=?"), {userName});
    if (!rs) {
        r.detail = m_store.lastError();
        return refuse(Outcome::Failed, ReadFailedMessage);
    }
    if (rs.atEnd())
        return refuse(Outcome::UnknownUser, UnknownUserMessage);
    const QString stored = rs.text(0);
    const QString rights = rs.text(1);
    const QString status = rs.text(2);
    rs.close();
    if (status != UsableStatus)
        return refuse(Outcome::NotUsable, NotUsableMessage);

    // Passwords are kept as salted hashes, compared exactly. A value that
    // is not a hash was not written by this system and opens nothing.
    if (!PasswordHash::verify(stored, password))
        return refuse(Outcome::WrongPassword, WrongPasswordMessage);

    r.outcome = Outcome::LoggedIn;
    r.op = CurrentOperator(userName, rights);
    // Remembering the name is a convenience; a read-only Config.ini does not
    // stop the login.
    if (const Status kept = m_config.setValue(Config::LoginSection, Config::LoginKey, userName); !kept)
        r.detail = kept.detail();
    return r;
}
