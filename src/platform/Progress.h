#pragma once

#include <QtGlobal>

// What a long run reports to: its range and position, and whether the
// operator asked it to stop. The window showing the run implements it (and
// serves its events between items); tests use a recording one.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void setRange(qint64 minimum, qint64 maximum) = 0;
    virtual void setValue(qint64 value) = 0;
    virtual bool cancelled() const = 0;
};

// A Progress that shows nothing and is never cancelled.
class NoProgress final : public Progress {
public:
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override {}
    bool cancelled() const override { return false; }
};
