#pragma once

#include "platform/Prompter.h"

#include <memory>

class QInputDialog;
class QMessageBox;
class QWidget;

// Shows real Qt dialogs, parented to the active window. Every button reads
// in Chinese: "确定", "取消", "是(Y)", "否(N)" (Y and N answer a question).
class QtPrompter final : public Prompter {
public:
    static inline const QString OkText = QStringLiteral("确定");
    static inline const QString CancelText = QStringLiteral("取消");
    static inline const QString YesText = QStringLiteral("是(&Y)");
    static inline const QString NoText = QStringLiteral("否(&N)");

    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    bool questionYesDefault(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& initial,
                                 bool password) override;
    QString openFile(const QString& title, const QString& directory, const QString& filter) override;
    QStringList openFiles(const QString& title, const QString& directory, const QString& filter) override;
    QString saveFile(const QString& title, const QString& suggestedPath, const QString& filter) override;
    QString chooseFolder(const QString& prompt, const QString& directory) override;

    // The boxes as shown, before they run (tests look at them).
    static std::unique_ptr<QMessageBox> messageBox(const QString& text, const QString& title, Icon icon,
                                                   QWidget* parent = nullptr);
    // "否" is the default button, "是" with yesDefault.
    static std::unique_ptr<QMessageBox> questionBox(const QString& text, const QString& title,
                                                    QWidget* parent = nullptr, bool yesDefault = false);
    static std::unique_ptr<QInputDialog> inputBox(const QString& prompt, const QString& title, const QString& initial,
                                                  bool password, QWidget* parent = nullptr);
};
