#pragma once

#include <QDateTime>
#include <QString>

// The source of "now" for stored times, log times and the clock line.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // Time text as stored: yyyy-MM-dd hh:mm:ss, local time.
    QString nowText() const { return timeText(now()); }
    static QString timeText(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that stands still at a set time (tests); advance() moves it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2026, 1, 1), QTime(12, 0))) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

// The clock in use (the system clock unless replaced).
Clock& appClock();
// Installs c (not owned; null restores the system clock); returns the previous one.
Clock* setAppClock(Clock* c);
