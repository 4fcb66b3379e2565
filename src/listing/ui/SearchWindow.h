#pragma once

#include "archive/FilterClause.h"
#include "listing/SearchConditions.h"

#include <QDialog>

class DataStore;
class ProtectedGroups;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPushButton;

// Window "搜索": a list of conditions on the fields of wj, joined by "并且"
// or "或者", searched into the file list. The conditions stay while the
// window lives; "保存条件" and "打开条件" keep them in tj.
class SearchWindow : public QDialog {
    Q_OBJECT
public:
    SearchWindow(DataStore& store, const ProtectedGroups& openGroups, const QString& userName,
                 QWidget* parent = nullptr);

    QList<SearchConditions::Condition> conditions() const { return m_rows; }
    // Replaces the condition list (an opened saved condition).
    void setConditions(const QList<SearchConditions::Condition>& rows);

public slots:
    void addCondition();
    void deleteCondition();
    void clearConditions();
    void saveConditions();
    void openConditions();
    void search();

signals:
    // The clause of a search, for the file list.
    void searchRequested(const FilterClause& clause);

private:
    void fieldChosen(int index);
    QString typedValue() const;
    int selectedRow() const;

    DataStore& m_store;
    const ProtectedGroups& m_openGroups;
    QString m_userName;
    QList<SearchConditions::Field> m_fields;
    QList<SearchConditions::Condition> m_rows;

    QComboBox* m_field = nullptr;
    QComboBox* m_operator = nullptr;
    QLineEdit* m_text = nullptr;
    QComboBox* m_choice = nullptr;
    QDateEdit* m_date = nullptr;
    QComboBox* m_relation = nullptr;
    QListWidget* m_fieldList = nullptr;
    QListWidget* m_contentList = nullptr;
    QListWidget* m_sqlList = nullptr;
    QCheckBox* m_distinct = nullptr;
    QCheckBox* m_noProtected = nullptr;
};
