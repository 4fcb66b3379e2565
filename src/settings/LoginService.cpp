#include "settings/LoginService.h"

#include "platform/Config.h"
#include "store/DataStore.h"
#include "store/Operators.h"
#include "store/PasswordHash.h"

::Result<QStringList> LoginService::userNames()
{
    const ::Result<QStringList> names = Operators::usableNames(m_store);
    if (!names)
        return ::Result<QStringList>::fail(ReadFailedMessage, names.detail());
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

    const ::Result<std::optional<Operators::Credentials>> found = Operators::credentials(m_store, userName);
    if (!found) {
        r.detail = found.detail();
        return refuse(Outcome::Failed, ReadFailedMessage);
    }
    if (!found->has_value())
        return refuse(Outcome::UnknownUser, UnknownUserMessage);
    const QString& stored = (*found)->passwordHash;
    const QString& rights = (*found)->rightsText;
    const QString& status = (*found)->status;
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
