#pragma once

#include <QString>

#include <optional>
#include <utility>

// The one way the logic reports how a piece of work went: the value on
// success, and for the window the message it shows (the system's own text,
// on failure and, where there is one, on success) with the technical detail
// behind a failure (the driver's or the file system's words). The logic
// never shows anything; a window decides how to show it, a test checks it.
//
//   Result<qint64> r = records.add(...);
//   if (!r) prompter.warn(r.message(), r.detail());
//   else    use(r.value());
//
// A failure is never silently dropped: [[nodiscard]] makes the compiler say
// so when a caller ignores one.
struct Failure {
    QString message;         // what the window shows
    QString detail;          // the technical cause, for the log and the curious
    bool cancelled = false;  // the operator stopped the work; not an error
};

template <typename T = void> class [[nodiscard]] Result {
public:
    // Success carrying a value (and optionally the message the window shows).
    Result(T value, QString message = {}) : m_value(std::move(value)), m_message(std::move(message)) {}
    // Failure.
    Result(Failure failure)
        : m_message(std::move(failure.message)), m_detail(std::move(failure.detail)), m_cancelled(failure.cancelled)
    {
    }

    static Result fail(QString message, QString detail = {})
    {
        return Result(Failure{std::move(message), std::move(detail), false});
    }
    static Result cancel(QString message = {}) { return Result(Failure{std::move(message), {}, true}); }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    bool cancelled() const { return m_cancelled; }

    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T valueOr(T fallback) const { return m_value ? *m_value : std::move(fallback); }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }
    const T& operator*() const { return *m_value; }

    const QString& message() const { return m_message; }
    const QString& detail() const { return m_detail; }
    // The failure, to hand on to a caller of another result type.
    Failure failure() const { return Failure{m_message, m_detail, m_cancelled}; }

private:
    std::optional<T> m_value;
    QString m_message;
    QString m_detail;
    bool m_cancelled = false;
};

template <> class [[nodiscard]] Result<void> {
public:
    // Success (optionally with the message the window shows).
    Result() = default;
    static Result success(QString message = {})
    {
        Result r;
        r.m_message = std::move(message);
        return r;
    }
    Result(Failure failure)
        : m_ok(false), m_message(std::move(failure.message)), m_detail(std::move(failure.detail)),
          m_cancelled(failure.cancelled)
    {
    }

    static Result fail(QString message, QString detail = {})
    {
        return Result(Failure{std::move(message), std::move(detail), false});
    }
    static Result cancel(QString message = {}) { return Result(Failure{std::move(message), {}, true}); }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    bool cancelled() const { return m_cancelled; }
    const QString& message() const { return m_message; }
    const QString& detail() const { return m_detail; }
    Failure failure() const { return Failure{m_message, m_detail, m_cancelled}; }

private:
    bool m_ok = true;
    QString m_message;
    QString m_detail;
    bool m_cancelled = false;
};

using Status = Result<void>;
