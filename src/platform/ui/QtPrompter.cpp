#include "platform/ui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
QWidget* parentWidget()
{
    return QApplication::activeWindow();
}

QString titleOr(const QString& title)
{
    return title.isEmpty() ? QStringLiteral("Korvane文件管理系统") : title;
}
}

void QtPrompter::message(const QString& text, const QString& title, Icon icon)
{
    QMessageBox::Icon i = QMessageBox::Information;
    switch (icon) {
    case Icon::Information: i = QMessageBox::Information; break;
    case Icon::Warning: i = QMessageBox::Warning; break;
    case Icon::Critical: i = QMessageBox::Critical; break;
    case Icon::Question: i = QMessageBox::Question; break;
    }
    QMessageBox box(i, titleOr(title), text, QMessageBox::Ok, parentWidget());
    box.exec();
}

bool QtPrompter::question(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::Yes | QMessageBox::No, parentWidget());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::input(const QString& prompt, const QString& title,
                                         const QString& initial, bool password)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parentWidget(), titleOr(title), prompt,
                                               password ? QLineEdit::Password : QLineEdit::Normal,
                                               initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtPrompter::openFile(const QString& title, const QString& directory, const QString& filter)
{
    return QFileDialog::getOpenFileName(parentWidget(), title, directory, filter);
}

QStringList QtPrompter::openFiles(const QString& title, const QString& directory, const QString& filter)
{
    return QFileDialog::getOpenFileNames(parentWidget(), title, directory, filter);
}

QString QtPrompter::saveFile(const QString& title, const QString& suggestedPath, const QString& filter)
{
    return QFileDialog::getSaveFileName(parentWidget(), title, suggestedPath, filter);
}

QString QtPrompter::chooseFolder(const QString& prompt, const QString& directory)
{
    return QFileDialog::getExistingDirectory(parentWidget(), prompt, directory);
}
