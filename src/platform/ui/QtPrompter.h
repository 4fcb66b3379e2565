#pragma once

#include "platform/Prompter.h"

// Shows real Qt dialogs, parented to the active window.
class QtPrompter final : public Prompter {
public:
    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& initial, bool password) override;
    QString openFile(const QString& title, const QString& directory, const QString& filter) override;
    QStringList openFiles(const QString& title, const QString& directory, const QString& filter) override;
    QString saveFile(const QString& title, const QString& suggestedPath, const QString& filter) override;
    QString chooseFolder(const QString& prompt, const QString& directory) override;
};
