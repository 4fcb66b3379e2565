// Group tree figures on a large archive: listing one group among 100,000
// records, the tree rewrite of 1,000 groups, and renaming a group that holds
// many files.
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "shell/AppContext.h"
#include "platform/ProgramHome.h"
#include "store/HomeLayout.h"
#include "store/DataStore.h"
#include "store/ListStatements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void print(const char* name, double value, const char* unit)
{
    std::printf("%s: %.2f %s\n", name, value, unit);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const Status laidOut =
        dir.isValid() ? HomeLayout::create(dir.path()) : Status::fail(QStringLiteral("no temporary folder"));
    if (!laidOut) {
        std::fprintf(stderr, "cannot lay out a program folder: %s\n", qPrintable(laidOut.message()));
        return 1;
    }
    AppContext context(dir.path());
    DataStore store;
    if (!store.open(context.home.databasePath(context.config)))
        return 1;

    // 50 top-level groups with 19 sub-groups each: 1,000 groups.
    GroupTree tree(store, context.protectedGroups);
    tree.load().ok();
    {
        Transaction tx(store);
        qint64 id = 0;
        for (int top = 0; top < 50; ++top) {
            store.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,0,?,1,2,'')"),
                          {++id, QStringLiteral("部门%1").arg(top)});
            const qint64 parent = id;
            for (int sub = 0; sub < 19; ++sub)
                store.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,?,?,1,2,'')"),
                              {++id, parent, QStringLiteral("年度%1").arg(sub)});
        }
        // 100,000 records spread over the sub-groups.
        for (int i = 0; i < 100000; ++i) {
            const int top = i % 50, sub = (i / 50) % 19;
            store.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz) values (?,?,?,?,'txt','1KB',1024)"),
                          {i + 1, QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')),
                           QStringLiteral("文件%1").arg(i), QStringLiteral("部门%1\\年度%2").arg(top).arg(sub)});
        }
        tx.commit();
    }
    tree.load().ok();

    QElapsedTimer t;
    const GroupTree::Node* group = tree.findPath(QStringLiteral("部门7"));
    t.start();
    int rows = 0;
    for (int k = 0; k < 10; ++k) {
        const GroupTree::Filter f = tree.filterFor(group->id);
        const FilterStatement w = FilterStatement::of(store.backend(), f.clause);
        RecordSet rs =
            store.query(QStringLiteral("select id,mc from wj") + w.where + QStringLiteral(" order by xh"), w.params);
        for (rows = 0; !rs.atEnd(); rs.next())
            ++rows;
    }
    print("list_one_group_of_100000_ms", t.elapsed() / 10.0, "ms");
    std::printf("list_one_group_rows: %d\n", rows);

    t.start();
    for (int k = 0; k < 10; ++k)
        tree.moveDown(tree.findPath(QStringLiteral("部门0"))->id);
    print("rewrite_1000_groups_ms", t.elapsed() / 10.0, "ms");

    t.start();
    tree.rename(tree.findPath(QStringLiteral("部门3"))->id, QStringLiteral("部门3改"));
    print("rename_group_with_2000_files_ms", double(t.elapsed()), "ms");

    t.start();
    for (int k = 0; k < 10; ++k)
        context.protectedGroups.closedPaths(store);
    print("closed_paths_1000_groups_ms", t.elapsed() / 10.0, "ms");
    return 0;
}
