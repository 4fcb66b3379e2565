#include "platform/LongRuns.h"

LongRuns& LongRuns::instance()
{
    static LongRuns runs;
    return runs;
}

QString LongRuns::title() const
{
    return m_runs.isEmpty() ? QString() : m_runs.last()->title();
}

void LongRuns::stopAll()
{
    for (LongRun* r : std::as_const(m_runs))
        r->requestStop();
}

QString LongRuns::stopQuestion(const QString& title)
{
    QString name = title.trimmed();
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return QStringLiteral("“%1”尚未完成! 是否停止该操作并退出本系统?").arg(name);
}

void LongRuns::add(LongRun* run)
{
    m_runs.append(run);
}

void LongRuns::remove(LongRun* run)
{
    m_runs.removeOne(run);
    if (m_runs.isEmpty())
        emit allEnded();
}

LongRun::LongRun(QString title, std::function<void()> onStop) : m_title(std::move(title)), m_onStop(std::move(onStop))
{
    LongRuns::instance().add(this);
}

LongRun::~LongRun()
{
    LongRuns::instance().remove(this);
}
