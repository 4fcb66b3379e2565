#include "common/ScriptedPrompter.h"

#include <QTest>

ScriptedPrompter::ScriptedPrompter()
{
    m_previous = setPrompter(this);
}

ScriptedPrompter::~ScriptedPrompter()
{
    setPrompter(m_previous);
}

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const Shown& s : m_shown)
        out << s.text;
    return out;
}

QStringList ScriptedPrompter::messages() const
{
    QStringList out;
    for (const Shown& s : m_shown)
        if (s.kind == Kind::Message)
            out << s.text;
    return out;
}

QVariant ScriptedPrompter::take(Kind kind, const QString& title, const QString& text)
{
    m_shown.append({kind, title, text});
    if (m_answers.isEmpty()) {
        ++m_unexpected;
        QTest::qFail(qPrintable(QStringLiteral("unexpected prompt: [%1] %2").arg(title, text)), __FILE__, __LINE__);
        return {};
    }
    return m_answers.takeFirst();
}

void ScriptedPrompter::message(const QString& text, const QString& title, Icon icon)
{
    m_shown.append({Kind::Message, title, text, icon});
    if (m_onMessage) {
        auto f = std::move(m_onMessage);
        m_onMessage = nullptr;
        f(m_shown.last());
    }
}

bool ScriptedPrompter::question(const QString& text, const QString& title)
{
    return take(Kind::Question, title, text).toBool();
}

bool ScriptedPrompter::questionYesDefault(const QString& text, const QString& title)
{
    const QVariant answer = take(Kind::Question, title, text);
    m_shown.last().yesDefault = true;
    return answer.toBool();
}

std::optional<QString> ScriptedPrompter::input(const QString& prompt, const QString& title, const QString&, bool)
{
    const QVariant v = take(Kind::Input, title, prompt);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

QString ScriptedPrompter::openFile(const QString& title, const QString&, const QString& filter)
{
    m_lastFilter = filter;
    const QVariant v = take(Kind::OpenFile, title, QString());
    return v.isValid() ? v.toString() : QString();
}

QStringList ScriptedPrompter::openFiles(const QString& title, const QString&, const QString& filter)
{
    m_lastFilter = filter;
    const QVariant v = take(Kind::OpenFiles, title, QString());
    return v.isValid() ? v.toStringList() : QStringList();
}

QString ScriptedPrompter::saveFile(const QString& title, const QString& suggested, const QString& filter)
{
    m_lastFilter = filter;
    const QVariant v = take(Kind::SaveFile, title, suggested);
    return v.isValid() ? v.toString() : QString();
}

QString ScriptedPrompter::chooseFolder(const QString& prompt, const QString&)
{
    const QVariant v = take(Kind::Folder, QString(), prompt);
    return v.isValid() ? v.toString() : QString();
}
