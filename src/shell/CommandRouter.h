#pragma once

#include "store/CurrentOperator.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

// Routes each command id (Cmd::...) to its handler after testing the right
// it needs against the current operator. A missing right calls the denied
// callback (the window shows the permission notice) and nothing else runs.
// A known command without a handler does nothing. The main window's command
// table (shell/ui/CommandTable) adds every command with its right and handler.
class CommandRouter {
public:
    enum class Outcome { Ran, Denied, NoHandler, Unknown };

    explicit CommandRouter(const CurrentOperator* op = nullptr) : m_operator(op) {}

    void setOperator(const CurrentOperator* op) { m_operator = op; }
    void setDeniedHandler(std::function<void(const QString& id)> f) { m_denied = std::move(f); }

    // Makes a command known with the right it needs (empty: none) and its
    // handler (empty: the command does nothing yet).
    void add(const QString& id, const QString& right, std::function<void()> handler = {});
    // Replaces the handler of a command; an unknown id becomes known with no right.
    void setHandler(const QString& id, std::function<void()> handler);
    bool hasHandler(const QString& id) const;
    bool isKnown(const QString& id) const { return m_commands.contains(id); }
    // The right a command needs; empty when none (or unknown).
    QString rightOf(const QString& id) const;
    // The known commands in the order they were added.
    QStringList ids() const { return m_order; }

    Outcome run(const QString& id);
    bool allowed(const QString& id) const;

private:
    struct Command {
        QString right;
        std::function<void()> handler;
    };

    const CurrentOperator* m_operator;
    std::function<void(const QString&)> m_denied;
    QHash<QString, Command> m_commands;
    QStringList m_order;
};
