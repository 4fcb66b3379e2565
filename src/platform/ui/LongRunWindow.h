#pragma once

#include "platform/Progress.h"

#include <QDialog>
#include <functional>
#include <memory>

class LongRun;
class QProgressBar;
class QPushButton;

// The window of a long run: a progress bar and a "取消" button. While the
// run goes on the window is modal over the window it belongs to, so the
// rest of that window takes no input and starts no other command; the run's
// items are handled one by one and the window's events are served between
// them (setValue() and cancelled() serve them). "取消", the close box and
// Esc stop the run after its current item. The run is registered with
// LongRuns while it goes on, so the program's exit asks to stop it first and
// waits for it.
//
//   LongRunWindow w(QStringLiteral("正在删除文件..."), window());
//   const LongRunWindow::Ran ran = w.runItems(ids.size(), [&](qint64 i) { remove(ids.at(i)); });
//
// Logic that reports to a Progress takes the window itself between begin()
// and end(). A window with units of its own derives from it, resizes itself
// and places the bar and the button where its layout wants them.
class LongRunWindow : public QDialog, public Progress {
    Q_OBJECT
public:
    // Design size 573 × 67: the bar at 8, 8, 552 × 24, "取消" below it.
    explicit LongRunWindow(const QString& title, QWidget* parent = nullptr);
    ~LongRunWindow() override;

    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // Shows the window modal over its parent and registers the run.
    void begin();
    // Hides the window and ends the run's registration.
    void end();
    bool isRunning() const { return m_run != nullptr; }

    struct Ran {
        qint64 done = 0;         // items handled
        bool cancelled = false;  // stopped before the last item
    };
    // Handles item(0) … item(count - 1) between begin() and end(), moving
    // the bar on after each and stopping between items when cancelled.
    Ran runItems(qint64 count, const std::function<void(qint64 index)>& item);

    // Progress: the bar, and the stop asked for by "取消" or by the exit.
    void setRange(qint64 minimum, qint64 maximum) override;
    void setValue(qint64 value) override;
    bool cancelled() const override;

    // What "取消" does: the run stops after its current item.
    void requestCancel();

    // Esc: cancels a run under way, else closes the window.
    void reject() override;

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static void serveEvents();

    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::unique_ptr<LongRun> m_run;
    bool m_cancel = false;
    double m_scale = 1.0;
};
