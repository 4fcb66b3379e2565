#include "common/TestHome.h"

#include "platform/ProgramHome.h"
#include "store/HomeLayout.h"
#include "store/Schema.h"

#include <QDir>
#include <QTest>
#include <QWidget>

TestHome::TestHome()
{
    const Status laidOut =
        m_dir.isValid() ? HomeLayout::create(m_dir.path()) : Status::fail(QStringLiteral("no temporary folder"));
    m_valid = laidOut.ok();
    if (!m_valid)
        qWarning() << "TestHome:" << laidOut.message();
    m_context = std::make_unique<AppContext>(m_dir.path());
    m_context->archive = ArchiveLocation::file(m_context->home.databasePath(m_context->config));
    m_context->currentOperator = CurrentOperator(QStringLiteral("Admin"), Schema::allRightsText());
    if (m_valid)
        m_valid = m_store.open(m_context->archive);
}

void TestHome::loginAs(const QString& user, const QString& rightsText)
{
    m_context->currentOperator = CurrentOperator(user, rightsText);
}

QString TestHome::grab(QWidget* w, const QString& name)
{
    QString dir = qEnvironmentVariable("KV_TEST_OUTPUT");
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/korvane-test-output");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    w->grab().save(path);
    return path;
}

QVariant valueOf(DataStore& store, const QString& sql, const QVariantList& params)
{
    const Result<std::optional<QVariant>> read = store.scalar(sql, params);
    if (!read) {
        qWarning("read failed: %s: %s", qPrintable(sql), qPrintable(read.detail()));
        return {};
    }
    return read->value_or(QVariant());
}

void kvCheck(bool ok, const char* step, const char* file, int line)
{
    if (!ok)
        QTest::qFail(step, file, line);
}
