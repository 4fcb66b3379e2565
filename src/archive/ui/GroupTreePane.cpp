#include "archive/ui/GroupTreePane.h"

#include "archive/GroupPath.h"
#include "archive/ui/GroupCopyWindow.h"
#include "archive/ui/GroupNameDialog.h"
#include "archive/ui/GroupPasswordDialog.h"
#include "platform/Prompter.h"
#include "platform/PrivateFolder.h"
#include "store/DataStore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QTimer>
#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap blank()
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return p;
}

// Three stacked layers: the root.
QPixmap drawRoot()
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor fills[] = {QColor(0x3a, 0x6e, 0xc8), QColor(0x5a, 0x93, 0xe0), QColor(0x8c, 0xbc, 0xf4)};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 10.5 - i * 3.5;
        QPainterPath layer;
        layer.moveTo(8, y - 3);
        layer.lineTo(15, y);
        layer.lineTo(8, y + 3);
        layer.lineTo(1, y);
        layer.closeSubpath();
        g.setPen(QPen(QColor(0x1f, 0x3f, 0x7a), 1));
        g.setBrush(fills[i]);
        g.drawPath(layer);
    }
    return p;
}

QPixmap drawFolder(bool open)
{
    QPixmap p = blank();
    QPainter g(&p);
    const QColor edge(0x9a, 0x6a, 0x10);
    g.setPen(edge);
    // Back with its tab.
    g.setBrush(QColor(0xe8, 0xb8, 0x3a));
    QPolygon back;
    back << QPoint(1, 3) << QPoint(6, 3) << QPoint(7, 5) << QPoint(14, 5) << QPoint(14, 13) << QPoint(1, 13);
    g.drawPolygon(back);
    if (open) {
        // The front leans forward.
        g.setBrush(QColor(0xff, 0xdc, 0x70));
        QPolygon front;
        front << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 13) << QPoint(1, 13);
        g.drawPolygon(front);
    } else {
        g.setBrush(QColor(0xf8, 0xcc, 0x50));
        g.drawRect(1, 6, 13, 7);
    }
    return p;
}

void drawLock(QPainter& g, const QRect& body, const QColor& fill)
{
    g.setRenderHint(QPainter::Antialiasing);
    const int w = body.width();
    QPen shackle(QColor(0x60, 0x60, 0x68), w >= 9 ? 2.0 : 1.4);
    g.setPen(shackle);
    g.setBrush(Qt::NoBrush);
    const QRectF arc(body.left() + w * 0.2, body.top() - w * 0.55, w * 0.6, w * 0.9);
    g.drawArc(arc, 0, 180 * 16);
    g.drawLine(QPointF(arc.left(), arc.center().y()), QPointF(arc.left(), body.top()));
    g.drawLine(QPointF(arc.right(), arc.center().y()), QPointF(arc.right(), body.top()));
    g.setPen(QPen(QColor(0x7a, 0x50, 0x00), 1));
    g.setBrush(fill);
    g.drawRoundedRect(body, 1.5, 1.5);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0x40, 0x28, 0x00));
    g.drawEllipse(QPointF(body.center().x() + 0.5, body.center().y()), 1.0, 1.0);
}

QPixmap drawPadlock()
{
    QPixmap p = blank();
    QPainter g(&p);
    drawLock(g, QRect(3, 7, 10, 8), QColor(0xf0, 0xc0, 0x30));
    return p;
}

// The letter A with a small padlock: the selected protected group.
QPixmap drawLetterLock()
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(0x1f, 0x3f, 0x9a), 2.0));
    g.drawLine(QPointF(1.5, 13.5), QPointF(5.5, 1.5));
    g.drawLine(QPointF(5.5, 1.5), QPointF(9.5, 13.5));
    g.drawLine(QPointF(3.3, 9), QPointF(7.7, 9));
    drawLock(g, QRect(9, 9, 6, 6), QColor(0xf0, 0xc0, 0x30));
    return p;
}

}  // namespace

const QList<QPixmap>& GroupTreePane::images()
{
    static const QList<QPixmap> list = {drawRoot(), drawFolder(false), drawFolder(true), drawPadlock(),
                                        drawLetterLock()};
    return list;
}

QIcon GroupTreePane::icon(int image, int selectedImage)
{
    const QList<QPixmap>& list = images();
    auto at = [&](int i) { return list.at(i >= 0 && i < list.size() ? i : GroupTree::FolderImage); };
    QIcon icon;
    icon.addPixmap(at(image), QIcon::Normal);
    icon.addPixmap(at(selectedImage), QIcon::Selected);
    return icon;
}

void GroupTreePane::fill(QTreeWidget* tree, const GroupTree& groups)
{
    tree->clear();
    tree->setIconSize(QSize(16, 16));
    const GroupTree::Node& root = groups.root();
    auto* rootItem = new QTreeWidgetItem(tree, QStringList{GroupTree::RootText});
    rootItem->setIcon(0, icon(GroupTree::RootImage, GroupTree::RootImage));
    rootItem->setData(0, IdRole, qint64(0));
    std::function<void(const GroupTree::Node&, QTreeWidgetItem*)> add = [&](const GroupTree::Node& n,
                                                                            QTreeWidgetItem* item) {
        for (const auto& c : n.children) {
            auto* child = new QTreeWidgetItem(item, QStringList{c->name});
            child->setIcon(0, icon(c->image, c->selectedImage));
            child->setData(0, IdRole, c->id);
            add(*c, child);
        }
    };
    add(root, rootItem);
}

bool GroupTreePane::openWithPasswords(GroupTree& groups, qint64 id)
{
    for (const GroupTree::Node* n : groups.closedChain(id)) {
        const qint64 nodeId = n->id;
        const std::optional<QString> typed =
            prompter().input(GroupTree::AccessPrompt, GroupTree::accessTitle(n->name), {}, true);
        if (!typed)
            return false;
        const GroupTree::Result r = groups.open(nodeId, *typed);
        if (!r) {
            prompter().message(r.message, {}, Prompter::Icon::Warning);
            return false;
        }
    }
    return !groups.isClosed(id);
}

GroupTreePane::GroupTreePane(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                             const CurrentOperator& op, QWidget* parent)
    : QTreeWidget(parent), m_store(store), m_storeFolder(storeFolder), m_protectedGroups(protectedGroups),
      m_operator(op), m_groups(store, protectedGroups)
{
    setObjectName(QStringLiteral("树型框1"));
    setHeaderHidden(true);
    // Files and folders from the desktop may be dropped on a group.
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setIconSize(QSize(16, 16));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        // A click on empty space below the groups is a click on none of
        // them: the menu is the root's, not that of the group selected last.
        if (!m_menuFromKeyboard && !itemAt(p) && topLevelItem(0))
            setCurrentItem(topLevelItem(0));
        QPoint at = p;
        if (m_menuFromKeyboard && currentItem())
            at = visualItemRect(currentItem()).center();
        emit menuRequested(viewport()->mapToGlobal(at));
        // Shift and the keyboard count for this request only.
        m_menuWithShift = false;
        m_menuFromKeyboard = false;
    });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onCurrentChanged(current); });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        if (m_listElsewhere && item && item == currentItem() && m_refusedId < 0)
            offerFilter(item->data(0, IdRole).toLongLong(), true);
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { onDoubleClicked(item); });
    m_refusalTimer = new QTimer(this);
    m_refusalTimer->setSingleShot(true);
    connect(m_refusalTimer, &QTimer::timeout, this, &GroupTreePane::refuseSelection);
    // An empty tree shows the root until the main window loads it.
    rebuild(0, {QString()});
}

void GroupTreePane::noteMenuRequest(QEvent* e)
{
    if (e->type() == QEvent::ContextMenu) {
        const auto* menu = static_cast<QContextMenuEvent*>(e);
        m_menuWithShift = menu->modifiers().testFlag(Qt::ShiftModifier);
        m_menuFromKeyboard = menu->reason() == QContextMenuEvent::Keyboard;
    }
}

bool GroupTreePane::event(QEvent* e)
{
    noteMenuRequest(e);
    return QTreeWidget::event(e);
}

bool GroupTreePane::viewportEvent(QEvent* e)
{
    noteMenuRequest(e);
    return QTreeWidget::viewportEvent(e);
}

bool GroupTreePane::reload()
{
    const QString path = selectedPath();
    const QSet<QString> expanded = expandedPaths();
    const Status loaded = m_groups.load();
    const GroupTree::Node* n = m_groups.findPath(path);
    rebuild(n ? n->id : 0, expanded);
    if (!loaded)
        prompter().message(PrivateFolder::withCause(loaded.message(), loaded.detail()), {}, Prompter::Icon::Warning);
    return loaded.ok();
}

qint64 GroupTreePane::selectedId() const
{
    const QTreeWidgetItem* item = currentItem();
    return item ? item->data(0, IdRole).toLongLong() : 0;
}

QString GroupTreePane::selectedPath() const
{
    const GroupTree::Node* n = m_groups.find(selectedId());
    return n ? n->path() : QString();
}

bool GroupTreePane::isRootSelected() const
{
    return selectedId() == 0;
}

QTreeWidgetItem* GroupTreePane::itemOf(qint64 id) const
{
    for (QTreeWidgetItemIterator it(const_cast<GroupTreePane*>(this)); *it; ++it)
        if ((*it)->data(0, IdRole).toLongLong() == id)
            return *it;
    return nullptr;
}

bool GroupTreePane::selectGroup(qint64 id)
{
    QTreeWidgetItem* item = itemOf(id);
    if (!item)
        return false;
    setCurrentItem(item);
    if (m_refusedId >= 0)
        refuseSelection();
    return true;
}

void GroupTreePane::selectQuietly(qint64 id)
{
    QTreeWidgetItem* item = itemOf(id);
    if (!item || item == currentItem())
        return;
    m_quiet = true;
    setCurrentItem(item);
    m_quiet = false;
}

void GroupTreePane::refuseSelection()
{
    if (m_refusedId < 0)
        return;
    m_refusalTimer->stop();
    m_refusedId = -1;
    const QString message = m_refusal;
    m_refusal.clear();
    if (!message.isEmpty())
        prompter().message(message, {}, Prompter::Icon::Warning);
    // The list still shows the files of the group selected before.
    returnToAccepted();
}

void GroupTreePane::returnToAccepted()
{
    const GroupTree::Node* n = m_groups.findPath(m_acceptedPath);
    selectQuietly(n ? n->id : 0);
}

bool GroupTreePane::refuseClosed(qint64 id)
{
    const GroupTree::Filter f = m_groups.filterFor(id);
    if (f.allowed)
        return false;
    prompter().message(f.message, {}, Prompter::Icon::Warning);
    return true;
}

QSet<QString> GroupTreePane::expandedPaths() const
{
    QSet<QString> out;
    for (QTreeWidgetItemIterator it(const_cast<GroupTreePane*>(this)); *it; ++it) {
        if (!(*it)->isExpanded())
            continue;
        const GroupTree::Node* n = m_groups.find((*it)->data(0, IdRole).toLongLong());
        if (n)
            out.insert(n->path());
    }
    return out;
}

void GroupTreePane::rebuild(qint64 selectId, const QSet<QString>& expanded)
{
    // Ids change with a rewrite: a pending refusal is dropped with them.
    m_refusalTimer->stop();
    m_refusedId = -1;
    m_quiet = true;
    fill(this, m_groups);
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        const GroupTree::Node* n = m_groups.find((*it)->data(0, IdRole).toLongLong());
        if (n && expanded.contains(n->path()))
            (*it)->setExpanded(true);
    }
    QTreeWidgetItem* item = itemOf(selectId);
    if (!item)
        item = topLevelItem(0);
    for (QTreeWidgetItem* up = item ? item->parent() : nullptr; up; up = up->parent())
        up->setExpanded(true);
    setCurrentItem(item);
    m_quiet = false;
}

void GroupTreePane::offerFilter(qint64 id, bool speak)
{
    m_listElsewhere = false;
    const GroupTree::Filter f = m_groups.filterFor(id);
    if (!f.allowed) {
        if (speak && !f.message.isEmpty())
            prompter().message(f.message, {}, Prompter::Icon::Warning);
        emit filterChanged(f.clause);
        return;
    }
    const GroupTree::Node* accepted = m_groups.find(id);
    m_acceptedPath = accepted ? accepted->path() : QString();
    QTreeWidgetItem* root = id == 0 ? topLevelItem(0) : nullptr;
    if (root)
        root->setText(0, GroupTree::RootLoadingText);
    emit filterChanged(f.clause);
    if (root)
        root->setText(0, GroupTree::RootText);
}

void GroupTreePane::onCurrentChanged(QTreeWidgetItem* current)
{
    if (m_quiet || !current)
        return;
    const qint64 id = current->data(0, IdRole).toLongLong();
    const GroupTree::Filter f = m_groups.filterFor(id);
    if (f.allowed) {
        m_refusalTimer->stop();
        m_refusedId = -1;
        offerFilter(id, true);
        return;
    }
    if (id == 0) {
        // The root's list is refused while a group has a password, but the
        // root stays selected: its menu ("增加分组", "全部展开" …) is the
        // only way to a new top-level group.
        m_refusalTimer->stop();
        m_refusedId = -1;
        m_acceptedPath.clear();
        offerFilter(id, true);
        return;
    }
    // A refused group does not keep the selection, and the list keeps what
    // it shows. A closed protected group may be double-clicked open, so its
    // refusal waits until that double-click could have come; the selection
    // moves back only after the press or key that made it is done.
    m_refusedId = id;
    m_refusal = f.message;
    m_refusalTimer->start(id != 0 && m_groups.isClosed(id) ? QApplication::doubleClickInterval() : 0);
}

void GroupTreePane::onDoubleClicked(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const qint64 id = item->data(0, IdRole).toLongLong();
    if (id == 0 || !m_groups.isClosed(id))
        return;
    // The double-click asks for the password instead of the refusal.
    if (m_refusedId == id) {
        m_refusalTimer->stop();
        m_refusedId = -1;
        m_refusal.clear();
    }
    if (openWithPasswords(m_groups, id)) {
        selectQuietly(id);
        offerFilter(id, true);
    } else {
        returnToAccepted();
    }
}

void GroupTreePane::addGroup()
{
    const qint64 parentId = selectedId();
    const GroupTree::Node* parent = m_groups.find(parentId);
    const QString parentPath = parent ? parent->path() : QString();
    GroupNameDialog dlg(
        QStringLiteral("增加分组"), {}, [&](const QString& name) { return m_groups.add(parentId, name); }, window());
    const int answer = dlg.exec();
    QSet<QString> expanded = expandedPaths();
    expanded.insert(parentPath);
    const GroupTree::Node* kept = m_groups.findPath(parentPath);
    rebuild(kept ? kept->id : 0, expanded);
    Q_UNUSED(answer);
}

void GroupTreePane::renameGroup()
{
    const qint64 id = selectedId();
    const GroupTree::Node* n = m_groups.find(id);
    if (id == 0 || !n) {
        prompter().message(GroupTree::NoGroupSelected, {}, Prompter::Icon::Warning);
        return;
    }
    // A protected group is not renamed until it is opened.
    if (refuseClosed(id))
        return;
    const QString oldPath = n->path();
    QSet<QString> expanded = expandedPaths();
    qint64 renamedId = id;
    bool changed = false;
    GroupNameDialog dlg(
        QStringLiteral("修改分组"), n->name,
        [&](const QString& name) {
            const GroupTree::Result r = m_groups.rename(id, name);
            if (r.kind == GroupTree::Result::Kind::Done) {
                renamedId = r.id;
                changed = true;
            }
            return r;
        },
        window());
    dlg.exec();
    if (!changed) {
        rebuild(m_groups.find(id) ? id : 0, expanded);
        return;
    }
    const QString newPath = m_groups.find(renamedId)->path();
    QSet<QString> moved;
    for (const QString& p : std::as_const(expanded))
        moved.insert(GroupPath::covers(oldPath, p) ? newPath + p.mid(oldPath.size()) : p);
    rebuild(renamedId, moved);
    // The group's files now carry the new path.
    offerFilter(renamedId, false);
}

void GroupTreePane::deleteGroup()
{
    const qint64 id = selectedId();
    const GroupTree::Node* n = m_groups.find(id);
    if (id == 0 || !n) {
        prompter().message(GroupTree::NoGroupSelected, {}, Prompter::Icon::Warning);
        return;
    }
    // Nor deleted, nor asked about its files.
    if (refuseClosed(id))
        return;
    if (!prompter().question(GroupTree::deleteQuestion(n->name)))
        return;
    const QSet<QString> expanded = expandedPaths();
    const GroupTree::Result r = m_groups.remove(id);
    if (!r) {
        prompter().message(r.message, {}, Prompter::Icon::Warning);
        rebuild(m_groups.find(id) ? id : 0, expanded);
        return;
    }
    rebuild(r.id, expanded);
    offerFilter(r.id, false);
}

void GroupTreePane::move(int step)
{
    const qint64 id = selectedId();
    if (id == 0)
        return;
    const QSet<QString> expanded = expandedPaths();
    const GroupTree::Result r = step < 0 ? m_groups.moveUp(id) : m_groups.moveDown(id);
    if (!r && !r.message.isEmpty())
        prompter().message(r.message, {}, Prompter::Icon::Warning);
    const GroupTree::Node* n = m_groups.find(r.id);
    rebuild(n ? r.id : 0, expanded);
}

void GroupTreePane::moveUp()
{
    move(-1);
}

void GroupTreePane::moveDown()
{
    move(+1);
}

void GroupTreePane::setPassword()
{
    const qint64 id = selectedId();
    if (id == 0 || !m_groups.find(id)) {
        prompter().message(GroupTree::NoGroupSelected, {}, Prompter::Icon::Warning);
        return;
    }
    const QSet<QString> expanded = expandedPaths();
    GroupPasswordDialog dlg(m_groups, id, window());
    if (dlg.exec() != QDialog::Accepted)
        return;
    rebuild(id, expanded);
    // The group may have closed: its files leave the list.
    offerFilter(id, false);
}

void GroupTreePane::copyGroup()
{
    const qint64 id = selectedId();
    const GroupTree::Node* n = m_groups.find(id);
    if (id == 0 || !n) {
        prompter().message(GroupTree::NoGroupSelected, {}, Prompter::Icon::Warning);
        return;
    }
    if (m_groups.filterFor(id).allowed == false) {
        prompter().message(GroupTree::NotOpen, {}, Prompter::Icon::Warning);
        return;
    }
    GroupCopyWindow win(m_store, m_storeFolder, m_protectedGroups, m_operator, n->path(), window());
    win.exec();
    if (win.copiedAny())
        emit reloadListRequested();
}

// ------------------------------------------------------------ dropping

namespace {

QStringList localPaths(const QMimeData* data)
{
    QStringList out;
    if (!data || !data->hasUrls())
        return out;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile())
            out << u.toLocalFile();
    return out;
}

}  // namespace

qint64 GroupTreePane::dropTarget(const QPoint& pos) const
{
    const QTreeWidgetItem* item = itemAt(pos);
    if (!item)
        return 0;
    const qint64 id = item->data(0, IdRole).toLongLong();
    // A closed protected group takes nothing until it is opened.
    if (id <= 0 || !m_groups.filterFor(id).allowed)
        return 0;
    return id;
}

void GroupTreePane::dragEnterEvent(QDragEnterEvent* e)
{
    if (localPaths(e->mimeData()).isEmpty()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void GroupTreePane::dragMoveEvent(QDragMoveEvent* e)
{
    if (localPaths(e->mimeData()).isEmpty() || dropTarget(e->position().toPoint()) == 0) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void GroupTreePane::dropEvent(QDropEvent* e)
{
    const QStringList paths = localPaths(e->mimeData());
    const qint64 id = dropTarget(e->position().toPoint());
    const GroupTree::Node* n = id > 0 ? m_groups.find(id) : nullptr;
    if (paths.isEmpty() || !n) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    const QString path = n->path();
    // The import asks its questions after the drop has ended.
    QTimer::singleShot(0, this, [this, path, paths] { emit filesDropped(path, paths); });
}
