#include "shell/CommandRouter.h"

void CommandRouter::add(const QString& id, const QString& right, std::function<void()> handler)
{
    if (!m_commands.contains(id))
        m_order.append(id);
    m_commands.insert(id, Command{right, std::move(handler)});
}

void CommandRouter::setHandler(const QString& id, std::function<void()> handler)
{
    auto it = m_commands.find(id);
    if (it == m_commands.end()) {
        add(id, {}, std::move(handler));
        return;
    }
    it->handler = std::move(handler);
}

bool CommandRouter::hasHandler(const QString& id) const
{
    auto it = m_commands.constFind(id);
    return it != m_commands.constEnd() && bool(it->handler);
}

QString CommandRouter::rightOf(const QString& id) const
{
    return m_commands.value(id).right;
}

bool CommandRouter::allowed(const QString& id) const
{
    const QString right = rightOf(id);
    if (right.isEmpty())
        return true;
    return m_operator && m_operator->holds(right);
}

CommandRouter::Outcome CommandRouter::run(const QString& id)
{
    if (!isKnown(id))
        return Outcome::Unknown;
    if (!allowed(id)) {
        if (m_denied)
            m_denied(id);
        return Outcome::Denied;
    }
    auto it = m_commands.constFind(id);
    if (!it->handler)
        return Outcome::NoHandler;
    // Copy: the handler may replace itself while running.
    auto handler = it->handler;
    handler();
    return Outcome::Ran;
}
