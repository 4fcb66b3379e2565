#pragma once

#include "shell/CurrentOperator.h"

#include <QHash>
#include <QString>
#include <functional>

// Routes each command id (Cmd::...) to its handler after testing the right
// it needs against the current operator. A missing right calls the denied
// callback (the window shows the permission notice) and nothing else runs.
// A command without a handler does nothing.
class CommandRouter {
public:
    enum class Outcome { Ran, Denied, NoHandler, Unknown };

    explicit CommandRouter(const CurrentOperator* op = nullptr) : m_operator(op) {}

    void setOperator(const CurrentOperator* op) { m_operator = op; }
    void setDeniedHandler(std::function<void(const QString& id)> f) { m_denied = std::move(f); }
    void setHandler(const QString& id, std::function<void()> handler);
    bool hasHandler(const QString& id) const { return m_handlers.contains(id); }

    Outcome run(const QString& id);
    bool allowed(const QString& id) const;

private:
    const CurrentOperator* m_operator;
    std::function<void(const QString&)> m_denied;
    QHash<QString, std::function<void()>> m_handlers;
};
