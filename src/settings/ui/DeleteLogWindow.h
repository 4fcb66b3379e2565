#pragma once

#include <QDate>
#include <QDialog>

class CurrentOperator;
class DataStore;
class QDateEdit;

// Window "删除日志": removes the log lines of a range of days, after its
// question; the deletion writes a line of its own.
class DeleteLogWindow : public QDialog {
    Q_OBJECT
public:
    DeleteLogWindow(DataStore& store, const CurrentOperator& op, const QDate& first, const QDate& last,
                    QWidget* parent = nullptr);

    QDateEdit* firstBox() const { return m_first; }
    QDateEdit* lastBox() const { return m_last; }

public slots:
    // "确定": the question, then the deletion and its message.
    void confirm();

signals:
    // Lines were deleted (the viewer reads its lines again).
    void deleted(qint64 lines);

private:
    DataStore& m_store;
    const CurrentOperator& m_operator;
    QDateEdit* m_first = nullptr;
    QDateEdit* m_last = nullptr;
};
