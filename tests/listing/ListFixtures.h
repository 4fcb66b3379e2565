#pragma once

#include "listing/ui/FileListViews.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/Workspace.h"
#include "shell/ui/CommandTable.h"
#include "store/DataStore.h"

#include <QMap>
#include <QString>
#include <QVariant>

// A Workspace for panes tested without the main window.
class FakeWorkspace : public Workspace {
public:
    QList<qint64> selectedIds() const override { return {}; }
    qint64 currentId() const override { return -1; }
    QList<Column> shownColumns() const override { return {}; }
    QString selectedGroupPath() const override { return {}; }
    bool isRootSelected() const override { return true; }
    void reloadList() override { ++reloads; }
    void reloadTree() override {}
    void setProgress(int) override {}
    int reloads = 0;
};

// The list-layout commands as the main window's command table wires them.
inline void wireList(CommandRouter& router, FileListViews& views)
{
    auto add = [&router](const char* id, std::function<void()> handler) {
        router.add(QString::fromLatin1(id), CommandTable::rightOf(QString::fromLatin1(id)), std::move(handler));
    };
    FileListViews* v = &views;
    add(Cmd::FileChooseColumns, [v] { v->chooseColumns(); });
    add(Cmd::FileSaveWidths, [v] { v->saveWidths(); });
    add(Cmd::FileSortOrder, [v] { v->chooseSortOrder(); });
    add(Cmd::FileReposition, [v] { v->reposition(); });
}

// Inserts one wj row with the given columns (the rest keep their defaults)
// and returns its id, -1 on failure.
inline qint64 insertRecord(DataStore& store, const QMap<QString, QVariant>& values)
{
    QStringList names;
    QStringList marks;
    QVariantList params;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        names << it.key();
        marks << QStringLiteral("?");
        params << it.value();
    }
    if (!store.execute(QStringLiteral("insert into wj(%1) values (%2)").arg(names.join(','), marks.join(',')), params))
        return -1;
    return store.lastInsertId();
}

// The simple record most tests need.
inline qint64 addFile(DataStore& store, int xh, const QString& name, const QString& group = QStringLiteral("公司"),
                      qint64 size = 100, const QString& type = QStringLiteral("doc"))
{
    return insertRecord(store,
                        {{QStringLiteral("xh"), xh},
                         {QStringLiteral("bh"), QString::number(xh).rightJustified(10, QLatin1Char('0'))},
                         {QStringLiteral("mc"), name},
                         {QStringLiteral("fz"), group},
                         {QStringLiteral("lx"), type},
                         {QStringLiteral("dx"), QStringLiteral("%1BYTE").arg(size)},
                         {QStringLiteral("dxsz"), size},
                         {QStringLiteral("scr"), QStringLiteral("Admin")},
                         {QStringLiteral("scsj"), QStringLiteral("2024-01-01 08:00:00")}});
}
