#include "archive/ui/EditPanel.h"

#include "archive/Duplicates.h"
#include "archive/FileOpening.h"
#include "archive/FileRecords.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "archive/SpareTitles.h"
#include "archive/ui/DeleteProgressWindow.h"
#include "archive/ui/GroupChooserDialog.h"
#include "archive/ui/PropertiesWindow.h"
#include "platform/LongRuns.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FieldOptions.h"
#include "store/LogWriter.h"
#include "store/ui/OptionChooserDialog.h"
#include "store/SizeText.h"

#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QUrl>

namespace {

// The panel's geometry, all in one place (left, top, width, height).
constexpr int kPanelWidth = 640;
constexpr int kPanelHeight = 232;
constexpr int kColumnLabel[3] = {8, 216, 424};
constexpr int kColumnBox[3] = {64, 272, 480};
constexpr int kColumnButton[3] = {192, 400, 608};
constexpr int kSpareTop[5] = {56, 80, 104, 128, 152};
constexpr int kBoxWidth = 128;
constexpr int kBoxHeight = 20;
constexpr int kButtonSize = 20;
const QRect kNumberLabel(8, 8, 80, 24);
const QRect kNumberBox(64, 8, kBoxWidth, kBoxHeight);
const QRect kNameLabel(216, 8, 56, 24);
const QRect kNameBox(272, 8, 336, kBoxHeight);
const QRect kNameButton(608, 8, kButtonSize, kButtonSize);
const QRect kGroupLabel(8, 32, 56, 24);
const QRect kGroupBox(64, 32, kBoxWidth, kBoxHeight);
const QRect kGroupButton(192, 32, kButtonSize, kButtonSize);
const QRect kTypeLabel(216, 32, 56, 24);
const QRect kTypeBox(272, 32, kBoxWidth, kBoxHeight);
const QRect kSizeLabel(424, 32, 56, 24);
const QRect kSizeBox(480, 32, kBoxWidth, kBoxHeight);
const QRect kRemarkBox(8, 176, 624, 48);

const QString kSpareCaption = QStringLiteral("备用字段");
const QString kNotSaved = QStringLiteral("当前文件尚未保存! 是否立即保存 ?");

// Reports a long add or change as a percentage (the host shows it on the
// main window's thin progress bar, which paints itself at each new value).
class PanelProgress final : public Progress {
public:
    explicit PanelProgress(EditPanel& panel) : m_w(panel) {}
    ~PanelProgress() override { emit m_w.progressChanged(-1); }
    void setRange(qint64 minimum, qint64 maximum) override
    {
        m_min = minimum;
        m_max = maximum;
    }
    void setValue(qint64 value) override
    {
        const qint64 span = m_max - m_min;
        emit m_w.progressChanged(span > 0 ? int((value - m_min) * 100 / span) : 0);
    }
    bool cancelled() const override { return false; }

private:
    EditPanel& m_w;
    qint64 m_min = 0;
    qint64 m_max = 0;
};

}  // namespace

EditPanel::EditPanel(DataStore& store, const StoreFolder& storeFolder, const CurrentOperator& op,
                     ProtectedGroups& protectedGroups, QWidget* parent)
    : QFrame(parent), m_store(store), m_protectedGroups(protectedGroups)
{
    setObjectName(QStringLiteral("外形框1"));
    setFrameShape(QFrame::StyledPanel);
    // Its design size; a host may give it more room (the units keep their places).
    setMinimumSize(kPanelWidth, kPanelHeight);
    resize(kPanelWidth, kPanelHeight);
    m_records = std::make_unique<FileRecords>(m_store, storeFolder, op, sizeBound());
    m_opening =
        std::make_unique<FileOpening>(m_store, storeFolder, op, m_protectedGroups, ProgramHome::extractionFolder());
    m_opener = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    buildUnits();
    // Without a connection the window that holds the panel reads nothing
    // and says so once; the titles come with the first reload.
    if (m_store.isOpen())
        reloadTitles();
    setMode(Mode::Showing);
}

EditPanel::~EditPanel() = default;

PropertiesWindow* EditPanel::propertiesWindow() const
{
    return m_properties.data();
}

void EditPanel::buildUnits()
{
    auto label = [this](const QString& name, const QString& text, const QRect& r) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setGeometry(r);
        return l;
    };
    auto edit = [this](const QString& name, const QRect& r) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setGeometry(r);
        connect(e, &QLineEdit::textEdited, this, [this] { markDirty(); });
        return e;
    };
    auto button = [this](const QString& name, const QString& text, const QRect& r) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setGeometry(r);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };

    label(QStringLiteral("标签1"), QStringLiteral("文件编号:"), kNumberLabel);
    m_number = edit(QStringLiteral("编号编辑框"), kNumberBox);
    label(QStringLiteral("标签2"), QStringLiteral("文件名称:"), kNameLabel);
    m_name = edit(QStringLiteral("名称编辑框"), kNameBox);
    m_nameButton = button(QStringLiteral("文件名称超级按钮"), QStringLiteral("…"), kNameButton);
    m_nameButton->setToolTip(QStringLiteral("选择文件"));
    label(QStringLiteral("标签3"), QStringLiteral("文件分组:"), kGroupLabel);
    m_group = edit(QStringLiteral("分组编辑框"), kGroupBox);
    m_groupButton = button(QStringLiteral("文件分组超级按钮"), QStringLiteral("…"), kGroupButton);
    label(QStringLiteral("标签4"), QStringLiteral("文件类型:"), kTypeLabel);
    m_type = edit(QStringLiteral("类型编辑框"), kTypeBox);
    label(QStringLiteral("标签5"), QStringLiteral("文件大小:"), kSizeLabel);
    m_size = edit(QStringLiteral("大小编辑框"), kSizeBox);

    for (int i = 0; i < WjColumns::SpareCount; ++i) {
        const int row = i / 3;
        const int col = i % 3;
        const int top = kSpareTop[row];
        const QString b = QStringLiteral("b%1").arg(i + 1);
        m_spareLabels[i] = label(b + QStringLiteral("标签"), kSpareCaption + QLatin1Char(':'),
                                 QRect(kColumnLabel[col], top, 56, i == 0 ? 24 : 20));
        m_spareEdits[i] = edit(b + QStringLiteral("编辑框"), QRect(kColumnBox[col], top, kBoxWidth, kBoxHeight));
        m_spareButtons[i] = button(b + QStringLiteral("超级按钮"),
                                   i < WjColumns::PickListSpares ? QStringLiteral("…") : QStringLiteral("▼"),
                                   QRect(kColumnButton[col], top, kButtonSize, kButtonSize));
        if (i < WjColumns::PickListSpares)
            connect(m_spareButtons[i], &QToolButton::clicked, this, [this, i] { chooseOption(i); });
        else
            connect(m_spareButtons[i], &QToolButton::clicked, this,
                    [this, i] { showDateBox(i - WjColumns::PickListSpares); });
    }
    for (int d = 0; d < WjColumns::DateSpares; ++d) {
        auto* box = new QDateEdit(this);
        box->setObjectName(QStringLiteral("日期框%1").arg(d + 1));
        box->setGeometry(QRect(kColumnBox[d], kSpareTop[4], kBoxWidth, kBoxHeight));
        box->setCalendarPopup(true);
        box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        box->setDate(QDate::currentDate());
        box->hide();
        connect(box, &QDateEdit::dateChanged, this, [this, d](const QDate& date) {
            if (m_filling || m_mode == Mode::Showing)
                return;
            m_spareEdits[WjColumns::PickListSpares + d]->setText(date.toString(QStringLiteral("yyyy-MM-dd")));
            markDirty();
        });
        // Accepting the box takes the date it shows, changed or not.
        connect(box, &QDateEdit::editingFinished, this, [this, box, d] {
            QLineEdit* field = m_spareEdits[WjColumns::PickListSpares + d];
            const QString shown = box->date().toString(QStringLiteral("yyyy-MM-dd"));
            if (!m_filling && m_mode != Mode::Showing && box->isVisible() && field->text() != shown) {
                field->setText(shown);
                markDirty();
            }
            box->hide();
        });
        m_dateBoxes[d] = box;
    }
    m_remark = new QPlainTextEdit(this);
    m_remark->setObjectName(QStringLiteral("备注编辑框"));
    m_remark->setGeometry(kRemarkBox);
    connect(m_remark, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            markDirty();
    });

    connect(m_nameButton, &QToolButton::clicked, this, &EditPanel::chooseFile);
    connect(m_groupButton, &QToolButton::clicked, this, &EditPanel::chooseGroup);
}

void EditPanel::setFileLimits(const QString& typesCode, const QString& sizeCode)
{
    m_fileTypes = typesCode;
    m_fileSize = sizeCode;
    m_records->setSizeBound(sizeBound());
}

void EditPanel::reloadTitles()
{
    const Result<QStringList> titles = SpareTitles::read(m_store);
    if (!titles) {
        // The labels keep what they showed; the operator learns why.
        prompter().message(titles.message(), {}, Prompter::Icon::Critical);
        return;
    }
    for (int i = 0; i < WjColumns::SpareCount; ++i) {
        const QString t = titles->value(i).trimmed().isEmpty() ? kSpareCaption : titles->value(i);
        m_spareLabels[i]->setText(t + QLatin1Char(':'));
        m_spareLabels[i]->setToolTip(t);
    }
}

qint64 EditPanel::sizeBound() const
{
    return Dictionary::sizeBoundBytes(m_fileSize);
}

QString EditPanel::fileFilter() const
{
    const QStringList types = Dictionary::allowedTypes(m_fileTypes);
    if (types.isEmpty())
        return QStringLiteral("所有文件 (*)");
    QStringList patterns;
    for (const QString& t : types)
        patterns << QStringLiteral("*.") + t << QStringLiteral("*.") + t.toUpper();
    patterns.removeDuplicates();
    return QStringLiteral("文件 (%1)").arg(patterns.join(QLatin1Char(' ')));
}

// ------------------------------------------------------------------ modes

void EditPanel::setMode(Mode m)
{
    m_mode = m;
    const bool editing = m != Mode::Showing;
    m_name->setReadOnly(!editing);
    for (QLineEdit* e : m_spareEdits)
        e->setReadOnly(!editing);
    m_remark->setReadOnly(!editing);
    // Number, group, type and size never take typing: the counter, the group
    // chooser and the chosen file fill them.
    m_number->setReadOnly(true);
    m_group->setReadOnly(true);
    m_type->setReadOnly(true);
    m_size->setReadOnly(true);
    m_nameButton->setEnabled(editing);
    m_groupButton->setEnabled(editing);
    for (QToolButton* b : m_spareButtons)
        b->setEnabled(editing);
    if (!editing)
        for (QDateEdit* d : m_dateBoxes)
            d->hide();
}

void EditPanel::clearUnits()
{
    m_filling = true;
    m_number->clear();
    m_name->clear();
    m_group->clear();
    m_type->clear();
    m_size->clear();
    for (QLineEdit* e : m_spareEdits)
        e->clear();
    m_remark->clear();
    m_filling = false;
}

void EditPanel::fill(qint64 id)
{
    clearUnits();
    m_id = -1;
    if (id < 0)
        return;
    const Result<std::optional<FileRecord>> read = m_records->read(id);
    if (!read || !read.value())
        return;
    const FileRecord& r = *read.value();
    m_filling = true;
    m_id = r.id;
    m_number->setText(r.number);
    m_name->setText(r.name);
    m_group->setText(r.group);
    m_type->setText(r.type);
    m_size->setText(r.sizeText);
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        m_spareEdits[i]->setText(r.spare.value(i));
    m_remark->setPlainText(r.remark);
    m_filling = false;
}

bool EditPanel::leavePending()
{
    if (m_mode == Mode::Showing)
        return true;
    if (m_dirty && prompter().question(kNotSaved))
        return save();
    m_dirty = false;
    m_sourcePath.clear();
    setMode(Mode::Showing);
    return true;
}

void EditPanel::showRecord(qint64 id)
{
    if (m_mode != Mode::Showing) {
        // The record being modified is shown already.
        if (m_mode == Mode::Modifying && id == m_id)
            return;
        if (!leavePending())
            return;
    }
    fill(id);
}

void EditPanel::startAdd(const QString& group)
{
    // A protected group takes no file until it is opened: refused as
    // selecting it is.
    if (!group.isEmpty() && m_protectedGroups.isHidden(m_store, group)) {
        prompter().message(GroupTree::NotOpen, {}, Prompter::Icon::Warning);
        return;
    }
    if (!leavePending())
        return;
    m_records->setSizeBound(sizeBound());
    clearUnits();
    m_id = -1;
    m_sourcePath.clear();
    m_dirty = false;
    m_filling = true;
    m_group->setText(group);
    m_filling = false;
    setMode(Mode::Adding);
    m_name->setFocus();
}

void EditPanel::startModify(qint64 id)
{
    if (!leavePending())
        return;
    if (id < 0) {
        prompter().message(FileRecords::NothingSelected, {}, Prompter::Icon::Warning);
        return;
    }
    fill(id);
    if (m_id < 0) {
        prompter().message(FileRecords::ModifyFailed, {}, Prompter::Icon::Critical);
        return;
    }
    if (m_number->text().trimmed().isEmpty()) {
        prompter().message(FileRecords::ModifyNoNumber, {}, Prompter::Icon::Warning);
        return;
    }
    m_records->setSizeBound(sizeBound());
    m_sourcePath.clear();
    m_dirty = false;
    setMode(Mode::Modifying);
    m_name->setFocus();
}

void EditPanel::cancel(qint64 listCurrent)
{
    const qint64 keep = m_mode == Mode::Modifying ? m_id : listCurrent;
    m_dirty = false;
    m_sourcePath.clear();
    setMode(Mode::Showing);
    fill(keep);
}

void EditPanel::showResultMessages(bool logFailed)
{
    if (logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
}

bool EditPanel::save()
{
    if (m_mode == Mode::Showing)
        return true;
    RecordFields f;
    f.name = m_name->text().trimmed();
    f.group = m_group->text();
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        f.spare[i] = m_spareEdits[i]->text();
    f.remark = m_remark->toPlainText();

    // A failed save keeps the pending add or change, so it can be corrected.
    if (const Status checked = m_records->checkFields(f, m_mode == Mode::Adding); !checked) {
        prompter().message(checked.message(), {},
                           checked.message() == FileRecords::EmptyName || checked.message() == FileRecords::NoGroup
                               ? Prompter::Icon::Warning
                               : Prompter::Icon::Critical);
        return false;
    }
    PanelProgress progress(*this);

    if (m_mode == Mode::Adding) {
        if (!prompter().question(FileRecords::ConfirmAdd, FileRecords::ConfirmAddTitle))
            return false;
        const QString type = m_sourcePath.isEmpty() ? m_type->text() : FileRecords::splitFileName(m_sourcePath).second;
        const ::Result<QList<FileRecords::SameName>> sameRead = m_records->sameName(f.name, type, m_protectedGroups);
        if (!sameRead) {
            prompter().message(sameRead.message(), {}, Prompter::Icon::Critical);
            return false;
        }
        const QList<FileRecords::SameName>& same = sameRead.value();
        if (!same.isEmpty() && !prompter().question(FileRecords::sameNameQuestion(same.first())))
            return false;
        // Content already held is said with who holds it before anything is stored.
        bool declined = false;
        QString lookupFailed;
        FileRecords::AddHooks hooks;
        hooks.admit = [&](const QString& sha256) {
            const Result<Duplicates::Found> found = Duplicates::find(m_store, m_protectedGroups, sha256);
            if (!found) {
                lookupFailed = PrivateFolder::withCause(FileRecords::InsertFailed, found.detail());
                return false;
            }
            if (found->any() && !prompter().question(Duplicates::question(*found))) {
                declined = true;
                return false;
            }
            return true;
        };
        const Result<StoredRecord> r = m_records->add(f, m_sourcePath, &progress, hooks);
        if (!r && declined)
            return false;
        if (!r && !lookupFailed.isEmpty()) {
            prompter().message(lookupFailed, {}, Prompter::Icon::Critical);
            return false;
        }
        if (!r) {
            prompter().message(r.message(), {}, r.cancelled() ? Prompter::Icon::Information : Prompter::Icon::Critical);
            return false;
        }
        showResultMessages(r->logFailed);
        prompter().message(r.message());
        m_dirty = false;
        m_sourcePath.clear();
        setMode(Mode::Showing);
        emit recordAdded(r->id);
        emit reloadListRequested();
        fill(r->id);
        return true;
    }

    if (!prompter().question(f.name + QStringLiteral(",已被修改,确定重新保存到数据库吗?")))
        return false;
    const Result<StoredRecord> r = m_records->modify(m_id, f, m_sourcePath, &progress);
    if (!r) {
        prompter().message(r.message(), {}, r.cancelled() ? Prompter::Icon::Information : Prompter::Icon::Critical);
        return false;
    }
    showResultMessages(r->logFailed);
    m_dirty = false;
    m_sourcePath.clear();
    setMode(Mode::Showing);
    const qint64 id = m_id;
    emit reloadListRequested();
    fill(id);
    return true;
}

// --------------------------------------------------------------- choosers

void EditPanel::chooseFile()
{
    if (m_mode == Mode::Showing)
        return;
    const QString path = prompter().openFile(QStringLiteral("选择文件"), QDir::homePath(), fileFilter());
    if (path.isEmpty())
        return;
    const QFileInfo fi(path);
    const auto [name, type] = FileRecords::splitFileName(path);
    m_sourcePath = fi.absoluteFilePath();
    m_filling = true;
    m_name->setText(name);
    m_type->setText(type);
    m_size->setText(sizeText(fi.size()));
    m_filling = false;
    m_dirty = true;
}

void EditPanel::chooseGroup()
{
    if (m_mode == Mode::Showing)
        return;
    const std::optional<QString> path =
        m_groupChooser ? m_groupChooser() : GroupChooserDialog::choose(m_store, m_protectedGroups, this);
    if (!path)
        return;
    m_group->setText(*path);
    m_dirty = true;
}

void EditPanel::chooseOption(int field)
{
    if (m_mode == Mode::Showing)
        return;
    const QStringList options = FieldOptions::options(m_store, WjColumns::FirstSpareBh + field).valueOr({});
    const std::optional<QString> chosen =
        m_optionChooser ? m_optionChooser(field, options) : OptionChooserDialog::choose(options, this);
    if (!chosen)
        return;
    m_spareEdits[field]->setText(*chosen);
    m_dirty = true;
}

void EditPanel::showDateBox(int index)
{
    if (m_mode == Mode::Showing)
        return;
    QDateEdit* box = m_dateBoxes[index];
    const QDate current =
        QDate::fromString(m_spareEdits[WjColumns::PickListSpares + index]->text(), QStringLiteral("yyyy-MM-dd"));
    m_filling = true;
    box->setDate(current.isValid() ? current : QDate::currentDate());
    m_filling = false;
    box->show();
    box->raise();
    box->setFocus();
}

// --------------------------------------------------------------- commands

void EditPanel::deleteRecords(const QList<qint64>& ids)
{
    // One long run at a time: no deletion starts inside another run.
    if (LongRuns::instance().underWay())
        return;
    if (ids.isEmpty()) {
        prompter().message(FileRecords::NothingSelected, {}, Prompter::Icon::Warning);
        return;
    }
    if (!prompter().question(QStringLiteral("确定删除选择的 %1 个文件吗 ? ").arg(ids.size())))
        return;
    // A pending change of a record about to go is dropped with it.
    if (m_mode == Mode::Modifying && ids.contains(m_id)) {
        m_dirty = false;
        m_sourcePath.clear();
        setMode(Mode::Showing);
    }
    DeleteProgressWindow progress(*m_records, window());
    progress.run(ids);
    // The list loads again and tells which record is current afterwards.
    if (m_mode == Mode::Showing)
        fill(-1);
    emit reloadListRequested();
}

void EditPanel::saveAs(qint64 id)
{
    if (id < 0) {
        prompter().message(FileRecords::NothingSelected, {}, Prompter::Icon::Warning);
        return;
    }
    const Result<std::optional<FileRecord>> read = m_records->read(id);
    if (!read || !read.value()) {
        prompter().message(FileRecords::SaveOutFailed, {}, Prompter::Icon::Critical);
        return;
    }
    const FileRecord& r = *read.value();
    const QString fileName = FileOpening::safeFileName(r.name, r.type);
    const QString filter = QStringLiteral("文件 (*.%1)").arg(r.type.isEmpty() ? QStringLiteral("*") : r.type);
    const QString target =
        prompter().saveFile(QStringLiteral("请选择保存位置"), QDir(QDir::homePath()).filePath(fileName), filter);
    if (target.isEmpty())
        return;
    PanelProgress progress(*this);
    const Result<StoredRecord> res = m_records->saveOut(id, target, &progress);
    if (!res) {
        if (!res.message().isEmpty())
            prompter().message(res.message(), {},
                               res.cancelled() ? Prompter::Icon::Information : Prompter::Icon::Critical);
        return;
    }
    showResultMessages(res->logFailed);
    prompter().message(res.message());
}

void EditPanel::showProperties(qint64 id, const QString& listName)
{
    if (id < 0) {
        prompter().message(QStringLiteral("没有选择文件!"), {}, Prompter::Icon::Warning);
        return;
    }
    if (const Result<std::optional<FileRecord>> read = m_records->read(id); !read || !read.value()) {
        // The record is gone; the list still knows its name.
        const QString name = m_id == id ? m_name->text() : listName;
        if (prompter().question(name + QStringLiteral(" 文件未找到,是否在列表中移除?")))
            emit reloadListRequested();
        return;
    }
    if (m_properties)
        m_properties->close();
    m_properties = new PropertiesWindow(*m_records, id, window());
    m_properties->setAttribute(Qt::WA_DeleteOnClose);
    m_properties->show();
}

void EditPanel::openRecord(qint64 id)
{
    const Result<FileRecord> found = m_opening->find(id);
    if (!found) {
        prompter().message(found.message(), {},
                           found.message() == FileOpening::NothingSelected ? Prompter::Icon::Warning
                                                                           : Prompter::Icon::Critical);
        return;
    }
    const FileRecord& r = found.value();
    if (m_opening->keptFileMissing(r)) {
        // "是" keeps the record; "否" hands it to the delete command, which
        // asks once more before anything goes.
        if (!prompter().question(FileOpening::missingQuestion(r)))
            emit deleteRequested(r.id);
        return;
    }
    Result<QString> extracted = [&] {
        PanelProgress progress(*this);
        return m_opening->extract(r, &progress);
    }();
    if (!extracted) {
        if (!extracted.cancelled())
            prompter().message(extracted.message(), {}, Prompter::Icon::Critical);
        return;
    }
    if (!m_opener || !m_opener(extracted.value())) {
        // Not seen, so not counted.
        prompter().message(FileOpening::HandOverFailed + extracted.value(), {}, Prompter::Icon::Warning);
        return;
    }
    const Result<FileOpening::Viewed> viewed = m_opening->countView(r);
    if (!viewed) {
        prompter().message(viewed.message(), {}, Prompter::Icon::Warning);
        return;
    }
    showResultMessages(viewed->logFailed);
}
