#include "listing/ui/FileListViews.h"

#include <algorithm>
#include <utility>

#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/RecordOrder.h"
#include "listing/SortClause.h"
#include "listing/ui/ChooseColumnsWindow.h"
#include "listing/ui/RepositionWindow.h"
#include "listing/ui/SearchWindow.h"
#include "listing/ui/SortOrderWindow.h"
#include "platform/Prompter.h"
#include "store/ContentConditions.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/MainSettings.h"

#include <QApplication>
#include <QEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListView>
#include <QMimeDatabase>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextLayout>

namespace {

// The icon the platform shows for files of this type.
QIcon iconForType(const QString& type)
{
    static QFileIconProvider provider;
    const QString sample = QStringLiteral("file.") + QString(type).remove(QLatin1Char('/'));
    QIcon icon = provider.icon(QFileInfo(sample));
    if (icon.isNull() || icon.availableSizes().isEmpty()) {
        static QMimeDatabase mimes;
        const QMimeType mime = mimes.mimeTypeForFile(sample, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    }
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return icon;
}

// The cell of one icon: the icon above, the name below in two lines at
// most, the second one cut with "…" when the name needs more (the tool tip
// holds the whole name). Every cell has the one size the view gives it, so
// that no name reaches into the cell beside or below: the size a cell's
// contents would ask for is never used (with uniform item sizes the view
// would otherwise take it from a single record, whatever its name, and
// with the font of that moment).
class IconCellDelegate final : public QStyledItemDelegate {
public:
    static constexpr int NameLines = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    void setCell(const QSize& cell) { m_cell = cell; }
    QSize cell() const { return m_cell; }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return m_cell; }

    // name broken into lines no wider than width (at word boundaries where
    // it has them, anywhere else), NameLines at most, the last one cut.
    static QString nameLines(QString name, const QFont& font, int width)
    {
        name.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        width = qMax(1, width);
        QTextLayout layout(name, font);
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(wrap);
        QStringList lines;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (lines.size() == NameLines - 1) {
                const QString rest = name.mid(line.textStart()).trimmed();
                lines << QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
                break;
            }
            lines << name.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        return lines.join(QChar::LineSeparator);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->features & QStyleOptionViewItem::HasDisplay))
            return;
        // The style draws the name inside the cell less a margin each side.
        const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
        option->text = nameLines(option->text, option->font, m_cell.width() - 2 * margin - 1);
    }

private:
    QSize m_cell{80, 74};
};

// Large icons with their names below, wrapped in rows, laid out as a list
// flowing left to right: the icon mode of QListView lays out every item
// again in a way that stalls the window for a list of a million records,
// the list mode's flow of equal cells does not. The cells follow the
// view's font: a skin that changes it (after the view was laid out, at
// start-up) gets cells its names fit in.
class IconFlowView final : public QListView {
public:
    explicit IconFlowView(QWidget* parent) : QListView(parent), m_cells(new IconCellDelegate(this))
    {
        setItemDelegate(m_cells);
    }

    // The grid for the font and the icon size: six Han characters a line,
    // two lines below the icon; never smaller than the designed 80 x 74.
    static QSize cellFor(const QFont& font, const QSize& icon)
    {
        const QFontMetrics fm(font);
        const int width = std::max({80, icon.width() + 16, 6 * fm.horizontalAdvance(QChar(0x6587)) + 8});
        const int height = qMax(74, icon.height() + IconCellDelegate::NameLines * fm.lineSpacing() + 14);
        return {width, height};
    }

    void fitCells()
    {
        const QSize cell = cellFor(font(), iconSize());
        if (cell == m_cells->cell() && cell == gridSize())
            return;
        m_cells->setCell(cell);
        setGridSize(cell);
    }

protected:
    void initViewItemOption(QStyleOptionViewItem* option) const override
    {
        QListView::initViewItemOption(option);
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->decorationAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
        option->features |= QStyleOptionViewItem::WrapText;
    }

    void changeEvent(QEvent* event) override
    {
        QListView::changeEvent(event);
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            fitCells();
    }

private:
    IconCellDelegate* m_cells;
};

}  // namespace

FileListViews::FileListViews(DataStore& store, ProtectedGroups& protectedGroups, MainSettings& settings,
                             QWidget* viewParent)
    : QObject(viewParent), m_store(store), m_protectedGroups(protectedGroups), m_settings(settings)
{
    m_model = new FileListModel(this);
    m_model->setIconProvider(iconForType);
    m_iconModel = new FileIconModel(m_model, this);
    m_loader = new FileListLoader(m_model, this);

    m_report = new QTableView(viewParent);
    m_report->setObjectName(QStringLiteral("文件超级列表框"));
    m_report->setGeometry(0, 336, 464, 112);
    m_report->setModel(m_model);
    m_report->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_report->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_report->setShowGrid(true);
    m_report->setWordWrap(false);
    m_report->setSortingEnabled(false);
    m_report->setTabKeyNavigation(false);
    m_report->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_report->horizontalHeader()->setSectionsMovable(true);
    m_report->horizontalHeader()->setSectionsClickable(true);
    // A click on a header sorts by its column, for this run only: the saved
    // order ("排序方式") stays as it is. A second click turns the direction.
    connect(m_report->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int logical) {
        const auto& columns = m_model->columns();
        if (logical < 0 || logical >= int(columns.size()))
            return;
        const QString field = columns.at(logical).field;
        m_headerDescending = field == m_headerField && !m_headerDescending;
        m_headerField = field;
        m_report->horizontalHeader()->setSortIndicatorShown(true);
        m_report->horizontalHeader()->setSortIndicator(logical,
                                                       m_headerDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
        reload();
    });
    m_report->horizontalHeader()->setHighlightSections(false);
    m_report->horizontalHeader()->setStretchLastSection(false);
    m_report->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_report->verticalHeader()->hide();
    m_report->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_report->verticalHeader()->setDefaultSectionSize(18);
    m_report->setContextMenuPolicy(Qt::CustomContextMenu);
    {
        // The selection stays visible when the list loses the focus.
        QPalette p = m_report->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        m_report->setPalette(p);
    }

    auto* icons = new IconFlowView(viewParent);
    m_icons = icons;
    m_icons->setObjectName(QStringLiteral("图标超级列表框"));
    m_icons->setGeometry(904, 96, 112, 224);
    m_icons->setModel(m_iconModel);
    m_icons->setViewMode(QListView::ListMode);
    m_icons->setFlow(QListView::LeftToRight);
    m_icons->setWrapping(true);
    m_icons->setIconSize(QSize(32, 32));
    icons->fitCells();
    m_icons->setWordWrap(true);
    m_icons->setTextElideMode(Qt::ElideRight);
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setUniformItemSizes(true);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setBatchSize(2000);
    m_icons->setSelectionMode(QAbstractItemView::SingleSelection);
    m_icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_icons->setContextMenuPolicy(Qt::CustomContextMenu);
    {
        // No selection shown while the icon view has no focus.
        QPalette p = m_icons->palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
        m_icons->setPalette(p);
    }

    connect(m_report, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit reportMenuRequested(m_report->viewport()->mapToGlobal(pos)); });
    connect(m_icons, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit iconMenuRequested(m_icons->viewport()->mapToGlobal(pos)); });
    connect(m_report, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit recordActivated(currentId(), false);
    });
    connect(m_icons, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit recordActivated(currentId(), true);
    });
    connect(m_report->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &FileListViews::reportCurrentChanged);
    connect(m_icons->selectionModel(), &QItemSelectionModel::currentChanged, this, &FileListViews::iconCurrentChanged);
    connect(m_loader, &FileListLoader::rowsArrived, this, &FileListViews::rowsArrived);
    // The icon view takes the rows of a long load in one step at its end.
    connect(m_loader, &FileListLoader::loaded, m_iconModel, [this] { m_iconModel->setHolding(false); });
    connect(m_loader, &FileListLoader::statisticsReady, this, &FileListViews::takeStatistics);
}

FileListViews::~FileListViews() = default;

QWidget* FileListViews::windowParent() const
{
    return m_report->window();
}

void FileListViews::load(const FilterClause& clause)
{
    m_filter = clause;
    m_restoreId = m_selectNext >= 0 ? std::exchange(m_selectNext, -1) : currentId();
    m_searchedRows = 0;

    // Unreadable settings still list the records, by id alone.
    const QList<ListColumns::Column> columns =
        ListColumns::shownColumns(m_store).value_or(QList<ListColumns::Column>{});
    const auto visible = ListQuery::visibleFilter(clause, m_protectedGroups, m_store);
    m_visibleOk = visible.has_value();
    if (!m_visibleOk) {
        // The protected groups could not be read: list nothing rather than
        // risk showing their files.
        m_loader->cancel();
        m_iconModel->setHolding(false);
        m_model->reset(columns, -1);
        applyWidths();
        m_statistics.clear();
        emit statisticsChanged(m_statistics);
        return;
    }
    m_visible = *visible;
    // A list made by a content condition tells in each row's tooltip where
    // its record's text holds the words; the records of closed protected
    // groups are not in the list, so none of theirs is ever read.
    const QString excerptQuery = ContentConditions::excerptQuery(m_visible);
    if (excerptQuery.isEmpty()) {
        m_model->setExcerptReader({});
    } else {
        m_model->setExcerptReader([this, excerptQuery](qint64 id) {
            const Result<QString> excerpt =
                ContentIndex::excerpt(m_store, id, excerptQuery, ContentConditions::ExcerptAround);
            if (!excerpt)
                qWarning("excerpt of record %lld not read: %s", id, qPrintable(excerpt.detail()));
            return excerpt.valueOr(QString());
        });
    }
    const QList<SortKey> order = m_headerField.isEmpty() ? SortClause::effectiveKeys(m_settings.sortClause)
                                                         : SortClause::columnKeys(m_headerField, m_headerDescending);
    const ListQuery query = ListQuery::ordered(m_store.backend(), columns, m_visible, order);
    m_iconModel->setHolding(true);
    m_loader->start(m_store.location(), query);
    applyWidths();
    if (m_lastCurrent != -1) {
        m_lastCurrent = -1;
        emit currentRecordChanged(-1);
    }
}

void FileListViews::closeConnections()
{
    m_loader->closeConnections();
}

void FileListViews::reload()
{
    load(m_filter);
}

void FileListViews::search(const QString& userName)
{
    if (m_search && m_searchUser != userName) {
        // Another operator logged in: his own conditions, not the last one's.
        delete m_search;
        m_search = nullptr;
    }
    if (!m_search) {
        m_search = new SearchWindow(m_store, m_protectedGroups, userName, windowParent());
        m_searchUser = userName;
        connect(m_search, &SearchWindow::searchRequested, this, [this](const FilterClause& clause) {
            load(clause);
            emit searchShown();
        });
    }
    m_search->exec();
}

bool FileListViews::waitUntilLoaded(int timeoutMs)
{
    return m_loader->waitUntilLoaded(timeoutMs);
}

void FileListViews::applyWidths()
{
    QHeaderView* header = m_report->horizontalHeader();
    const auto& columns = m_model->columns();
    // The layout comes from lbsz: a header dragged aside in the view goes
    // back to the stored order (the header keeps moved sections across a
    // model reset).
    for (int c = 0; c < header->count(); ++c)
        if (header->visualIndex(c) != c)
            header->moveSection(header->visualIndex(c), c);
    for (int c = 0; c < columns.size(); ++c)
        header->resizeSection(c, columns.at(c).width);
}

void FileListViews::rowsArrived(int rows)
{
    if (m_restoreId < 0) {
        m_searchedRows = rows;
        return;
    }
    for (int r = m_searchedRows; r < rows; ++r) {
        if (m_model->idAt(r) == m_restoreId) {
            m_restoreId = -1;
            selectRow(r);
            break;
        }
    }
    m_searchedRows = rows;
}

void FileListViews::takeStatistics(bool ok, const ListStatistics::Totals& totals)
{
    m_statistics = ok ? ListStatistics::line(totals) : QString();
    emit statisticsChanged(m_statistics);
}

void FileListViews::updateStatistics()
{
    if (!m_visibleOk) {
        m_statistics.clear();
    } else {
        const Result<ListQuery> q = ListQuery::build(m_store.backend(), {}, m_visible, QString()).resolved(m_store);
        if (!q)
            qWarning("list statistics not read: %s", qPrintable(q.detail()));
        const auto totals = q ? ListStatistics::read(m_store, q->statisticsSql, q->statisticsParams) : std::nullopt;
        m_statistics = totals ? ListStatistics::line(*totals) : QString();
    }
    emit statisticsChanged(m_statistics);
}

QList<qint64> FileListViews::selectedIds() const
{
    QList<int> rows;
    // With no column shown the report view has nothing to select; the
    // icon view's record stands in.
    const QModelIndexList selected = m_model->columnCount() > 0 ? m_report->selectionModel()->selectedRows()
                                                                : m_icons->selectionModel()->selectedRows();
    for (const QModelIndex& i : selected)
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    ids.reserve(rows.size());
    for (int r : rows)
        ids << m_model->idAt(r);
    return ids;
}

qint64 FileListViews::currentId() const
{
    if (m_model->columnCount() == 0) {
        const QModelIndex i = m_icons->selectionModel()->currentIndex();
        return i.isValid() ? m_model->idAt(i.row()) : -1;
    }
    const QModelIndex i = m_report->selectionModel()->currentIndex();
    return i.isValid() ? m_model->idAt(i.row()) : -1;
}

QList<FileListViews::Column> FileListViews::shownColumns() const
{
    QList<Column> out;
    const QHeaderView* header = m_report->horizontalHeader();
    const auto& columns = m_model->columns();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (logical >= 0 && logical < columns.size() && !header->isSectionHidden(logical))
            out.append({columns.at(logical).field, columns.at(logical).header});
    }
    return out;
}

QString FileListViews::noSelectionMessage()
{
    return QStringLiteral("没有选中记录! Shift+光标键(或单击)连续多选;Ctrl+光标键(或单击)隔行多选;Ctrl+A 全选");
}

bool FileListViews::requireSelection() const
{
    if (!selectedIds().isEmpty())
        return true;
    prompter().message(noSelectionMessage(), {}, Prompter::Icon::Warning);
    return false;
}

void FileListViews::selectRow(int row)
{
    const QModelIndex i = m_model->index(row, 0);
    auto* sel = m_report->selectionModel();
    if (i.isValid()) {
        sel->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_report->scrollTo(i);
    } else if (row >= 0 && row < m_model->rowCount()) {
        // No columns shown: the row still becomes the current record.
        m_syncing = true;
        m_icons->selectionModel()->setCurrentIndex(m_iconModel->index(row), QItemSelectionModel::ClearAndSelect);
        m_syncing = false;
        if (m_lastCurrent != m_model->idAt(row)) {
            m_lastCurrent = m_model->idAt(row);
            emit currentRecordChanged(m_lastCurrent);
        }
    }
}

void FileListViews::reportCurrentChanged()
{
    const QModelIndex i = m_report->selectionModel()->currentIndex();
    const qint64 id = i.isValid() ? m_model->idAt(i.row()) : -1;
    if (!m_syncing && i.isValid()) {
        m_syncing = true;
        m_icons->setCurrentIndex(m_iconModel->index(i.row()));
        m_syncing = false;
    }
    if (id != m_lastCurrent) {
        m_lastCurrent = id;
        emit currentRecordChanged(id);
    }
}

void FileListViews::iconCurrentChanged()
{
    if (m_syncing)
        return;
    const QModelIndex i = m_icons->selectionModel()->currentIndex();
    if (!i.isValid())
        return;
    m_syncing = true;
    selectRow(i.row());
    m_syncing = false;
}

// ------------------------------------------------------------ commands

void FileListViews::chooseColumns()
{
    ChooseColumnsWindow w(m_store, windowParent());
    if (w.exec() == QDialog::Accepted)
        reload();
}

void FileListViews::saveWidths()
{
    QList<QPair<QString, int>> widths;
    const QHeaderView* header = m_report->horizontalHeader();
    const auto& columns = m_model->columns();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (logical >= 0 && logical < columns.size())
            widths.append({columns.at(logical).header, header->sectionSize(logical)});
    }
    if (ListColumns::saveWidths(m_store, widths))
        prompter().message(QStringLiteral("保存列宽成功!"));
    else
        prompter().message(QStringLiteral("保存列宽失败!请退出重试"), {}, Prompter::Icon::Critical);
}

void FileListViews::chooseSortOrder()
{
    SortOrderWindow w(m_store, m_settings, windowParent());
    if (w.exec() == QDialog::Accepted) {
        // The order chosen there replaces a header's.
        m_headerField.clear();
        m_report->horizontalHeader()->setSortIndicatorShown(false);
        reload();
    }
}

void FileListViews::reposition()
{
    if (currentId() < 0 && !requireSelection())
        return;
    RepositionWindow w(*this, windowParent());
    w.exec();
}

void FileListViews::moveCurrent(int step)
{
    const qint64 id = currentId();
    const int row = id >= 0 ? m_model->rowOfId(id) : -1;
    if (row < 0) {
        prompter().message(noSelectionMessage(), {}, Prompter::Icon::Warning);
        return;
    }
    if (step < 0 && row == 0) {
        prompter().message(QStringLiteral("已到最前!"));
        return;
    }
    if (step > 0 && row == m_model->rowCount() - 1) {
        prompter().message(QStringLiteral("已到最后!"));
        return;
    }
    const int neighbour = row + (step < 0 ? -1 : 1);
    switch (RecordOrder::exchange(m_store, m_model->idAt(row), m_model->idAt(neighbour))) {
    case RecordOrder::Exchange::FirstFailed:
        prompter().message(QStringLiteral("调整失败! 01"), {}, Prompter::Icon::Critical);
        return;
    case RecordOrder::Exchange::SecondFailed:
        prompter().message(QStringLiteral("调整失败! 02"), {}, Prompter::Icon::Critical);
        return;
    case RecordOrder::Exchange::Done:
        break;
    }
    // In manual order the two rows change places; under a saved sort clause
    // the rows keep following that clause.
    if (SortClause::isManualOrder(m_settings.sortClause)) {
        m_model->swapRows(row, neighbour);
        selectRow(neighbour);
    }
}
