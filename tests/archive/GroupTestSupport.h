#pragma once

// Helpers shared by the group tests: file rows, the list a clause gives,
// the rows of wjfz, a stand-in for the main window, and driving modal windows.

#include "archive/GroupTree.h"
#include "archive/FilterClause.h"
#include "store/ListStatements.h"
#include "archive/StoreFolder.h"
#include "archive/ui/GroupTreePane.h"
#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/Workspace.h"
#include "shell/ui/CommandTable.h"
#include "store/DataStore.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace GroupTestSupport {

inline qint64 addFile(DataStore& s, const QString& name, const QString& group, const QString& number = {},
                      const QString& lj = {})
{
    static qint64 seq = 9000000000;
    if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,scr,scsj,lj,wj) values (?,?,?,'txt','1BYTE',1,"
                                  "'Admin','2026-01-02 03:04:05',?,?)"),
                   {number.isEmpty() ? QString::number(++seq) : number, name, group, lj,
                    lj.isEmpty() ? QVariant(QByteArray("x")) : QVariant(QByteArray())}))
        return -1;
    return s.lastInsertId();
}

// The names of the files a clause lists, sorted.
inline QStringList listed(DataStore& s, const FilterClause& c)
{
    QStringList out;
    const FilterStatement w = FilterStatement::of(s.backend(), c);
    RecordSet rs = s.query(QStringLiteral("select mc from wj") + w.where + QStringLiteral(" order by mc"), w.params);
    for (; !rs.atEnd(); rs.next())
        out << rs.text(0);
    return out;
}

struct Row {
    qint64 id, parent;
    QString name;
    int image, selected;
    QString mm;
    bool operator==(const Row& o) const
    {
        return id == o.id && parent == o.parent && name == o.name && image == o.image && selected == o.selected
            && mm == o.mm;
    }
};

inline QList<Row> rows(DataStore& s)
{
    QList<Row> out;
    RecordSet rs = s.query(QStringLiteral("select id,fxmid,xmmc,tpid,xztp,mm from wjfz order by id"));
    for (; !rs.atEnd(); rs.next())
        out.append({rs.number(0), rs.number(1), rs.text(2), int(rs.number(3)), int(rs.number(4)), rs.text(5)});
    return out;
}

// The paths of the tree from top to bottom.
inline QStringList order(const GroupTree& t)
{
    QStringList out;
    for (const GroupTree::Node* n : t.displayOrder())
        out << n->path();
    return out;
}

// "" when the table is exactly the tree in display order (ids 1 ... n,
// fxmid the parent's id), otherwise what differs.
inline QString rewriteFault(DataStore& s, const GroupTree& t)
{
    const QList<Row> r = rows(s);
    const QList<const GroupTree::Node*> nodes = t.displayOrder();
    if (r.size() != nodes.size())
        return QStringLiteral("%1 rows for %2 groups").arg(r.size()).arg(nodes.size());
    for (int k = 0; k < r.size(); ++k) {
        const GroupTree::Node* n = nodes.at(k);
        if (r[k].id != k + 1 || n->id != k + 1)
            return QStringLiteral("row %1 has id %2 (node %3)").arg(k).arg(r[k].id).arg(n->id);
        if (r[k].name != n->name)
            return QStringLiteral("row %1 is %2, the tree shows %3").arg(k).arg(r[k].name, n->name);
        const qint64 parent = n->parent->isRoot() ? 0 : n->parent->id;
        if (r[k].parent != parent)
            return QStringLiteral("row %1 has fxmid %2, parent is %3").arg(k).arg(r[k].parent).arg(parent);
        if (parent >= r[k].id)
            return QStringLiteral("row %1 comes before its parent").arg(k);
    }
    return {};
}

class FakeWorkspace final : public Workspace {
public:
    QList<qint64> selectedIds() const override { return {}; }
    qint64 currentId() const override { return -1; }
    QList<Column> shownColumns() const override { return {}; }
    QString selectedGroupPath() const override { return path; }
    bool isRootSelected() const override { return path.isEmpty(); }
    void reloadList() override { ++listReloads; }
    void reloadTree() override { ++treeReloads; }
    void setProgress(int) override {}

    QString path;
    int listReloads = 0;
    int treeReloads = 0;
};

// A tree pane on the context's store folder, protected groups and operator.
inline std::unique_ptr<GroupTreePane> makeTreePane(AppContext& c, DataStore& s)
{
    return std::make_unique<GroupTreePane>(s, StoreFolder(c.home), c.protectedGroups, c.currentOperator);
}

// The tree's commands as the main window's command table wires them, with
// the fake workspace standing in for the main window.
inline void wireTree(CommandRouter& router, GroupTreePane& pane, FakeWorkspace& workspace)
{
    auto add = [&router](const char* id, std::function<void()> handler) {
        router.add(QString::fromLatin1(id), CommandTable::rightOf(QString::fromLatin1(id)), std::move(handler));
    };
    GroupTreePane* p = &pane;
    add(Cmd::TreeAddGroup, [p] { p->addGroup(); });
    add(Cmd::TreeRenameGroup, [p] { p->renameGroup(); });
    add(Cmd::TreeDeleteGroup, [p] { p->deleteGroup(); });
    add(Cmd::TreeMoveUp, [p] { p->moveUp(); });
    add(Cmd::TreeMoveDown, [p] { p->moveDown(); });
    add(Cmd::TreeExpandAll, [p] { p->expandAll(); });
    add(Cmd::TreeCollapseAll, [p] { p->collapseAll(); });
    add(Cmd::TreeSetPassword, [p] { p->setPassword(); });
    add(Cmd::TreeCopyGroup, [p] { p->copyGroup(); });
    QObject::connect(p, &GroupTreePane::reloadListRequested, p, [&workspace] { workspace.reloadList(); });
}

// Types text into w key by key, Chinese characters included.
inline void type(QWidget* w, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Runs f on the modal window named `name` as soon as it is shown.
inline void whenModal(const QString& name, std::function<void(QWidget*)> f)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, name, f, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->objectName() == name) {
            timer->stop();
            timer->deleteLater();
            QPointer<QWidget> window(w);
            f(w);
            // A check that failed inside f left the window open: close it,
            // so the failure is reported instead of the test hanging.
            if (QTest::currentTestFailed() && window && window->isVisible())
                window->close();
            return;
        }
        // Give up after a few seconds so that a broken test cannot hang.
        if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

}  // namespace GroupTestSupport
