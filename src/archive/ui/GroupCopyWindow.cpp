#include "archive/ui/GroupCopyWindow.h"
#include "platform/ui/OuterSize.h"

#include "archive/GroupCopy.h"
#include "archive/StoreFolder.h"
#include "archive/ui/GroupChooserDialog.h"
#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

GroupCopyWindow::GroupCopyWindow(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                                 const CurrentOperator& op, const QString& sourcePath, QWidget* parent)
    : JobDialog(parent), m_storeFolder(storeFolder), m_protectedGroups(protectedGroups), m_operator(op), m_store(store),
      m_source(sourcePath)
{
    setObjectName(QStringLiteral("复制分组文件"));
    setWindowTitle(QStringLiteral("复制分组文件"));
    OuterSize::fix(this, {573, 188});

    auto* sourceLabel = new QLabel(QStringLiteral("源分组:"), this);
    sourceLabel->setObjectName(QStringLiteral("标签1"));
    sourceLabel->setGeometry(8, 16, 56, 20);
    m_sourceBox = new QLineEdit(sourcePath, this);
    m_sourceBox->setObjectName(QStringLiteral("编辑框1"));
    m_sourceBox->setGeometry(64, 16, 192, 20);
    m_sourceBox->setReadOnly(true);

    auto* targetLabel = new QLabel(QStringLiteral("目标分组:"), this);
    targetLabel->setObjectName(QStringLiteral("标签2"));
    targetLabel->setGeometry(264, 16, 64, 20);
    m_targetBox = new QLineEdit(this);
    m_targetBox->setObjectName(QStringLiteral("编辑框2"));
    m_targetBox->setGeometry(328, 16, 192, 20);
    m_targetBox->setReadOnly(true);

    m_choose = new QPushButton(QStringLiteral("…"), this);
    m_choose->setObjectName(QStringLiteral("选择分组超级按钮"));
    m_choose->setGeometry(520, 16, 40, 24);
    m_choose->setToolTip(QStringLiteral("选择目标分组"));

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 56, 552, 24);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    setJobBar(m_bar);

    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("确定按钮"));
    m_ok->setGeometry(187, 104, 80, 24);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(315, 104, 80, 24);

    connect(m_choose, &QPushButton::clicked, this, &GroupCopyWindow::chooseTarget);
    connect(m_ok, &QPushButton::clicked, this, &GroupCopyWindow::start);
    connect(cancel, &QPushButton::clicked, this, &GroupCopyWindow::reject);
}

void GroupCopyWindow::setTarget(const QString& path)
{
    m_targetBox->setText(path);
}

QString GroupCopyWindow::target() const
{
    return m_targetBox->text();
}

void GroupCopyWindow::chooseTarget()
{
    if (isRunning())
        return;
    const std::optional<QString> chosen =
        GroupChooserDialog::choose(m_store, m_protectedGroups, this, QStringLiteral("双击选择目标分组"));
    if (chosen)
        setTarget(*chosen);
}

void GroupCopyWindow::start()
{
    if (isRunning())
        return;
    const QString targetPath = target();
    if (targetPath.isEmpty()) {
        prompter().message(GroupCopy::NoTarget, {}, Prompter::Icon::Warning);
        return;
    }
    if (!prompter().question(GroupCopy::confirmText(m_source, targetPath)))
        return;

    m_ok->setEnabled(false);
    m_choose->setEnabled(false);
    m_bar->setValue(0);
    m_job = std::make_unique<JobOf<GroupCopy::Outcome>>(
        windowTitle(),
        GroupCopy::job(m_store.location(), m_storeFolder, m_protectedGroups, m_operator, m_source, targetPath));
    follow(*m_job);
    connect(m_job.get(), &Job::finished, this, &GroupCopyWindow::finish);
    m_job->start();
}

void GroupCopyWindow::finish()
{
    const Result<GroupCopy::Outcome>& result = m_job->result();
    GroupCopy::Outcome out;
    if (result) {
        out = result.value();
    } else {
        out.message = GroupCopy::CopyFailed;
        out.detail = result.detail();
    }
    m_copiedAny = m_copiedAny || out.copied > 0 || out.renumbered > 0;
    m_ok->setEnabled(true);
    m_choose->setEnabled(true);
    if (out.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    if (!out.message.isEmpty())
        prompter().message(out.message, {},
                           out.ok() || out.kind == GroupCopy::Outcome::Kind::Cancelled ? Prompter::Icon::Information
                                                                                       : Prompter::Icon::Critical);
    if (out.ok())
        accept();
    else if (m_job->stoppedForExit())
        // The program is about to end: the window goes with it.
        QDialog::reject();
}
