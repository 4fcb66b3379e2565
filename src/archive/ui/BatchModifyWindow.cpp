#include "archive/ui/BatchModifyWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

BatchModifyWindow::BatchModifyWindow(DataStore& store, const CurrentOperator& op, ProtectedGroups& open,
                                     const QList<qint64>& selected, const QList<qint64>& all, QWidget* parent)
    : QDialog(parent), m_store(store), m_operator(op), m_open(open), m_selected(selected), m_all(all)
{
    setObjectName(BatchModify::WindowTitle);
    setWindowTitle(BatchModify::WindowTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {348, 208});

    auto label = [this](const QString& text, const QRect& at) {
        auto* l = new QLabel(text, this);
        l->setGeometry(at);
        return l;
    };
    label(QStringLiteral("修改范围："), {24, 16, 80, 24});
    label(QStringLiteral("选择字段："), {24, 56, 80, 20});
    label(QStringLiteral("修改值："), {24, 88, 80, 20});

    m_scopeSelected = new QRadioButton(QStringLiteral("选中记录(%1)").arg(selected.size()), this);
    m_scopeSelected->setObjectName(QStringLiteral("单选框1"));
    m_scopeSelected->setGeometry(104, 16, 112, 24);
    m_scopeSelected->setChecked(true);
    m_scopeAll = new QRadioButton(QStringLiteral("全部记录"), this);
    m_scopeAll->setObjectName(QStringLiteral("单选框2"));
    m_scopeAll->setGeometry(216, 16, 72, 24);

    m_field = new QComboBox(this);
    m_field->setObjectName(QStringLiteral("组合框1"));
    m_field->setGeometry(104, 56, 184, 20);
    m_value = new QComboBox(this);
    m_value->setObjectName(QStringLiteral("修改值组合框"));
    m_value->setGeometry(104, 88, 184, 20);
    m_value->setEditable(true);
    m_value->setInsertPolicy(QComboBox::NoInsert);
    m_date = new QDateEdit(QDate::currentDate(), this);
    m_date->setObjectName(QStringLiteral("日期框1"));
    m_date->setGeometry(104, 88, 184, 20);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_date->hide();

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(0, 168, 344, 16);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("确定按钮"));
    m_ok->setGeometry(112, 128, 56, 24);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(192, 128, 56, 24);
    cancel->setAutoDefault(false);

    const Result<QList<BatchModify::Field>> fields = BatchModify::fields(m_store);
    if (fields)
        m_fields = fields.value();
    for (const BatchModify::Field& f : std::as_const(m_fields))
        m_field->addItem(f.title, f.column);
    connect(m_field, &QComboBox::currentIndexChanged, this, &BatchModifyWindow::fieldChosen);
    fieldChosen(m_field->currentIndex());
    connect(m_ok, &QPushButton::clicked, this, &BatchModifyWindow::start);
    connect(cancel, &QPushButton::clicked, this, &BatchModifyWindow::reject);
}

BatchModifyWindow::~BatchModifyWindow() = default;

void BatchModifyWindow::fieldChosen(int index)
{
    m_value->clear();
    if (index < 0 || index >= m_fields.size())
        return;
    const BatchModify::Field& f = m_fields.at(index);
    m_date->setVisible(f.isDate());
    m_value->setVisible(!f.isDate());
    if (!f.isDate())
        m_value->addItems(BatchModify::choices(m_store, f, m_open).valueOr({}));
    m_value->setEditText(QString());
}

void BatchModifyWindow::start()
{
    if (m_job && m_job->isRunning())
        return;
    const QList<qint64> ids = m_scopeSelected->isChecked() ? m_selected : m_all;
    if (ids.isEmpty()) {
        prompter().message(BatchModify::NothingSelected, {}, Prompter::Icon::Warning);
        return;
    }
    const int index = m_field->currentIndex();
    if (index < 0 || index >= m_fields.size())
        return;
    const BatchModify::Field field = m_fields.at(index);
    const QString value =
        field.isDate() ? m_date->date().toString(QStringLiteral("yyyy-MM-dd")) : m_value->currentText();
    if (!prompter().question(BatchModify::Confirm))
        return;

    m_ok->setEnabled(false);
    m_job = std::make_unique<JobOf<BatchModify::Changed>>(
        windowTitle(), BatchModify::job(m_store.location(), m_operator, m_open, ids, field, value));
    connect(m_job.get(), &Job::rangeChanged, this,
            [this](qint64 minimum, qint64 maximum) { m_bar->setRange(int(minimum), int(maximum)); });
    connect(m_job.get(), &Job::valueChanged, this, [this](qint64 done) { m_bar->setValue(int(done)); });
    connect(m_job.get(), &Job::finished, this, &BatchModifyWindow::finish);
    m_job->start();
}

void BatchModifyWindow::finish()
{
    m_ok->setEnabled(true);
    const Result<BatchModify::Changed>& changed = m_job->result();
    if (!changed) {
        prompter().message(changed.message(), {},
                           changed.cancelled() ? Prompter::Icon::Information : Prompter::Icon::Critical);
        m_bar->setValue(0);
        return;
    }
    m_changedAny = changed->count > 0;
    if (changed->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(changed.message());
    prompter().message(BatchModify::AllDone);
    accept();
}

void BatchModifyWindow::reject()
{
    if (m_job && m_job->isRunning()) {
        m_job->cancel();
        return;
    }
    QDialog::reject();
}
