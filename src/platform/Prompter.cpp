#include "platform/Prompter.h"

#include <QDebug>

namespace {

// Used only until a real prompter is installed: records to the log and
// answers every question with no / cancel, so nothing is changed blindly.
class SilentPrompter final : public Prompter {
public:
    void message(const QString& text, const QString& title, Icon) override
    {
        qWarning().noquote() << "message:" << title << text;
    }
    bool question(const QString& text, const QString& title) override
    {
        qWarning().noquote() << "question (answered no):" << title << text;
        return false;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&, bool) override { return std::nullopt; }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

SilentPrompter g_silent;
Prompter* g_current = &g_silent;
}

Prompter& prompter()
{
    return *g_current;
}

Prompter* setPrompter(Prompter* p)
{
    Prompter* old = g_current;
    g_current = p ? p : &g_silent;
    return old;
}
