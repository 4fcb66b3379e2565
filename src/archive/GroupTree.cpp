#include "archive/GroupTree.h"

#include "archive/GroupPath.h"
#include "platform/PrivateFolder.h"
#include "archive/ProtectedGroups.h"
#include "store/DataStore.h"
#include "store/GroupRows.h"
#include "store/PasswordHash.h"

namespace {

using Node = GroupTree::Node;
using Result = GroupTree::Result;

Result done(qint64 id = 0, const QString& message = {})
{
    return {Result::Kind::Done, message, id};
}
Result unchanged(qint64 id = 0)
{
    return {Result::Kind::Unchanged, {}, id};
}
Result refused(const QString& message, qint64 id = 0)
{
    return {Result::Kind::Refused, message, id};
}
Result failed(const QString& message, qint64 id = 0)
{
    return {Result::Kind::Failed, message, id};
}

std::unique_ptr<Node> clone(const Node& n, Node* parent)
{
    auto c = std::make_unique<Node>();
    c->id = n.id;
    c->name = n.name;
    c->image = n.image;
    c->selectedImage = n.selectedImage;
    c->passwordHash = n.passwordHash;
    c->parent = parent;
    for (const auto& child : n.children)
        c->children.push_back(clone(*child, c.get()));
    return c;
}

std::unique_ptr<Node> newRoot()
{
    auto r = std::make_unique<Node>();
    r->name = GroupTree::RootText;
    r->image = GroupTree::RootImage;
    r->selectedImage = GroupTree::RootImage;
    return r;
}

// The images a group shows: the padlock pair while protected, the folder
// pair otherwise.
void fitImages(Node* n)
{
    const bool locked = n->isProtected();
    auto fits = [locked](int image) {
        return locked ? (image == GroupTree::LockImage || image == GroupTree::LockSelectedImage)
                      : (image == GroupTree::FolderImage || image == GroupTree::OpenFolderImage);
    };
    if (!fits(n->image) || !fits(n->selectedImage)) {
        n->image = locked ? GroupTree::LockImage : GroupTree::FolderImage;
        n->selectedImage = locked ? GroupTree::LockSelectedImage : GroupTree::OpenFolderImage;
    }
}

// A password typed now against the one stored: a salted hash, compared
// exactly. A text that is no hash (written by hand) is compared as it is.
bool passwordMatches(const QString& stored, const QString& typed)
{
    if (stored.isEmpty())
        return typed.isEmpty();
    if (PasswordHash::isHash(stored))
        return PasswordHash::verify(stored, typed);
    return stored == typed;
}

}  // namespace

QString GroupTree::Node::path() const
{
    QStringList names;
    for (const Node* n = this; n && !n->isRoot(); n = n->parent)
        names.prepend(n->name);
    return GroupPath::join(names);
}

int GroupTree::Node::indexInParent() const
{
    if (!parent)
        return 0;
    for (size_t i = 0; i < parent->children.size(); ++i)
        if (parent->children[i].get() == this)
            return int(i);
    return -1;
}

GroupTree::GroupTree(DataStore& store, ProtectedGroups& open) : m_store(store), m_open(open), m_root(newRoot()) {}

GroupTree::~GroupTree() = default;

Status GroupTree::load()
{
    m_root = newRoot();
    const ::Result<QList<GroupPath::Group>> read = GroupPath::groups(m_store);
    if (!read)
        return Status::fail(LoadFailed, read.detail());
    const QList<GroupPath::Group>& groups = read.value();
    // Parents first: ascending id normally guarantees it; a parent with a
    // larger id (a table edited by hand) is found in a second pass.
    QHash<qint64, Node*> byId;
    std::vector<std::pair<std::unique_ptr<Node>, qint64>> pending;
    for (const GroupPath::Group& g : groups) {
        auto n = std::make_unique<Node>();
        n->id = g.id;
        n->name = g.name;
        n->image = g.image;
        n->selectedImage = g.selectedImage;
        n->passwordHash = g.passwordHash;
        fitImages(n.get());
        byId.insert(g.id, n.get());
        pending.emplace_back(std::move(n), g.placedParentId);
    }
    for (auto& [node, parentId] : pending) {
        Node* parent = parentId == 0 ? m_root.get() : byId.value(parentId, m_root.get());
        node->parent = parent;
        parent->children.push_back(std::move(node));
    }
    // Siblings in ascending id, as they were read.
    std::function<void(Node*)> order = [&](Node* n) {
        std::stable_sort(n->children.begin(), n->children.end(),
                         [](const auto& a, const auto& b) { return a->id < b->id; });
        for (auto& c : n->children)
            order(c.get());
    };
    order(m_root.get());
    return {};
}

GroupTree::Node* GroupTree::findMutable(qint64 id) const
{
    if (id == 0)
        return m_root.get();
    std::function<Node*(Node*)> walk = [&](Node* n) -> Node* {
        for (auto& c : n->children) {
            if (c->id == id)
                return c.get();
            if (Node* f = walk(c.get()))
                return f;
        }
        return nullptr;
    };
    return walk(m_root.get());
}

const GroupTree::Node* GroupTree::find(qint64 id) const
{
    return findMutable(id);
}

const GroupTree::Node* GroupTree::findPath(const QString& path) const
{
    if (path.isEmpty())
        return m_root.get();
    for (const Node* n : displayOrder())
        if (n->path() == path)
            return n;
    return nullptr;
}

void GroupTree::collect(const Node* n, QList<const Node*>* out) const
{
    for (const auto& c : n->children) {
        out->append(c.get());
        collect(c.get(), out);
    }
}

QList<const GroupTree::Node*> GroupTree::displayOrder() const
{
    QList<const Node*> out;
    collect(m_root.get(), &out);
    return out;
}

int GroupTree::groupCount() const
{
    return int(displayOrder().size());
}

namespace {

// What the name rules say against a name on its own (siblings aside);
// empty when nothing.
QString nameRefusal(const QString& name)
{
    if (name.isEmpty())
        return GroupTree::EmptyName;
    if (name.trimmed().isEmpty())
        return GroupTree::BlankName;
    for (const QChar c : name)
        if (c == GroupPath::Separator || c == QLatin1Char('/') || c.category() == QChar::Other_Control)
            return GroupTree::BadCharacter;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return GroupTree::DotName;
    return {};
}

}  // namespace

QString GroupTree::nameFromFolder(const QString& folderName)
{
    QString name;
    for (const QChar c : folderName) {
        if (c.category() == QChar::Other_Control)
            continue;
        name += c == GroupPath::Separator || c == QLatin1Char('/') ? QLatin1Char('_') : c;
    }
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("_");
    return name;
}

GroupTree::Result GroupTree::checkName(qint64 parentId, const QString& name, qint64 self) const
{
    if (const QString refusal = nameRefusal(name); !refusal.isEmpty())
        return refused(refusal);
    const Node* parent = find(parentId);
    if (!parent)
        return failed(SaveFailed);
    for (const auto& c : parent->children)
        if (c->id != self && c->name == name)
            return refused(duplicateName(name));
    return done();
}

bool GroupTree::writeAll(QHash<const Node*, qint64>* ids, QString* message)
{
    if (const Status cleared = GroupRows::clear(m_store); !cleared) {
        *message = ClearFailed;
        return false;
    }
    // Ids are given explicitly: the k-th group from the top gets id k, and
    // each parent is written before its children.
    qint64 next = 1;
    for (const Node* n : displayOrder()) {
        const qint64 parentId = n->parent->isRoot() ? 0 : ids->value(n->parent);
        if (const Status written =
                GroupRows::insert(m_store, {next, parentId, n->name, n->image, n->selectedImage, n->passwordHash});
            !written) {
            *message = SaveFailed;
            return false;
        }
        ids->insert(n, next++);
    }
    return true;
}

std::optional<bool> GroupTree::tableMatches(const Node& snapshot)
{
    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(m_store, &groups))
        return std::nullopt;
    QList<const Node*> nodes;
    collect(&snapshot, &nodes);
    if (nodes.size() != groups.size())
        return false;
    QHash<qint64, const GroupPath::Group*> byId;
    for (const GroupPath::Group& g : std::as_const(groups))
        byId.insert(g.id, &g);
    for (const Node* n : std::as_const(nodes)) {
        const GroupPath::Group* g = byId.value(n->id);
        const qint64 parentId = n->parent->isRoot() ? 0 : n->parent->id;
        if (!g || g->placedParentId != parentId || g->name != n->name || g->passwordHash != n->passwordHash)
            return false;
    }
    return true;
}

GroupTree::Result GroupTree::rewriteOrRestore(std::unique_ptr<Node> snapshot, const Node* focus,
                                              const std::function<bool(QString*)>& extra)
{
    QString message = SaveFailed;
    QHash<const Node*, qint64> ids;
    bool ok = false;
    bool stale = false;
    {
        // The whole table is written from the tree in memory: only when the
        // table still holds what the tree was read from (checked under the
        // write lock), so a change made elsewhere is never written over.
        Transaction tx(m_store);
        const std::optional<bool> same = tx.isActive() ? tableMatches(*snapshot) : std::nullopt;
        stale = same.has_value() && !*same;
        ok = same.value_or(false) && writeAll(&ids, &message) && (!extra || extra(&message)) && tx.commit();
    }
    if (stale) {
        // Show what the table holds now; the operator does the change again.
        if (const Status loaded = load(); !loaded)
            return failed(PrivateFolder::withCause(loaded.message(), loaded.detail()));
        return failed(StaleTree);
    }
    if (!ok) {
        // The table is as it was: so is the tree.
        m_root = std::move(snapshot);
        return failed(PrivateFolder::withCause(message, m_store.lastError()));
    }
    for (auto it = ids.cbegin(); it != ids.cend(); ++it)
        const_cast<Node*>(it.key())->id = it.value();
    return done(focus ? focus->id : 0);
}

GroupTree::Result GroupTree::add(qint64 parentId, const QString& name)
{
    const Result check = checkName(parentId, name);
    if (!check)
        return check;
    auto snapshot = clone(*m_root, nullptr);
    Node* parent = findMutable(parentId);
    auto n = std::make_unique<Node>();
    n->name = name;
    n->parent = parent;
    Node* added = n.get();
    parent->children.push_back(std::move(n));
    return rewriteOrRestore(std::move(snapshot), added);
}

GroupTree::Result GroupTree::addPaths(qint64 parentId, const QList<QStringList>& paths)
{
    Node* top = findMutable(parentId);
    if (!top)
        return refused(NoGroupSelected);
    // Closed: the group or one above it is protected and not open (a group
    // made here has no password, so only those that were there count).
    auto closed = [this](const Node* n) {
        for (; n && !n->isRoot(); n = n->parent)
            if (n->isProtected() && !m_open.isOpen(n->path()))
                return true;
        return false;
    };
    if (closed(top))
        return refused(NotOpen, parentId);
    auto snapshot = clone(*m_root, nullptr);
    bool added = false;
    for (const QStringList& names : paths) {
        Node* at = top;
        for (const QString& name : names) {
            Node* next = nullptr;
            for (const auto& c : at->children)
                if (c->name == name) {
                    next = c.get();
                    break;
                }
            if (!next) {
                if (const QString refusal = nameRefusal(name); !refusal.isEmpty()) {
                    m_root = std::move(snapshot);
                    return refused(refusal);
                }
                auto n = std::make_unique<Node>();
                n->name = name;
                n->parent = at;
                next = n.get();
                at->children.push_back(std::move(n));
                added = true;
            } else if (closed(next)) {
                const qint64 id = next->id;
                m_root = std::move(snapshot);
                return refused(NotOpen, id);
            }
            at = next;
        }
    }
    if (!added)
        return unchanged(parentId);
    return rewriteOrRestore(std::move(snapshot), nullptr);
}

GroupTree::Result GroupTree::rename(qint64 id, const QString& name)
{
    Node* n = id == 0 ? nullptr : findMutable(id);
    if (!n)
        return refused(NoGroupSelected);
    const Result check = checkName(n->parent->id, name, id);
    if (!check)
        return check;
    if (n->name == name)
        return unchanged(id);
    const QString oldPath = n->path();
    auto snapshot = clone(*m_root, nullptr);
    n->name = name;
    const QString newPath = n->path();
    const Result r = rewriteOrRestore(std::move(snapshot), n, [&](QString* message) {
        // The files of the group and of its sub-groups follow the new path.
        if (const Status moved = GroupRows::moveFiles(m_store, oldPath, newPath); !moved) {
            *message = SaveFailed;
            return false;
        }
        return true;
    });
    if (r)
        m_open.rename(oldPath, newPath);
    return r;
}

GroupTree::Result GroupTree::remove(qint64 id)
{
    Node* n = id == 0 ? nullptr : findMutable(id);
    if (!n)
        return refused(NoGroupSelected);
    const QString path = n->path();
    const ::Result<qint64> count = GroupRows::fileCount(m_store, path);
    if (!count)
        return failed(PrivateFolder::withCause(CountFailed, count.detail()));
    if (count.value() != 0)
        return refused(HasFiles);
    QStringList gone{path};
    QList<const Node*> below;
    collect(n, &below);
    for (const Node* b : std::as_const(below))
        gone << b->path();
    auto snapshot = clone(*m_root, nullptr);
    Node* parent = n->parent;
    parent->children.erase(parent->children.begin() + n->indexInParent());
    const Result r = rewriteOrRestore(std::move(snapshot), parent);
    if (r) {
        // A group made later under the same path must not find itself open.
        for (const QString& p : std::as_const(gone))
            m_open.close(p);
    }
    return r;
}

GroupTree::Result GroupTree::move(qint64 id, int step)
{
    Node* n = id == 0 ? nullptr : findMutable(id);
    if (!n)
        return unchanged(0);
    Node* parent = n->parent;
    const int at = n->indexInParent();
    const int to = at + step;
    if (to < 0 || to >= int(parent->children.size()))
        return unchanged(id);
    const Node* neighbour = parent->children[size_t(to)].get();
    // The neighbour as stored now.
    const ::Result<std::optional<QString>> mm = GroupRows::password(m_store, neighbour->id);
    if (!mm)
        return failed(PrivateFolder::withCause(SaveFailed, mm.detail()), id);
    if (neighbour->isProtected() || !mm->value_or(QString()).isEmpty())
        return refused(step < 0 ? ProtectedAbove : ProtectedBelow, id);
    auto snapshot = clone(*m_root, nullptr);
    std::swap(parent->children[size_t(at)], parent->children[size_t(to)]);
    return rewriteOrRestore(std::move(snapshot), n);
}

GroupTree::Result GroupTree::moveUp(qint64 id)
{
    return move(id, -1);
}

GroupTree::Result GroupTree::moveDown(qint64 id)
{
    return move(id, +1);
}

GroupTree::Result GroupTree::checkOldPassword(qint64 id, const QString& oldPassword) const
{
    const Node* n = id == 0 ? nullptr : find(id);
    if (!n)
        return refused(NoGroupSelected);
    const ::Result<std::optional<QString>> mm = GroupRows::password(m_store, id);
    if (!mm || !mm->has_value())
        return failed(PasswordFailed, id);
    if (!passwordMatches(**mm, oldPassword))
        return refused(WrongOldPassword, id);
    return done(id);
}

GroupTree::Result GroupTree::setPassword(qint64 id, const QString& oldPassword, const QString& newPassword)
{
    const Result check = checkOldPassword(id, oldPassword);
    if (!check)
        return check;
    Node* n = findMutable(id);
    QString stored;
    if (!newPassword.isEmpty()) {
        stored = PasswordHash::hash(newPassword);
        if (stored.isEmpty())  // never clear the protection by accident
            return failed(PasswordFailed, id);
    }
    const bool locked = !stored.isEmpty();
    const int image = locked ? LockImage : FolderImage;
    const int selected = locked ? LockSelectedImage : OpenFolderImage;
    if (const Status set = GroupRows::setPassword(m_store, id, stored, image, selected); !set)
        return failed(PasswordFailed, id);
    n->passwordHash = stored;
    n->image = image;
    n->selectedImage = selected;
    // A new password closes the group: it opens again with the new one.
    m_open.close(n->path());
    return done(id, PasswordChanged);
}

QList<const GroupTree::Node*> GroupTree::closedChain(qint64 id) const
{
    QList<const Node*> chain;
    for (const Node* n = id == 0 ? nullptr : find(id); n && !n->isRoot(); n = n->parent)
        if (n->isProtected() && !m_open.isOpen(n->path()))
            chain.prepend(n);
    return chain;
}

GroupTree::Result GroupTree::open(qint64 id, const QString& password)
{
    const Node* n = id == 0 ? nullptr : find(id);
    if (!n)
        return refused(NoGroupSelected);
    if (!n->isProtected())
        return unchanged(id);
    // The password as stored now, not as loaded.
    const ::Result<std::optional<QString>> mm = GroupRows::password(m_store, id);
    if (!mm || !mm->has_value() || !passwordMatches(**mm, password))
        return refused(WrongAccessPassword, id);
    m_open.open(n->path());
    return done(id);
}

::Result<bool> GroupTree::anyProtected() const
{
    const ::Result<bool> any = GroupRows::anyProtected(m_store);
    if (!any)
        return ::Result<bool>::fail(LoadFailed, any.detail());
    return any.value();
}

FilterClause GroupTree::nothing()
{
    return FilterClause::none();
}

GroupTree::Filter GroupTree::filterFor(qint64 id) const
{
    // What cannot be read is not shown: the operator hears why.
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return {false, nothing(), PrivateFolder::withCause(LoadFailed, m_store.lastError())};
    if (id == 0) {
        const ::Result<bool> anyClosed = anyProtected();
        if (!anyClosed)
            return {false, nothing(), PrivateFolder::withCause(anyClosed.message(), anyClosed.detail())};
        if (anyClosed.value())
            return {false, nothing(), AllRefused};
        return {true, FilterClause::everything().excludingGroups(closed), {}};
    }
    const Node* n = find(id);
    if (!n)
        return {false, nothing(), {}};
    const QString path = n->path();
    bool hidden = isClosed(id);
    for (const QString& c : std::as_const(closed))
        hidden = hidden || GroupPath::covers(c, path);
    if (hidden)
        return {false, nothing(), NotOpen};
    return {true, FilterClause::inGroup(path).excludingGroups(closed), {}};
}
