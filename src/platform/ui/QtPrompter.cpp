#include "platform/ui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
QWidget* parentWidget()
{
    return QApplication::activeWindow();
}

QString titleOr(const QString& title)
{
    return title.isEmpty() ? QStringLiteral("Korvane文件管理系统") : title;
}

// A message box sizes itself by its text alone and would cut a longer
// title ("Korv… 系统"): a spacer as wide as the title and the frame's
// buttons keeps it whole, from the first showing on.
void roomForTitle(QMessageBox* box)
{
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid)
        return;
    const int width = box->fontMetrics().horizontalAdvance(box->windowTitle()) + 120;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}
}

std::unique_ptr<QMessageBox> QtPrompter::messageBox(const QString& text, const QString& title, Icon icon,
                                                    QWidget* parent)
{
    QMessageBox::Icon i = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        i = QMessageBox::Information;
        break;
    case Icon::Warning:
        i = QMessageBox::Warning;
        break;
    case Icon::Critical:
        i = QMessageBox::Critical;
        break;
    case Icon::Question:
        i = QMessageBox::Question;
        break;
    }
    auto box = std::make_unique<QMessageBox>(i, titleOr(title), text, QMessageBox::Ok, parent);
    box->button(QMessageBox::Ok)->setText(OkText);
    roomForTitle(box.get());
    return box;
}

std::unique_ptr<QMessageBox> QtPrompter::questionBox(const QString& text, const QString& title, QWidget* parent,
                                                     bool yesDefault)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, titleOr(title), text,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->button(QMessageBox::Yes)->setText(YesText);
    box->button(QMessageBox::No)->setText(NoText);
    box->setDefaultButton(yesDefault ? QMessageBox::Yes : QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    roomForTitle(box.get());
    return box;
}

std::unique_ptr<QInputDialog> QtPrompter::inputBox(const QString& prompt, const QString& title, const QString& initial,
                                                   bool password, QWidget* parent)
{
    auto box = std::make_unique<QInputDialog>(parent);
    box->setWindowTitle(titleOr(title));
    box->setLabelText(prompt);
    box->setTextValue(initial);
    box->setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    box->setOkButtonText(OkText);
    box->setCancelButtonText(CancelText);
    return box;
}

void QtPrompter::message(const QString& text, const QString& title, Icon icon)
{
    messageBox(text, title, icon, parentWidget())->exec();
}

bool QtPrompter::question(const QString& text, const QString& title)
{
    return questionBox(text, title, parentWidget())->exec() == QMessageBox::Yes;
}

bool QtPrompter::questionYesDefault(const QString& text, const QString& title)
{
    return questionBox(text, title, parentWidget(), true)->exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::input(const QString& prompt, const QString& title, const QString& initial,
                                         bool password)
{
    auto box = inputBox(prompt, title, initial, password, parentWidget());
    if (box->exec() != QDialog::Accepted)
        return std::nullopt;
    return box->textValue();
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
