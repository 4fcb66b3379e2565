#pragma once

#include "listing/SavedConditions.h"

#include <QDialog>
#include <optional>

class DataStore;
class QLineEdit;
class QRadioButton;
class QTableWidget;

// Window "保存条件": the name of the condition list and who may use it.
// Stores the rows as a new condition, or rewrites the condition being
// modified (its creator only).
class SaveConditionWindow : public QDialog {
    Q_OBJECT
public:
    SaveConditionWindow(DataStore& store, const QString& userName, const QList<SearchConditions::Condition>& rows,
                        const std::optional<SavedConditions::Entry>& modifying, QWidget* parent = nullptr);

public slots:
    void confirm();

private:
    DataStore& m_store;
    QString m_userName;
    QList<SearchConditions::Condition> m_rows;
    std::optional<SavedConditions::Entry> m_modifying;
    QLineEdit* m_name = nullptr;
    QRadioButton* m_own = nullptr;
    QRadioButton* m_public = nullptr;
};

// Window "选择条件": the operator's own and the public saved conditions, to
// open, delete or modify.
class ChooseConditionWindow : public QDialog {
    Q_OBJECT
public:
    // rows: the search window's conditions, which "修改" stores.
    ChooseConditionWindow(DataStore& store, const QString& userName, const QList<SearchConditions::Condition>& rows,
                          QWidget* parent = nullptr);

    QList<SavedConditions::Entry> entries() const { return m_entries; }

public slots:
    void openSelected();
    void deleteSelected();
    void modifySelected();
    void reload();

signals:
    // The rows of the opened condition, for the search window.
    void conditionOpened(const QList<SearchConditions::Condition>& rows);

private:
    QList<int> selectedRows() const;

    DataStore& m_store;
    QString m_userName;
    QList<SearchConditions::Condition> m_rows;
    QList<SavedConditions::Entry> m_entries;
    QTableWidget* m_list = nullptr;
};
