#include "shell/CommandRouter.h"

#include "shell/Commands.h"

void CommandRouter::setHandler(const QString& id, std::function<void()> handler)
{
    m_handlers.insert(id, std::move(handler));
}

bool CommandRouter::allowed(const QString& id) const
{
    const QString right = Cmd::rightOf(id);
    if (right.isEmpty())
        return true;
    return m_operator && m_operator->holds(right);
}

CommandRouter::Outcome CommandRouter::run(const QString& id)
{
    if (!Cmd::isKnown(id))
        return Outcome::Unknown;
    if (!allowed(id)) {
        if (m_denied)
            m_denied(id);
        return Outcome::Denied;
    }
    auto it = m_handlers.constFind(id);
    if (it == m_handlers.constEnd() || !*it)
        return Outcome::NoHandler;
    // Copy: the handler may replace itself while running.
    auto handler = *it;
    handler();
    return Outcome::Ran;
}
