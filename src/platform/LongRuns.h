#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class LongRun;

// The long runs under way in the program (a deletion of many records, a
// group copy, a batch run). Whoever ends the program asks here first: a run
// is stopped between two of its items, never in the middle of one, so the
// exit asks the runs to stop and waits until allEnded() before it closes
// the connection.
class LongRuns : public QObject {
    Q_OBJECT
public:
    static LongRuns& instance();

    bool underWay() const { return !m_runs.isEmpty(); }
    // The title of the innermost run; empty when none is under way.
    QString title() const;
    // Asks every run under way to stop after its current item.
    void stopAll();

    // The question the exit asks while a run is under way.
    static QString stopQuestion(const QString& title);

signals:
    // The last run under way has ended.
    void allEnded();

private:
    friend class LongRun;
    LongRuns() = default;
    void add(LongRun* run);
    void remove(LongRun* run);

    QList<LongRun*> m_runs;
};

// One long run, registered with LongRuns for as long as this object lives.
// The run asks stopRequested() between its items; a run on a worker thread
// hears the stop through onStop instead.
class LongRun {
public:
    explicit LongRun(QString title, std::function<void()> onStop = {});
    ~LongRun();
    LongRun(const LongRun&) = delete;
    LongRun& operator=(const LongRun&) = delete;

    const QString& title() const { return m_title; }
    void requestStop()
    {
        m_stop = true;
        if (m_onStop)
            m_onStop();
    }
    bool stopRequested() const { return m_stop; }

private:
    QString m_title;
    std::function<void()> m_onStop;
    bool m_stop = false;
};
