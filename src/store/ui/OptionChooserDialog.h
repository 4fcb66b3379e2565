#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

class QListWidget;
class QListWidgetItem;

// The chooser "双击选择项目": the options of one spare field; a double-click
// on an option (or Enter on it) chooses it and closes the chooser.
class OptionChooserDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionChooserDialog(const QStringList& options, QWidget* parent = nullptr);

    static std::optional<QString> choose(const QStringList& options, QWidget* parent = nullptr);
    std::optional<QString> chosen() const { return m_chosen; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseItem(QListWidgetItem* item);

    QListWidget* m_list = nullptr;
    std::optional<QString> m_chosen;
};
