#include "settings/ui/GlobalSettingsWindow.h"

#include "archive/ContentIndexer.h"
#include "archive/Trash.h"
#include "platform/Prompter.h"
#include "platform/Job.h"
#include "platform/ui/FolderCopyWindow.h"
#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"
#include "settings/ArchiveWaste.h"
#include "settings/GlobalSettings.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

const QString DefaultPicture = QStringLiteral(":/mainwin/banner.jpg");

template <typename T> T* unit(QWidget* parent, const QString& name, const QString& text, int x, int y, int w, int h)
{
    auto* u = new T(parent);
    u->setObjectName(name);
    if constexpr (
        std::is_same_v<
            T,
            QLabel> || std::is_same_v<T, QPushButton> || std::is_same_v<T, QRadioButton> || std::is_same_v<T, QCheckBox>)
        u->setText(text);
    else if constexpr (std::is_same_v<T, QGroupBox>)
        u->setTitle(text);
    u->setGeometry(x, y, w, h);
    return u;
}

// Runs a job of the archive's care in its window (bar, item, "取消"; Esc
// and the close box stop it too) and hands back its result.
template <typename T>
Result<T> runShown(JobOf<T>& job, QWidget* parent, JobWindow::Lines lines = JobWindow::Lines::ItemAndBar)
{
    const Status ended = JobWindow(job.title(), parent, lines).run(job);
    // A job that never ran has no result of its own: how it ended is all.
    if (!job.isFinished())
        return Result<T>(ended.failure());
    return job.result();
}

}  // namespace

GlobalSettingsWindow::GlobalSettingsWindow(DataStore& store, ArchivePlace place, ArchiveHooks hooks, QWidget* parent)
    : QDialog(parent), m_store(store), m_place(std::move(place)), m_hooks(std::move(hooks))
{
    setWindowTitle(QStringLiteral("全局参数"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {589, 468});
    build();
    load();
}

void GlobalSettingsWindow::build()
{
    // 个性设置
    auto* g1 = unit<QGroupBox>(this, QStringLiteral("分组框1"), QStringLiteral("个性设置"), 16, 16, 552, 120);
    unit<QLabel>(g1, QStringLiteral("标签4"), QStringLiteral("主界面条幅："), 16, 24, 72, 24);
    m_colourRadio =
        unit<QRadioButton>(g1, QStringLiteral("背景颜色单选框"), QStringLiteral("背景颜色"), 88, 24, 72, 24);
    m_colourPicker = unit<QPushButton>(g1, QStringLiteral("背景颜色选择器"), QString(), 168, 24, 48, 20);
    unit<QLabel>(g1, QStringLiteral("标签5"), QStringLiteral("文字："), 232, 24, 40, 24);
    m_text = unit<QLineEdit>(g1, QStringLiteral("文字编辑框"), QString(), 272, 24, 264, 20);
    m_pictureRadio =
        unit<QRadioButton>(g1, QStringLiteral("背景图片单选框"), QStringLiteral("背景图片"), 88, 56, 80, 24);
    m_resolution = unit<QLabel>(g1, QStringLiteral("分辨率标签"), QStringLiteral("1024*56"), 168, 56, 64, 24);
    auto* choose =
        unit<QPushButton>(g1, QStringLiteral("选择图片超级按钮"), QStringLiteral("更换图片…"), 232, 56, 64, 24);
    auto* reset =
        unit<QPushButton>(g1, QStringLiteral("置默认图片超级按钮"), QStringLiteral("置默认图片"), 320, 56, 64, 24);
    m_preview = unit<QLabel>(g1, QStringLiteral("背景图片框"), QString(), 416, 56, 120, 24);
    m_preview->setScaledContents(true);
    m_preview->setFrameShape(QFrame::StyledPanel);
    unit<QLabel>(g1, QStringLiteral("标签7"), QStringLiteral("主界面模式："), 16, 88, 80, 24);
    auto* modes = unit<QWidget>(g1, QStringLiteral("图片框1"), QString(), 88, 88, 160, 24);
    m_mode1 = unit<QRadioButton>(modes, QStringLiteral("模式一单选框"), QStringLiteral("模式一"), 0, 0, 80, 24);
    m_mode2 = unit<QRadioButton>(modes, QStringLiteral("模式二单选框"), QStringLiteral("模式二"), 80, 0, 80, 24);
    m_noCount = unit<QCheckBox>(g1, QStringLiteral("选择框1"), QStringLiteral("不记录文件阅览次数"), 272, 88, 144, 24);
    auto* savePersonalButton =
        unit<QPushButton>(g1, QStringLiteral("个性保存按钮"), QStringLiteral("保存"), 488, 88, 48, 24);
    // The two radio pairs are apart: the background pair sits directly in
    // the group box, the mode pair in its own frame.
    auto* background = new QButtonGroup(this);
    background->addButton(m_colourRadio);
    background->addButton(m_pictureRadio);

    // 文件类型
    auto* g2 = unit<QGroupBox>(this, QStringLiteral("分组框2"), QStringLiteral("文件类型"), 16, 144, 552, 96);
    // 88 wide, not 80: seven characters of the 9-point face need 84.
    unit<QLabel>(g2, QStringLiteral("标签1"), QStringLiteral("上传文件类型："), 16, 24, 88, 24);
    m_unlimited = unit<QRadioButton>(g2, QStringLiteral("无限制单选框"), QStringLiteral("无限制"), 104, 24, 56, 24);
    m_limited = unit<QRadioButton>(g2, QStringLiteral("有限制单选框"), QStringLiteral("有限制"), 176, 24, 56, 24);
    m_types = unit<QPlainTextEdit>(g2, QStringLiteral("文件类型编辑框"), QString(), 248, 24, 288, 24);
    m_types->setPlaceholderText(QStringLiteral("doc,xls,pdf"));
    auto* sizeLabel = unit<QLabel>(g2, QStringLiteral("标签2"), QStringLiteral("存库文件尺寸<"), 16, 56, 88, 24);
    m_size = unit<QLineEdit>(g2, QStringLiteral("文件尺寸编辑框"), QString(), 104, 56, 48, 20);
    unit<QLabel>(g2, QStringLiteral("标签3"), QStringLiteral("MB"), 154, 56, 28, 24);  // wide enough for the CJK font
    auto* saveRules =
        unit<QPushButton>(g2, QStringLiteral("文件类型保存按钮"), QStringLiteral("保存"), 184, 56, 48, 24);
    sizeLabel->setToolTip(SizeHint);
    m_size->setToolTip(SizeHint);
    connect(m_unlimited, &QRadioButton::toggled, this, [this](bool on) { m_types->setEnabled(!on); });
    // How long the trash keeps what was deleted, saved as it is changed.
    unit<QLabel>(g2, QStringLiteral("回收站保留天数标签"), QStringLiteral("回收站保留天数："), 248, 56, 104, 24);
    m_trashDays = unit<QSpinBox>(g2, QStringLiteral("回收站保留天数框"), QString(), 352, 58, 56, 20);
    m_trashDays->setRange(0, Trash::MaxRetentionDays);
    m_trashDays->setKeyboardTracking(false);
    m_trashDays->setToolTip(QStringLiteral("0 表示不自动清除，只在清空回收站时删除"));
    unit<QLabel>(g2, QStringLiteral("回收站天数说明标签"), QStringLiteral("天(0为不自动清除)"), 412, 56, 124, 24);

    // 数据维护
    // Its title says what the archive's content takes, versions counted.
    auto* g3 = unit<QGroupBox>(this, QStringLiteral("分组框3"), QStringLiteral("数据维护"), 16, 248, 552, 64);
    m_maintenance = g3;
    auto* compact =
        unit<QPushButton>(g3, QStringLiteral("压缩按钮"), QStringLiteral("压缩优化数据库"), 16, 24, 104, 24);
    auto* backup = unit<QPushButton>(g3, QStringLiteral("备份按钮"), QStringLiteral("备份数据库"), 136, 24, 88, 24);
    auto* restore = unit<QPushButton>(g3, QStringLiteral("恢复按钮"), QStringLiteral("恢复数据库"), 240, 24, 88, 24);
    auto* rebuild = unit<QPushButton>(g3, QStringLiteral("重建按钮"), QStringLiteral("重建数据库"), 344, 24, 88, 24);
    auto* clear =
        unit<QPushButton>(g3, QStringLiteral("阅览量清零按钮"), QStringLiteral("阅览次数清零"), 448, 24, 88, 24);

    // 其他设置
    auto* g4 = unit<QGroupBox>(this, QStringLiteral("分组框4"), QStringLiteral("其他设置"), 16, 320, 552, 64);
    auto* fields =
        unit<QPushButton>(g4, QStringLiteral("修改自定义项按钮"), QStringLiteral("自定义项管理"), 16, 24, 104, 24);
    auto* operators =
        unit<QPushButton>(g4, QStringLiteral("权限管理按钮"), QStringLiteral("权限管理"), 136, 24, 88, 24);
    auto* password = unit<QPushButton>(g4, QStringLiteral("修改口令按钮"), QStringLiteral("修改口令"), 240, 24, 88, 24);
    auto* log = unit<QPushButton>(g4, QStringLiteral("操作日志按钮"), QStringLiteral("系统日志"), 344, 24, 88, 24);
    auto* order = unit<QPushButton>(g4, QStringLiteral("排序方式按钮"), QStringLiteral("排序方式"), 448, 24, 88, 24);

    // Below the groups: whether the content index reads pictures by OCR,
    // and what the care of the archive left taking space.
    m_ocr = unit<QCheckBox>(this, QStringLiteral("识别文字"), QStringLiteral("识别图片中的文字"), 32, 392, 136, 24);
    m_ocr->setToolTip(QStringLiteral("建立内容索引时识别图片和扫描文件中的文字"));
    m_waste = unit<QLabel>(this, QStringLiteral("旧数据占用标签"), QString(), 176, 392, 280, 24);
    m_removeWaste =
        unit<QPushButton>(this, QStringLiteral("清除旧数据按钮"), ArchiveWaste::RemoveButton, 464, 392, 88, 24);

    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    connect(m_colourPicker, &QPushButton::clicked, this, &GlobalSettingsWindow::chooseColour);
    connect(choose, &QPushButton::clicked, this, &GlobalSettingsWindow::choosePicture);
    connect(reset, &QPushButton::clicked, this, &GlobalSettingsWindow::useDefaultPicture);
    connect(savePersonalButton, &QPushButton::clicked, this, &GlobalSettingsWindow::savePersonal);
    connect(saveRules, &QPushButton::clicked, this, &GlobalSettingsWindow::saveUploadRules);
    connect(compact, &QPushButton::clicked, this, &GlobalSettingsWindow::compactArchive);
    connect(backup, &QPushButton::clicked, this, &GlobalSettingsWindow::backupArchive);
    connect(restore, &QPushButton::clicked, this, &GlobalSettingsWindow::restoreArchive);
    connect(rebuild, &QPushButton::clicked, this, &GlobalSettingsWindow::rebuildArchive);
    connect(clear, &QPushButton::clicked, this, &GlobalSettingsWindow::clearViewCounts);
    connect(m_removeWaste, &QPushButton::clicked, this, &GlobalSettingsWindow::removeWaste);
    connect(m_ocr, &QCheckBox::clicked, this, &GlobalSettingsWindow::saveOcr);
    connect(m_trashDays, &QSpinBox::valueChanged, this, &GlobalSettingsWindow::saveTrashDays);
    connect(fields, &QPushButton::clicked, this, &GlobalSettingsWindow::fieldOptionsRequested);
    connect(operators, &QPushButton::clicked, this, &GlobalSettingsWindow::operatorsRequested);
    connect(password, &QPushButton::clicked, this, &GlobalSettingsWindow::changePasswordRequested);
    connect(log, &QPushButton::clicked, this, &GlobalSettingsWindow::logRequested);
    connect(order, &QPushButton::clicked, this, &GlobalSettingsWindow::sortOrderRequested);
}

void GlobalSettingsWindow::load()
{
    m_settings = MainSettings::read(m_store).value_or(MainSettings{});
    (m_settings.displayMode == 2 ? m_mode2 : m_mode1)->setChecked(true);
    (m_settings.background == MainSettings::Picture ? m_pictureRadio : m_colourRadio)->setChecked(true);
    setColour(QColor::fromRgb(QRgb(m_settings.bannerColour & 0xFFFFFF)));
    m_text->setText(m_settings.bannerText);
    m_noCount->setChecked(m_settings.countViewsOff);
    m_picture = m_settings.bannerPicture;
    showPicture();

    const QString types = Dictionary::readOr(m_store, Dictionary::FileTypes, Dictionary::AnyType);
    const QStringList allowed = Dictionary::allowedTypes(types);
    (allowed.isEmpty() ? m_unlimited : m_limited)->setChecked(true);
    m_types->setEnabled(!allowed.isEmpty());
    m_types->setPlainText(allowed.join(QLatin1Char(',')));
    m_size->setText(Dictionary::readOr(m_store, Dictionary::FileSize, Dictionary::DefaultFileSize));
    m_ocr->setChecked(ContentIndexer::ocrWanted(m_store));
    m_maintenance->setTitle(GlobalSettings::maintenanceTitle(GlobalSettings::archiveSize(m_store)));
    {
        const QSignalBlocker quiet(m_trashDays);
        m_trashDays->setValue(Trash::retentionDays(m_store));
    }
    showWaste();
}

void GlobalSettingsWindow::saveTrashDays(int days)
{
    // Read by the purge after the next start.
    if (const Status saved = GlobalSettings::saveTrashDays(m_store, days); !saved)
        prompter().message(saved.message(), QString(), Prompter::Icon::Warning);
}

void GlobalSettingsWindow::saveOcr(bool on)
{
    // Read by the content index at the start of its next run.
    if (const Status saved = ContentIndexer::setOcrWanted(m_store, on); !saved) {
        m_ocr->setChecked(!on);
        prompter().message(saved.message(), QString(), Prompter::Icon::Warning);
    }
}

QColor GlobalSettingsWindow::colour() const
{
    return m_colour;
}

void GlobalSettingsWindow::setColour(const QColor& colour)
{
    m_colour = colour;
    m_colourPicker->setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
}

void GlobalSettingsWindow::chooseColour()
{
    const QColor c = QColorDialog::getColor(m_colour, this, QStringLiteral("背景颜色"));
    if (c.isValid())
        setColour(c);
}

void GlobalSettingsWindow::showPicture()
{
    QPixmap p;
    if (m_picture.isEmpty() || !p.loadFromData(m_picture))
        p = QPixmap(DefaultPicture);
    m_preview->setPixmap(p);
    m_resolution->setText(QStringLiteral("%1*56").arg(m_bannerWidth > 0 ? m_bannerWidth : 1024));
}

void GlobalSettingsWindow::choosePicture()
{
    // The dialog's filter in Qt's form.
    QString filter = PictureFilter.section(QLatin1Char('|'), 0, 0);
    filter.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString path = prompter().openFile(QStringLiteral("更换图片"), QString(), filter);
    if (path.isEmpty())
        return;
    const Result<QByteArray> r = GlobalSettings::readPicture(path);
    if (!r) {
        prompter().message(r.message(), QString(), Prompter::Icon::Warning);
        return;
    }
    m_picture = *r;
    m_pictureRadio->setChecked(true);
    showPicture();
}

void GlobalSettingsWindow::useDefaultPicture()
{
    m_picture.clear();
    showPicture();
}

void GlobalSettingsWindow::savePersonal()
{
    MainSettings s = m_settings;
    s.displayMode = m_mode2->isChecked() ? 2 : 1;
    s.background = m_pictureRadio->isChecked() ? MainSettings::Picture : MainSettings::Colour;
    s.bannerColour = int(m_colour.rgb() & 0xFFFFFF);
    s.bannerText = m_text->text();
    s.countViewsOff = m_noCount->isChecked();
    s.bannerPicture = m_picture;
    const Status r = GlobalSettings::savePersonal(m_store, s);
    if (!r) {
        prompter().message(r.message(), QString(), Prompter::Icon::Warning);
        return;
    }
    m_settings = s;
    emit personalSaved(s);
    prompter().message(r.message());
}

void GlobalSettingsWindow::saveUploadRules()
{
    const Result<GlobalSettings::UploadRules> r =
        GlobalSettings::saveUploadRules(m_store, m_unlimited->isChecked(), m_types->toPlainText(), m_size->text());
    if (!r) {
        prompter().message(r.message(), QString(), Prompter::Icon::Warning);
        return;
    }
    m_types->setPlainText(r->types == Dictionary::AnyType ? QString() : r->types);
    m_size->setText(r->size);
    emit uploadRulesSaved(r->types, r->size);
    prompter().message(r.message());
}

void GlobalSettingsWindow::clearViewCounts()
{
    if (!prompter().question(ClearQuestion, QStringLiteral("询问")))
        return;
    const Status r = GlobalSettings::clearViewCounts(m_store);
    prompter().message(r.message(), QString(), r ? Prompter::Icon::Information : Prompter::Icon::Warning);
}

void GlobalSettingsWindow::backupArchive()
{
    const QString target = prompter().chooseFolder(QStringLiteral("请选择备份目标目录:"));
    if (target.isEmpty())
        return;
    JobOf<qint64> job(FolderCopyWindow::Caption, ArchiveCare::backupJob(m_place, target));
    const Result<qint64> r = runShown(job, this);
    prompter().message(r.message(), QString(), r ? Prompter::Icon::Information : Prompter::Icon::Warning);
}

void GlobalSettingsWindow::restoreArchive()
{
    const QString source = prompter().chooseFolder(QStringLiteral("请选择源备份目录:"));
    if (source.isEmpty())
        return;
    JobOf<QString> job(FolderCopyWindow::Caption, ArchiveCare::prepareRestoreJob(m_place, source));
    const Result<QString> prepared = runShown(job, this);
    if (!prepared) {
        prompter().message(prepared.message(), QString(), Prompter::Icon::Warning);
        return;
    }
    if (!prepared.message().isEmpty())
        prompter().message(prepared.message(), QString(), Prompter::Icon::Warning);
    const ArchiveCare::Restored restored =
        ArchiveCare::finishRestore(m_place, *prepared, {m_hooks.close, m_hooks.reopen});
    const Result<ArchiveCare::Swapped>& swapped = restored.swapped;
    prompter().message(swapped.message(), QString(), swapped ? Prompter::Icon::Information : Prompter::Icon::Warning);
    if (!restored.reopened) {
        prompter().message(ReopenFailed, QString(), Prompter::Icon::Critical);
        return;
    }
    load();
    emit personalSaved(m_settings);
    emit uploadRulesSaved(GlobalSettings::typesToStore(m_unlimited->isChecked(), m_types->toPlainText()),
                          m_size->text());
    if (m_hooks.reload)
        m_hooks.reload();
}

void GlobalSettingsWindow::rebuildArchive()
{
    if (!prompter().question(RebuildQuestion, QStringLiteral("询问")))
        return;
    JobOf<QString> job(FolderCopyWindow::Caption, ArchiveCare::rebuildJob(m_place));
    const Result<QString> r = runShown(job, this);
    prompter().message(r.message(), QString(), r ? Prompter::Icon::Information : Prompter::Icon::Warning);
    if (!r)
        return;
    load();
    emit personalSaved(m_settings);
    emit uploadRulesSaved(GlobalSettings::typesToStore(m_unlimited->isChecked(), m_types->toPlainText()),
                          m_size->text());
    if (m_hooks.reload)
        m_hooks.reload();
}

void GlobalSettingsWindow::compactArchive()
{
    JobOf<ArchiveCare::Compacted> job(QStringLiteral("压缩优化数据库"), ArchiveCare::compactJob(m_place.archive));
    const Result<ArchiveCare::Compacted> r = runShown(job, this, JobWindow::Lines::BarOnly);
    // A compaction stopped by its window leaves the file as it was.
    if (r.cancelled())
        return;
    prompter().message(r.message(), QString(), r ? Prompter::Icon::Information : Prompter::Icon::Warning);
}

void GlobalSettingsWindow::showWaste()
{
    const Result<ArchiveWaste::Waste> waste = ArchiveWaste::measure(m_place);
    QStringList folders;
    if (waste)
        for (const ArchiveWaste::Folder& f : waste->folders)
            folders << QStringLiteral("%1  %2").arg(QDir::toNativeSeparators(f.path), ArchiveWaste::spaceText(f.bytes));
    m_waste->setText(ArchiveWaste::SpaceLabel.arg(!waste                 ? QStringLiteral("无法统计")
                                                      : waste->isEmpty() ? QStringLiteral("无")
                                                                         : ArchiveWaste::spaceText(waste->bytes)));
    m_waste->setToolTip(waste ? folders.join(QLatin1Char('\n')) : waste.detail());
    // A folder that cannot be measured may still be removed.
    m_removeWaste->setEnabled(!waste || !waste->isEmpty());
}

void GlobalSettingsWindow::removeWaste()
{
    const Result<ArchiveWaste::Waste> waste = ArchiveWaste::measure(m_place);
    if (waste && waste->isEmpty()) {
        prompter().message(ArchiveWaste::Nothing);
        showWaste();
        return;
    }
    const QString total = waste ? ArchiveWaste::spaceText(waste->bytes) : QStringLiteral("大小未知");
    if (!prompter().question(ArchiveWaste::Question.arg(total), QStringLiteral("询问")))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Result<ArchiveWaste::Waste> r = ArchiveWaste::remove(m_place, m_store, m_operator);
    QApplication::restoreOverrideCursor();
    if (r)
        prompter().message(r.message());
    else
        prompter().message(r.message() + QLatin1Char('\n') + r.detail().section(QLatin1Char('\n'), 0, 0), QString(),
                           Prompter::Icon::Warning);
    showWaste();
}
