#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class CurrentOperator;
class DataStore;

// The operators of czygl: listing, adding, changing and deleting them, and
// an operator's change of his own password. Passwords are kept only as
// salted hashes (mm and qrmm hold the same hash); the typed text is never
// stored, logged or returned.
//
// The archive always keeps one operator who may log in ('可用') and holds
// "权限管理": every change that could take the last one away is checked and
// written in one transaction, and refused when it would.
class Operators {
public:
    static inline const QString Usable = QStringLiteral("可用");
    static inline const QString Stopped = QStringLiteral("停用");

    static inline const QString EmptyNameMessage = QStringLiteral("用户名不能为空!");
    static inline const QString ControlCharacterMessage = QStringLiteral("用户名不能含有控制字符!");
    static inline const QString PasswordsDifferMessage = QStringLiteral("两次输入的密码不同，请重新输入。");
    static inline const QString AddedMessage = QStringLiteral("添加成功!             ");
    static inline const QString AddFailedMessage = QStringLiteral("添加操作员失败!");
    static inline const QString ChangedMessage = QStringLiteral("修改成功!  下次登录后生效。     ");
    static inline const QString ChangeFailedMessage = QStringLiteral("修改操作员失败!");
    static inline const QString LastAdministratorMessage = QStringLiteral("至少要保留一个具有【权限管理】的用户!");
    static inline const QString LastAdministratorDeleteMessage = QStringLiteral("禁止删除最后的一个管理员!");
    static inline const QString DeleteSelfMessage = QStringLiteral("不能删除当前登录的操作员!");
    static inline const QString DeleteFailedMessage = QStringLiteral("删除操作员失败!");
    static inline const QString ReadFailedMessage = QStringLiteral("读取操作员失败!");
    static inline const QString UnknownOperatorMessage = QStringLiteral("该操作员已不存在!");
    static inline const QString OwnPasswordChangedMessage = QStringLiteral("修改成功，下次登录时生效！");
    static inline const QString OwnPasswordFailedMessage = QStringLiteral("修改失败!");
    static inline const QString ReloginQuestion = QStringLiteral("您现在就重新登录吗 ?");

    // The log's beginnings for these changes.
    static inline const QString LogPrefix = QStringLiteral("操作员管理：");
    static inline const QString PasswordLogPrefix = QStringLiteral("修改口令：");

    // "用户名重复,已经存在'<name>',请重新输入!"
    static QString duplicateMessage(const QString& name);
    // "确定删除[<name>]吗？"
    static QString deleteQuestion(const QString& name);

    struct Entry {
        qint64 id = -1;
        QString userName;
        QString status;
        bool usable() const { return status == Usable; }
    };

    struct Data {
        QString userName;
        QString status;
        QString description;
        QString rightsText;
    };

    // What the window hands over on save. A password left as nullopt keeps
    // the stored hash (a change whose password boxes were not touched).
    struct Edit {
        QString userName;
        std::optional<QString> password;
        std::optional<QString> repeated;
        QString status = Usable;
        QString description;
        QStringList rights;
    };

    struct Saved {
        qint64 id = -1;
        QString userName;
        bool logFailed = false;
    };

    // changedBy is the operator at work: his name goes into the log lines
    // and he may not delete himself.
    Operators(DataStore& store, const CurrentOperator& changedBy) : m_store(store), m_by(changedBy) {}

    // Every operator, in table order.
    Result<QList<Entry>> list();
    Result<Data> load(qint64 id);

    // Adds an operator after the checks (name, passwords, duplicate).
    Result<Saved> add(const Edit& edit);
    // Changes one; refuses to leave no usable administrator.
    Result<Saved> change(qint64 id, const Edit& edit);
    // The checks of a deletion without deleting: the window asks its
    // question only when these pass. remove() checks them again.
    Status checkRemove(qint64 id);
    Result<Saved> remove(qint64 id);

    // The current operator's own password. The session goes on; the stored
    // hash changes.
    Result<Saved> changeOwnPassword(const QString& password, const QString& repeated);

    // The ticked names of rights in the order the window offers them.
    static QStringList ordered(const QStringList& names);

    // What a login reads. The user names of the operators who may log in
    // ('可用'), in table order; a failed read fails (its detail the cause).
    [[nodiscard]] static Result<QStringList> usableNames(DataStore& store);
    // One operator's stored hash, rights and status; nullopt when there is
    // no operator of that name.
    struct Credentials {
        QString passwordHash;
        QString rightsText;
        QString status;
    };
    [[nodiscard]] static Result<std::optional<Credentials>> credentials(DataStore& store, const QString& userName);

private:
    struct Row {
        QString userName;
        QString status;
        QString rightsText;
    };
    std::optional<Row> row(qint64 id, bool* failed);
    // Usable administrators other than the operator of excludedId.
    Result<int> otherAdministrators(qint64 excludedId);
    Status checkName(const QString& name, qint64 ownId);
    bool writeLog(const QString& content);

    DataStore& m_store;
    const CurrentOperator& m_by;
};
