#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

// The chooser "双击选择项目": the options of one spare field; a double-click
// on an option chooses it.
class OptionChooserDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionChooserDialog(const QStringList& options, QWidget* parent = nullptr);

    static std::optional<QString> choose(const QStringList& options, QWidget* parent = nullptr);
    std::optional<QString> chosen() const { return m_chosen; }

private:
    std::optional<QString> m_chosen;
};
