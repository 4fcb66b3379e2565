#pragma once

#include <QString>

// The operator logged in for this run: user name and rights text.
class CurrentOperator {
public:
    CurrentOperator() = default;
    CurrentOperator(QString userName, QString rightsText)
        : m_userName(std::move(userName)), m_rightsText(std::move(rightsText))
    {
    }

    QString userName() const { return m_userName; }
    QString rightsText() const { return m_rightsText; }
    bool isLoggedIn() const { return !m_userName.isEmpty(); }
    // True when right is one of the whole names of the rights text; an empty
    // right (a command that needs none) is always held.
    bool holds(const QString& right) const;

private:
    QString m_userName;
    QString m_rightsText;
};
