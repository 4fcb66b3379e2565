#pragma once

#include <QDialog>
#include <atomic>
#include <memory>

class LongRun;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of a batch run over files (573 × 188): the status text
// "标签1", the bar "进度条1", the check box "选择框1" and the buttons
// "确定" (starts the run) and "取消" (stops a run after its current file,
// or closes the window). While a run goes on the window is modal over its
// parent and registered with LongRuns, so the exit asks to stop it first.
class BatchRunWindow : public QDialog {
    Q_OBJECT
public:
    struct Layout {
        QString title, status, check;
        int checkWidth = 136;
        bool checked = false;
        int okLeft = 179, cancelLeft = 307;
    };
    BatchRunWindow(const Layout& layout, QWidget* parent = nullptr);
    ~BatchRunWindow() override;

    QLabel* statusLabel() const { return m_status; }
    QProgressBar* bar() const { return m_bar; }
    QCheckBox* checkBox() const { return m_check; }
    QPushButton* okButton() const { return m_ok; }
    bool isRunning() const { return m_run != nullptr; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Starts the run ("确定").
    virtual void start() = 0;
    // Registers the run and locks the units; endRun() undoes it.
    void beginRun();
    void endRun();
    // Asked for by "取消", the close box, Esc, or the exit.
    bool stopAsked() const;
    // Called when "取消" (or the close box, or Esc) asks a run to stop.
    virtual void stopping() {}
    void setBarRange(qint64 maximum);
    void setBarValue(qint64 value);

private:
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QCheckBox* m_check = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::unique_ptr<LongRun> m_run;
    bool m_stop = false;
    double m_scale = 1.0;
};
