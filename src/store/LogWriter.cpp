#include "store/LogWriter.h"

#include "platform/Clock.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"

bool LogWriter::write(const QString& content)
{
    const bool ok = m_store.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"),
                                    {appClock().nowText(), m_operator.userName(), content});
    if (!ok && m_onFailure)
        m_onFailure();
    return ok;
}

Status LogWriter::rewrite(qint64 id, const QString& content)
{
    if (!m_store.execute(QStringLiteral("update rz set nr=? where id=?"), {content, id}))
        return Status::fail(QString(), QStringLiteral("rz: ") + m_store.lastError());
    return {};
}

void LogWriter::writeOrWarn(const QString& content)
{
    if (!write(content))
        qWarning("%s (not logged: %s)", qPrintable(content), qPrintable(m_store.lastError()));
}

QString LogWriter::fileDetails(const QString& number, const QString& name, const QString& type)
{
    QString s = number + QLatin1Char(' ') + name;
    if (!type.isEmpty())
        s += QLatin1Char('.') + type;
    return s;
}
