#pragma once

#include <QDialog>
#include <memory>

class DataStore;

namespace Ui {
class FieldOptionsWindow;
}

// Window "字段选项设置": the pick lists of the spare fields. Changes live in
// the window until "保存"; closing drops what was not saved.
class FieldOptionsWindow : public QDialog {
    Q_OBJECT
public:
    static inline const QString NoFieldMessage = QStringLiteral("您没有选择字段项目!");
    static inline const QString EmptyListMessage = QStringLiteral("没有内容可以保存!");
    static inline const QString SavedMessage = QStringLiteral("信息已保存!");
    static inline const QString SavedTitle = QStringLiteral("成功");
    static inline const QString SaveFailedMessage = QStringLiteral("保存失败!");

    explicit FieldOptionsWindow(DataStore& store, QWidget* parent = nullptr);
    ~FieldOptionsWindow() override;

    // The xx.bh of the chosen field; 0 when none.
    int chosenField() const;

signals:
    // The spare fields' titles were renamed (through "自定义项名称").
    void titlesChanged();

private:
    void fillFields();
    void showOptions();
    void insertOption();
    void deleteOption();
    void saveOptions();
    void renameFields();

    std::unique_ptr<Ui::FieldOptionsWindow> m_ui;
    DataStore& m_store;
};
