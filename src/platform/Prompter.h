#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Every message box, yes/no question, input box and file or folder chooser
// of the system goes through the one Prompter in use. Windows call
// prompter(); QtPrompter shows real dialogs, tests install a scripted one.
class Prompter {
public:
    enum class Icon { Information, Warning, Critical, Question };

    virtual ~Prompter() = default;

    // A message box with an OK button.
    virtual void message(const QString& text, const QString& title = {}, Icon icon = Icon::Information) = 0;
    // A yes/no question; true for yes. Enter (the default button) answers no.
    virtual bool question(const QString& text, const QString& title = {}) = 0;
    // A yes/no question whose default button is yes: for an offer that saves
    // the operator's work, where Enter should not throw it away.
    virtual bool questionYesDefault(const QString& text, const QString& title = {}) { return question(text, title); }
    // An input box; nullopt when cancelled. password hides the typed text.
    virtual std::optional<QString> input(const QString& prompt, const QString& title, const QString& initial = {},
                                         bool password = false) = 0;
    // File choosers; empty text / empty list when cancelled.
    virtual QString openFile(const QString& title, const QString& directory, const QString& filter) = 0;
    virtual QStringList openFiles(const QString& title, const QString& directory, const QString& filter) = 0;
    virtual QString saveFile(const QString& title, const QString& suggestedPath, const QString& filter) = 0;
    // Folder chooser; empty text when cancelled.
    virtual QString chooseFolder(const QString& prompt, const QString& directory = {}) = 0;
};

// The prompter in use. Never null once the program (or a test) installed one.
Prompter& prompter();
// Installs p (not owned); returns the previous one.
Prompter* setPrompter(Prompter* p);
