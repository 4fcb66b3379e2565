#pragma once

#include "platform/Result.h"
#include "store/CurrentOperator.h"

#include <QString>
#include <QStringList>

class Config;
class DataStore;

// The login's logic: which operators may be chosen, which one is chosen
// first, and the password test against czygl.
class LoginService {
public:
    static inline const QString NoUserMessage = QStringLiteral("请选择用户名进行登录。");
    static inline const QString WrongPasswordMessage = QStringLiteral("口令错误，请重新输入。");
    static inline const QString NotUsableMessage = QStringLiteral("该用户已停用，不能登录。");
    static inline const QString UnknownUserMessage = QStringLiteral("该用户不存在，请重新选择。");
    static inline const QString ReadFailedMessage = QStringLiteral("读取用户信息失败。");
    static inline const QString UsableStatus = QStringLiteral("可用");
    static inline const QString DefaultUser = QStringLiteral("Admin");

    enum class Outcome { LoggedIn, NoUserChosen, WrongPassword, NotUsable, UnknownUser, Failed };

    struct [[nodiscard]] Result {
        Outcome outcome = Outcome::Failed;
        CurrentOperator op;  // set when LoggedIn
        QString message;     // empty when LoggedIn
        QString detail;      // the technical cause; also why a login did not remember the name
        bool ok() const { return outcome == Outcome::LoggedIn; }
    };

    LoginService(DataStore& store, Config& config) : m_store(store), m_config(config) {}

    // User names of the operators whose status is '可用', in table order;
    // a failed read says so (ReadFailedMessage) rather than offering none.
    ::Result<QStringList> userNames();
    // The name to preselect among offered: the one stored in Config.ini
    // (section "dl", key "yh", default "Admin") when offered; empty otherwise.
    QString preselected(const QStringList& offered) const;

    // Tests the typed password exactly against the stored hash. On success
    // the user name is written back to Config.ini for the next start.
    Result login(const QString& userName, const QString& password);

private:
    DataStore& m_store;
    Config& m_config;
};
