#pragma once

#include "platform/FolderTreeCopy.h"
#include "platform/ui/LongRunWindow.h"

class QProgressBar;

// The window "进度复制…" of a folder-tree copy: 进度条1 follows the file
// being copied, 进度条2 the whole run; the status texts take the place of
// the caption. It has no button: closing it while the copy runs asks
// "正在复制文件中，是否强制关闭？", and "是" stops the copy after its
// current chunk. Work that reports to a TreeCopyProgress takes the window
// between begin() and end() (backup and restore do).
class FolderCopyWindow : public LongRunWindow, public TreeCopyProgress {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("进度复制…");
    static inline const QString CloseQuestion = QStringLiteral("正在复制文件中，是否强制关闭？");

    explicit FolderCopyWindow(QWidget* parent = nullptr);

    QProgressBar* fileBar() const { return progressBar(); }
    QProgressBar* totalBar() const { return m_total; }

    // Copies source into target with the window shown; its last status
    // stays in the caption.
    Result<FolderTreeCopy::Outcome> copyFolder(const QString& source, const QString& target);

    // TreeCopyProgress
    void setStatus(const QString& text) override;
    void setFile(qint64 done, qint64 size) override;
    void setTotal(qint64 done, qint64 total) override;
    bool cancelled() const override { return LongRunWindow::cancelled(); }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The close question; true when the copy is to stop.
    bool askToStop();

    QProgressBar* m_total = nullptr;
};
