#pragma once

#include "platform/Progress.h"

#include <QElapsedTimer>
#include <QString>

// What a command-line run needs of its terminal: whether a stream is one,
// a secret read without echo, Ctrl-C turned into a cancel, and a progress
// bar on stderr.
namespace Terminal {

bool isTerminal(int fd);
// Reads one line from the controlling terminal without echoing it, after
// showing prompt there; nullopt-like empty + ok=false when there is none.
QString readSecret(const QString& prompt, bool* ok);

// From now on the first Ctrl-C (SIGINT, and SIGTERM) only sets the flag
// that interrupted() reads, so a long run stops between items; a second one
// ends the process as usual.
void catchInterrupt();
bool interrupted();

}  // namespace Terminal

// A bar on stderr when stderr is a terminal (nothing otherwise), redrawn at
// most ten times a second; cancelled once Ctrl-C was pressed.
class TerminalProgress final : public Progress {
public:
    explicit TerminalProgress(QString label, bool bytes = false);
    ~TerminalProgress() override;
    void setRange(qint64 minimum, qint64 maximum) override;
    void setValue(qint64 value) override;
    bool cancelled() const override;
    // Clears the bar's line (before other output goes to the terminal).
    void clear();

private:
    void draw();
    QString m_label;
    bool m_bytes = false;
    bool m_shown = false;
    bool m_drawn = false;
    qint64 m_min = 0, m_max = 0, m_value = 0;
    QElapsedTimer m_timer;
};
