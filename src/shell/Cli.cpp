#include "shell/Cli.h"

#include "archive/ArchiveCheck.h"
#include "archive/BatchExport.h"
#include "archive/BatchImport.h"
#include "archive/ContentIndexer.h"
#include "archive/ExportGuard.h"
#include "archive/FilterClause.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/RecordDeletion.h"
#include "archive/Trash.h"
#include "archive/StoreFolder.h"
#include "platform/InstanceLock.h"
#include "platform/Job.h"
#include "platform/PrivateFolder.h"
#include "platform/Terminal.h"
#include "settings/ArchiveCare.h"
#include "shell/AppContext.h"
#include "settings/LoginService.h"
#include "shell/StartupSequence.h"
#include "platform/TextTokens.h"
#include "store/ContentConditions.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/RecordDump.h"
#include "store/RecordRows.h"
#include "store/StoreJob.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/Rights.h"
#include "store/Schema.h"
#include "store/WjColumns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace Cli {

namespace {

const QString kProgram = QStringLiteral("korvane-cli");
const QString kNoRight = QStringLiteral("您没有此操作权限!");

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

int say(int status, const QString& text)
{
    err() << kProgram << ": " << text << Qt::endl;
    return status;
}

// What a command gets: its arguments and flags, the archive, the operator.
struct Run {
    QStringList args;
    QStringList flags;
    AppContext* context = nullptr;
    DataStore* store = nullptr;
    QHash<QString, QString> values;  // the flags that take a value, by flag
    bool has(const char* flag) const { return flags.contains(QLatin1String(flag)); }
    QString value(const char* flag) const { return values.value(QLatin1String(flag)); }
    bool hasValue(const char* flag) const { return values.contains(QLatin1String(flag)); }
};

struct Command {
    QString name;       // "groups", "groups add"
    QString usage;      // arguments after the name
    QString help;       // one line
    QString right;      // empty: none needed
    QStringList flags;  // the flags it takes
    int minArgs = 0;
    int maxArgs = 0;  // -1: any number
    std::function<int(Run&)> work;
    bool migrates = true;  // opened as the program opens it (check sees it as it is)
    bool sweeps = false;   // changes the archive: the store folder is swept first, as at start-up
    // The flags followed by a value ("--group G" or "--group=G").
    QStringList valueFlags = {};
};

// ------------------------------------------------------------- commands

// Reads the group tree; false after saying why not.
bool loadTree(GroupTree& tree)
{
    if (const Status loaded = tree.load(); !loaded) {
        say(Failed, QStringLiteral("读取分组失败: ") + loaded.detail());
        return false;
    }
    return true;
}

int listGroups(Run& run)
{
    GroupTree tree(*run.store, run.context->protectedGroups);
    if (!loadTree(tree))
        return Failed;
    for (const GroupTree::Node* n : tree.displayOrder())
        out() << n->path() << '\n';
    out().flush();
    return Ok;
}

int addGroups(Run& run)
{
    const QStringList names = GroupPath::split(run.args.at(0));
    if (names.isEmpty())
        return say(Failed, GroupTree::EmptyName);
    GroupTree tree(*run.store, run.context->protectedGroups);
    if (!loadTree(tree))
        return Failed;
    qint64 parent = 0;
    QString path;
    for (const QString& name : names) {
        path = GroupPath::child(path, name);
        if (const GroupTree::Node* n = tree.findPath(path)) {
            parent = n->id;
            continue;
        }
        // Nothing is added inside a protected group that is not open.
        if (parent != 0 && tree.isClosed(parent))
            return say(Failed, GroupTree::NotOpen);
        const GroupTree::Result added = tree.add(parent, name);
        if (!added)
            return say(Failed, added.message.isEmpty() ? GroupTree::SaveFailed : added.message);
        const GroupTree::Node* n = tree.findPath(path);
        if (!n)
            return say(Failed, GroupTree::SaveFailed);
        parent = n->id;
        out() << path << '\n';
    }
    out().flush();
    return Ok;
}

// A group named on the command line: its node, or null after saying why.
// The root is \ (or empty, or its name) where allowRoot.
const GroupTree::Node* namedGroup(GroupTree& tree, const QString& group, bool allowRoot)
{
    if (allowRoot && (group.isEmpty() || group == QLatin1String("\\") || group == GroupTree::RootText))
        return &tree.root();
    const GroupTree::Node* node = tree.findPath(group);
    if (!node || node == &tree.root())
        say(Failed, QStringLiteral("分组不存在: ") + group);
    return node == &tree.root() ? nullptr : node;
}

QString tsvField(QString s)
{
    s.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    s.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    s.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    s.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return s;
}

int listRecords(Run& run)
{
    GroupTree tree(*run.store, run.context->protectedGroups);
    if (!loadTree(tree))
        return Failed;
    const GroupTree::Node* node = namedGroup(tree, run.args.at(0), true);
    if (!node)
        return Failed;
    const GroupTree::Filter filter = tree.filterFor(node->id);
    if (!filter.allowed)
        return say(Failed, filter.message);

    QStringList columns = WjColumns::all();
    columns.removeAll(QStringLiteral("wj"));
    columns.removeAll(QStringLiteral("xh"));
    const bool json = run.has("--json");
    QJsonArray rows;
    // The titles go out once the records can be read.
    bool titled = json;
    const auto title = [&] {
        if (!titled)
            out() << columns.join(QLatin1Char('\t')) << '\n';
        titled = true;
    };
    const Status listed = RecordDump::each(*run.store, columns, filter.clause, [&](const QVariantList& values) {
        title();
        if (json) {
            QJsonObject o;
            for (int i = 0; i < columns.size(); ++i) {
                const QString& c = columns.at(i);
                if (c == QLatin1String("id") || c == QLatin1String("dxsz") || c == QLatin1String("ylcs"))
                    o.insert(c, values.at(i).toLongLong());
                else
                    o.insert(c, values.at(i).toString());
            }
            rows.append(o);
        } else {
            QStringList fields;
            for (const QVariant& v : values)
                fields << tsvField(v.toString());
            out() << fields.join(QLatin1Char('\t')) << '\n';
        }
    });
    if (!listed)
        return say(Failed, QStringLiteral("读取文件列表失败: ") + listed.detail());
    title();
    if (json)
        out() << QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Indented));
    out().flush();
    return Ok;
}

// The records whose content holds the text, in the list's order, each with
// its excerpt; closed protected groups are left out, as the search window
// leaves them out, and a closed group named by --group is refused.
int searchContent(Run& run)
{
    const QString query = TextTokens::normalize(run.args.at(0));
    if (query.isEmpty())
        return say(BadUsage, QStringLiteral("请输入要查找的内容!"));
    FilterClause filter;
    if (run.hasValue("--group")) {
        GroupTree tree(*run.store, run.context->protectedGroups);
        if (!loadTree(tree))
            return Failed;
        const GroupTree::Node* node = namedGroup(tree, run.value("--group"), true);
        if (!node)
            return Failed;
        if (node == &tree.root()) {
            QStringList closed;
            if (!run.context->protectedGroups.readClosedPaths(*run.store, &closed))
                return say(Failed, QStringLiteral("读取分组失败: ") + run.store->lastError());
            filter = FilterClause::everything().excludingGroups(closed);
        } else {
            const GroupTree::Filter scope = tree.filterFor(node->id);
            if (!scope.allowed)
                return say(Failed, scope.message);
            filter = scope.clause;
        }
    } else {
        QStringList closed;
        if (!run.context->protectedGroups.readClosedPaths(*run.store, &closed))
            return say(Failed, QStringLiteral("读取分组失败: ") + run.store->lastError());
        filter = FilterClause::everything().excludingGroups(closed);
    }
    FieldCondition holds;
    holds.kind = FieldCondition::Kind::Content;
    holds.op = FieldCondition::Op::Contains;
    holds.text = run.args.at(0);
    filter.conditions << holds;
    if (const Status found = ContentConditions::resolve(*run.store, filter); !found)
        return say(Failed, QStringLiteral("查找内容失败: ") + found.detail());
    // Records whose text is not read yet cannot be found: say how far the
    // index has come.
    if (const Result<ContentIndex::Counts> counts = ContentIndex::progress(*run.store);
        counts && counts->done < counts->total)
        say(Ok, QStringLiteral("内容索引尚未完成：已读 %1 / %2 个文件").arg(counts->done).arg(counts->total));

    const QStringList columns{QStringLiteral("id"), QStringLiteral("bh"), QStringLiteral("mc"), QStringLiteral("lx"),
                              QStringLiteral("fz")};
    QList<QVariantList> rows;
    const Status listed =
        RecordDump::each(*run.store, columns, filter, [&rows](const QVariantList& values) { rows.append(values); });
    if (!listed)
        return say(Failed, QStringLiteral("读取文件列表失败: ") + listed.detail());
    const bool json = run.has("--json");
    QJsonArray found;
    if (!json)
        out() << (QStringList(columns) << QStringLiteral("excerpt")).join(QLatin1Char('\t')) << '\n';
    for (const QVariantList& values : std::as_const(rows)) {
        const Result<QString> excerpt =
            ContentIndex::excerpt(*run.store, values.at(0).toLongLong(), query, ContentConditions::ExcerptAround);
        if (!excerpt)
            return say(Failed, QStringLiteral("读取文件内容失败: ") + excerpt.detail());
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("id"), values.at(0).toLongLong());
            for (int i = 1; i < columns.size(); ++i)
                o.insert(columns.at(i), values.at(i).toString());
            o.insert(QStringLiteral("excerpt"), *excerpt);
            found.append(o);
        } else {
            QStringList fields;
            for (const QVariant& v : values)
                fields << tsvField(v.toString());
            fields << tsvField(*excerpt);
            out() << fields.join(QLatin1Char('\t')) << '\n';
        }
    }
    if (json)
        out() << QString::fromUtf8(QJsonDocument(found).toJson(QJsonDocument::Indented));
    out().flush();
    return rows.isEmpty() ? Failed : Ok;
}

int check(Run& run)
{
    // The check's job on a connection of its own, here on this thread; a
    // finding clears the bar before its line goes out.
    TerminalProgress progress(QStringLiteral("检查"), true);
    const StoreFolder folder(run.context->home);
    const ProtectedGroups& open = run.context->protectedGroups;
    const CurrentOperator& op = run.context->currentOperator;
    const bool repair = run.has("--repair");
    JobOf<ArchiveCheck::Report> job(
        QStringLiteral("检查"),
        StoreJob::body<ArchiveCheck::Report>(run.store->location(), [&](DataStore& store, JobContext& context) {
            return ArchiveCheck(store, folder, open)
                .run(
                    context,
                    [&](const ArchiveCheck::Finding& f) {
                        progress.clear();
                        out() << f.line() << Qt::endl;
                    },
                    repair, &op);
        }));
    const Status ran = job.runHere(progress);
    progress.clear();
    if (ran.cancelled())
        return say(Failed, QStringLiteral("检查已中断，未得出结论。"));
    if (!ran)
        return say(Failed, QStringLiteral("检查失败: ") + ran.detail());
    const ArchiveCheck::Report& r = job.result().value();
    QString summary = QStringLiteral("共检查 %1 个记录（数据库中 %2 个，存放文件 %3 个），内容 %4 字节；")
                          .arg(r.records)
                          .arg(r.heldRecords)
                          .arg(r.records - r.heldRecords)
                          .arg(r.bytes);
    summary += r.whole() ? QStringLiteral("档案完好。") : QStringLiteral("发现 %1 个问题。").arg(r.problems());
    // What a killed run left is no fault of the archive.
    if (r.leftovers > 0)
        summary += r.leftoversRemoved > 0
            ? QStringLiteral("已删除 %1 个中断残留的临时文件。").arg(r.leftoversRemoved)
            : QStringLiteral("另有 %1 个中断残留的临时文件（--repair 或下次修改档案时删除）。").arg(r.leftovers);
    if (r.quarantined > 0)
        summary += QStringLiteral("已将 %1 个无记录的存放文件移至隔离目录。").arg(r.quarantined);
    out() << summary << Qt::endl;
    return r.whole() ? Ok : Failed;
}

// The content index's catch-up on the terminal's bar (Ctrl-C stops it
// between two files; the next run goes on); 0 on success, else after
// saying why.
int indexContent(Run& run)
{
    JobOf<ContentIndexer::Outcome> job(
        ContentIndexer::Title,
        ContentIndexer::job({run.store->location(), StoreFolder(run.context->home), run.context->currentOperator}));
    const Status ran = job.runInTerminal(ContentIndexer::Title);
    if (ran.cancelled())
        return say(Failed, QStringLiteral("内容索引已中断，下次运行时继续。"));
    if (!ran)
        return say(Failed,
                   QStringLiteral("内容索引失败: ") + ran.message() + QStringLiteral(" (") + ran.detail()
                       + QLatin1Char(')'));
    const ContentIndexer::Outcome& r = job.result().value();
    out() << QStringLiteral("内容索引: 本次读取 %1 个文件（其中 %2 个未读出文字），已索引 %3/%4 个记录。")
                 .arg(r.read)
                 .arg(r.unread)
                 .arg(r.done)
                 .arg(r.total)
          << Qt::endl;
    return Ok;
}

int importFiles(Run& run)
{
    GroupTree tree(*run.store, run.context->protectedGroups);
    if (!loadTree(tree))
        return Failed;
    const GroupTree::Node* node = namedGroup(tree, run.args.at(0), false);
    if (!node)
        return Failed;
    QStringList paths;
    for (const QString& p : run.args.mid(1)) {
        const QFileInfo fi(p);
        if (!fi.exists())
            return say(Failed, QStringLiteral("文件或文件夹不存在: ") + p);
        paths << fi.absoluteFilePath();
    }
    // Folders with everything below them, only the types the archive takes;
    // with --keep-folders each folder becomes a sub-group, as files dropped
    // on the window do.
    const QString types = Dictionary::readOr(*run.store, Dictionary::FileTypes, Dictionary::AnyType);
    const QList<BatchImport::Item> items = run.has("--keep-folders")
        ? BatchImport::expandKeepingFolders(paths, node->path(), types)
        : BatchImport::into(node->path(), BatchImport::expand(paths, types));
    if (items.isEmpty()) {
        out() << BatchImport::summary(BatchImport::Outcome{}) << Qt::endl;
        return Ok;
    }
    // The same job as the window's, here on this thread with the terminal's bar.
    JobOf<BatchImport::Outcome> job(
        BatchImport::WindowTitle,
        BatchImport::job({run.store->location(), StoreFolder(run.context->home), run.context->currentOperator,
                          run.context->protectedGroups, Dictionary::storedSizeBound(*run.store), node->path(), items,
                          run.has("--skip-same-name"), run.has("--skip-duplicates")}));
    if (const Status ran = job.runInTerminal(QStringLiteral("导入")); !ran)
        return say(Failed, ran.message() + QStringLiteral(" (") + ran.detail() + QLatin1Char(')'));
    const BatchImport::Outcome& outcome = job.result().value();
    if (outcome.logFailed)
        say(Ok, LogWriter::FailureMessage);
    if (!outcome.ok())
        return say(
            Failed,
            QString(outcome.message).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                + (outcome.detail.isEmpty() ? QString() : QStringLiteral(" (") + outcome.detail + QLatin1Char(')')));
    out() << outcome.message << Qt::endl;
    // Files stored although identical content was held already, each with its holder.
    if (!outcome.duplicatesStored.isEmpty()) {
        out() << QStringLiteral("内容相同的文件 %1 个（已导入）:").arg(outcome.duplicatesStored.size()) << Qt::endl;
        for (const QString& d : outcome.duplicatesStored)
            out() << QStringLiteral("  ") << d << Qt::endl;
    }
    // What was added is indexed now; a catch-up that fails or is stopped
    // leaves the records waiting for the next run, the import stands.
    if (outcome.imported > 0)
        indexContent(run);
    return Ok;
}

int exportFiles(Run& run)
{
    GroupTree tree(*run.store, run.context->protectedGroups);
    if (!loadTree(tree))
        return Failed;
    const GroupTree::Node* node = namedGroup(tree, run.args.at(0), true);
    if (!node)
        return Failed;
    if (const GroupTree::Filter filter = tree.filterFor(node->id); !filter.allowed)
        return say(Failed, filter.message);
    const QString folder = QFileInfo(run.args.at(1)).absoluteFilePath();
    // Refused before the folder is made: never into the archive's folders.
    const StoreFolder storeFolder(run.context->home);
    if (const Status allowed = ExportGuard(*run.store, storeFolder).checkFolder(folder); !allowed)
        return say(Failed, allowed.message() + QStringLiteral(" (") + allowed.detail() + QLatin1Char(')'));
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return say(Failed, QStringLiteral("无法建立目录: ") + folder);
    // Files already there stay: a name taken gets " (2)" beside it.
    JobOf<BatchExport::Outcome> job(
        BatchExport::WindowTitle,
        BatchExport::job({run.store->location(), storeFolder, run.context->currentOperator,
                          run.context->protectedGroups, node == &tree.root() ? QString() : node->path(), folder,
                          run.has("--subfolders"), false}));
    if (const Status ran = job.runInTerminal(QStringLiteral("导出")); !ran)
        return say(Failed, ran.message() + QStringLiteral(" (") + ran.detail() + QLatin1Char(')'));
    const BatchExport::Outcome& outcome = job.result().value();
    if (outcome.logFailed)
        say(Ok, LogWriter::FailureMessage);
    for (const BatchExport::Damaged& d : outcome.damaged)
        say(Failed, d.text());
    if (const QString unwritten = BatchExport::failedText(outcome.unwritten); !unwritten.isEmpty())
        say(Failed, unwritten);
    if (!outcome.ok())
        return say(
            Failed,
            outcome.message
                + (outcome.detail.isEmpty() ? QString() : QStringLiteral(" (") + outcome.detail + QLatin1Char(')')));
    out() << outcome.message << Qt::endl;
    return outcome.complete() ? Ok : Failed;
}

int failedWith(const Failure& f)
{
    return say(Failed,
               f.message + (f.detail.isEmpty() ? QString() : QStringLiteral(" (") + f.detail + QLatin1Char(')')));
}

int backupArchive(Run& run)
{
    const ArchivePlace place = ArchivePlace::of(run.context->home, run.context->archive);
    JobOf<qint64> job(QStringLiteral("备份"),
                      ArchiveCare::backupJob(place, QFileInfo(run.args.at(0)).absoluteFilePath()));
    if (const Status ran = job.runInTerminal(job.title(), true); !ran)
        return failedWith(ran.failure());
    out() << job.result().message() << Qt::endl;
    return Ok;
}

int restoreArchive(Run& run)
{
    const ArchivePlace place = ArchivePlace::of(run.context->home, run.context->archive);
    // The copy is made and checked while the archive is still open...
    JobOf<QString> job(QStringLiteral("恢复"),
                       ArchiveCare::prepareRestoreJob(place, QFileInfo(run.args.at(0)).absoluteFilePath()));
    if (const Status ran = job.runInTerminal(job.title(), true); !ran)
        return failedWith(ran.failure());
    const Result<QString>& prepared = job.result();
    if (!prepared.message().isEmpty())
        say(Ok, prepared.message());
    // ...and takes the place of the Data folder once nothing holds it. The
    // locks are held throughout: the new folder's is taken before the swap.
    AppContext& context = *run.context;
    DataStore& store = *run.store;
    const ArchiveCare::Restored restored =
        ArchiveCare::finishRestore(place, *prepared,
                                   {[&store] { store.close(); },
                                    [&context, &store](std::shared_ptr<InstanceLock> lock) {
                                        if (lock) {
                                            context.instanceLocks.clear();
                                            context.instanceLocks.push_back(std::move(lock));
                                        }
                                        return store.open(context.archive);
                                    }});
    if (!restored.swapped)
        return failedWith(restored.swapped.failure());
    out() << restored.swapped.message() << Qt::endl;
    if (!restored.reopened)
        return say(Failed, QStringLiteral("数据库打开失败! ") + store.lastError());
    return Ok;
}

// Before a command that changes the archive, what an interrupted run left
// in the store folder goes, as at the program's start-up: the archive's
// folders are narrowed to the user, and with the locks held (no other run
// is writing) the temporary files are removed and kept files no record
// names are set aside, with the start-up's log line. A read-only archive,
// or one without locks, is left as it is.
void sweepStoreFolder(AppContext& context, DataStore& store)
{
    if (context.instanceLocks.empty() || StartupSequence::archiveReadOnly(context.archive))
        return;
    for (const QString& folder : {context.home.dataFolder(), context.home.storeFolder()}) {
        if (!QFileInfo(folder).isDir())
            continue;
        if (const Status narrowed = PrivateFolder::narrow(folder); !narrowed) {
            const QString text = StartupSequence::narrowFailedText(folder, narrowed.detail());
            say(Ok, text);
            if (!LogWriter(store, context.currentOperator).write(text))
                say(Ok, LogWriter::FailureMessage);
        }
    }
    const StoreFolder folder(context.home);
    const Result<StoreFolder::Swept> swept = folder.sweep(store);
    if (!swept) {
        say(Ok, QStringLiteral("存放目录未清理: ") + swept.detail());
        return;
    }
    const int removed = int(swept->removedStaging.size());
    const int moved = int(swept->quarantined.size());
    if (removed == 0 && moved == 0)
        return;
    const QString text = StartupSequence::sweepLogText(removed, moved, folder.quarantineFolder());
    say(Ok, text);
    if (!LogWriter(store, context.currentOperator).write(text))
        say(Ok, LogWriter::FailureMessage);
}

// ---------------------------------------------------------------- trash

// The records of wj carrying these numbers that the operator may see; the
// numbers with none (or only in closed protected groups) go to *missing.
bool numberedRecords(Run& run, const QStringList& numbers, QList<qint64>* ids, QStringList* missing)
{
    QStringList closed;
    if (!run.context->protectedGroups.readClosedPaths(*run.store, &closed)) {
        say(Failed, QStringLiteral("读取分组失败: ") + run.store->lastError());
        return false;
    }
    for (const QString& number : numbers) {
        const Result<QList<qint64>> found = RecordRows::numbered(*run.store, number);
        if (!found) {
            say(Failed, QStringLiteral("读取文件失败: ") + found.detail());
            return false;
        }
        bool any = false;
        for (const qint64 id : *found) {
            const Result<std::optional<RecordRows::Brief>> b = RecordRows::brief(*run.store, id);
            if (!b) {
                say(Failed, QStringLiteral("读取文件失败: ") + b.detail());
                return false;
            }
            bool hidden = false;
            for (const QString& c : std::as_const(closed))
                hidden = hidden || GroupPath::covers(c, (*b)->group);
            if (b->has_value() && !hidden && !ids->contains(id)) {
                *ids << id;
                any = true;
            }
        }
        if (!any)
            *missing << number;
    }
    return true;
}

int deleteNumbered(Run& run)
{
    QList<qint64> ids;
    QStringList missing;
    if (!numberedRecords(run, run.args, &ids, &missing))
        return Failed;
    int status = Ok;
    if (!missing.isEmpty()) {
        say(Failed, QStringLiteral("没有这个编号的文件: ") + missing.join(QLatin1Char(' ')));
        status = Failed;
    }
    if (ids.isEmpty())
        return Failed;
    bool logFailed = false;
    JobOf<RecordDeletion::Outcome> job(
        QStringLiteral("正在删除文件..."),
        RecordDeletion::job({run.store->location(), StoreFolder(run.context->home), run.context->currentOperator,
                             Dictionary::storedSizeBound(*run.store)},
                            ids, [&](const Result<StoredRecord>& r) {
                                if (r.ok() && r->logFailed)
                                    logFailed = true;
                            }));
    if (const Status ran = job.runInTerminal(QStringLiteral("删除")); !ran)
        return failedWith(ran.failure());
    if (logFailed)
        say(Ok, LogWriter::FailureMessage);
    // What is still among the records did not go.
    QStringList stayed;
    for (const qint64 id : std::as_const(ids)) {
        const Result<std::optional<RecordRows::Brief>> b = RecordRows::brief(*run.store, id);
        if (!b || b->has_value())
            stayed << (b && b->has_value() ? (*b)->number : QStringLiteral("id %1").arg(id));
    }
    out() << QStringLiteral("已将 %1 个文件移入回收站。").arg(ids.size() - stayed.size()) << Qt::endl;
    if (!stayed.isEmpty())
        return say(Failed, QStringLiteral("未能删除: ") + stayed.join(QLatin1Char(' ')));
    return status;
}

Trash::Setup trashSetup(Run& run)
{
    return {run.store->location(), StoreFolder(run.context->home), run.context->currentOperator,
            run.context->protectedGroups};
}

int listTrash(Run& run)
{
    const Result<QList<Trash::Entry>> entries = Trash::visible(*run.store, run.context->protectedGroups);
    if (!entries)
        return say(Failed, QStringLiteral("读取回收站失败: ") + entries.detail());
    const bool json = run.has("--json");
    QJsonArray rows;
    if (!json)
        out() << QStringLiteral("bh\tmc\tlx\tfz\thsr\thssj\tdxsz\n");
    for (const Trash::Entry& e : *entries) {
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("bh"), e.number);
            o.insert(QStringLiteral("mc"), e.name);
            o.insert(QStringLiteral("lx"), e.type);
            o.insert(QStringLiteral("fz"), e.group);
            o.insert(QStringLiteral("hsr"), e.deletedBy);
            o.insert(QStringLiteral("hssj"), e.deletedAt);
            o.insert(QStringLiteral("dxsz"), e.size);
            rows.append(o);
        } else {
            out() << QStringList{tsvField(e.number),     tsvField(e.name),      tsvField(e.type),
                                 tsvField(e.group),      tsvField(e.deletedBy), tsvField(e.deletedAt),
                                 QString::number(e.size)}
                         .join(QLatin1Char('\t'))
                  << '\n';
        }
    }
    if (json)
        out() << QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Indented));
    out().flush();
    return Ok;
}

// Restores or purges the numbers given (purge --all: every record shown).
int trashRun(Run& run, bool restoring)
{
    QList<qint64> ids;
    QStringList missing;
    if (!restoring && run.has("--all")) {
        if (!run.args.isEmpty())
            return say(BadUsage, QStringLiteral("--all 不能与编号同时使用"));
        const Result<QList<Trash::Entry>> entries = Trash::visible(*run.store, run.context->protectedGroups);
        if (!entries)
            return say(Failed, QStringLiteral("读取回收站失败: ") + entries.detail());
        for (const Trash::Entry& e : *entries)
            ids << e.id;
    } else {
        if (run.args.isEmpty())
            return say(BadUsage, QStringLiteral("请给出文件编号"));
        const Result<QList<qint64>> found =
            Trash::numbered(*run.store, run.context->protectedGroups, run.args, &missing);
        if (!found)
            return say(Failed, QStringLiteral("读取回收站失败: ") + found.detail());
        ids = *found;
    }
    int status = Ok;
    if (!missing.isEmpty()) {
        say(Failed, Trash::NotInTrash + QLatin1Char(' ') + missing.join(QLatin1Char(' ')));
        status = Failed;
    }
    if (ids.isEmpty()) {
        if (missing.isEmpty())
            out() << Trash::NothingInTrash << Qt::endl;
        return status;
    }
    const QString title = restoring ? Trash::RestoreTitle : Trash::PurgeTitle;
    JobOf<Trash::Outcome> job(
        title, restoring ? Trash::restoreJob(trashSetup(run), ids) : Trash::purgeJob(trashSetup(run), ids));
    const Status ran = job.runInTerminal(restoring ? QStringLiteral("还原") : QStringLiteral("彻底删除"));
    if (!ran)
        return failedWith(ran.failure());
    const Trash::Outcome& r = job.result().value();
    if (r.logFailed)
        say(Ok, LogWriter::FailureMessage);
    out() << (restoring ? QStringLiteral("已还原 %1 个文件。") : QStringLiteral("已彻底删除 %1 个文件。")).arg(r.done)
          << Qt::endl;
    for (const Trash::Item& item : r.refusedItems)
        say(Failed,
            (item.number.isEmpty() ? QStringLiteral("id %1").arg(item.id) : item.number) + QStringLiteral(": ")
                + item.message);
    if (r.cancelled)
        return say(Failed, QStringLiteral("已中断，其余文件仍在回收站中。"));
    return r.refused > 0 ? Failed : status;
}

int restoreTrash(Run& run)
{
    return trashRun(run, true);
}

int purgeTrash(Run& run)
{
    return trashRun(run, false);
}

const QList<Command>& commands()
{
    static const QList<Command> table = {
        {QStringLiteral("groups"), QString(), QStringLiteral("列出分组树，每行一个分组路径"), {}, {}, 0, 0, listGroups},
        {QStringLiteral("groups add"),
         QStringLiteral("PATH"),
         QStringLiteral("建立路径（如 合同\\2026）中缺少的分组"),
         Rights::Grouping,
         {},
         1,
         1,
         addGroups,
         true,
         true},
        {QStringLiteral("list"),
         QStringLiteral("GROUP [--json]"),
         QStringLiteral("列出分组及其下级分组的文件记录（制表符分隔，或 JSON）；GROUP 为 \\ 时列出全部"),
         {},
         {QStringLiteral("--json")},
         1,
         1,
         listRecords},
        {QStringLiteral("search"),
         QStringLiteral("TEXT [--group GROUP] [--json]"),
         QStringLiteral("列出内容含有 TEXT 的文件记录及其摘录（制表符分隔，或 JSON）；没有找到时退出状态为 1"),
         {},
         {QStringLiteral("--json")},
         1,
         1,
         searchContent,
         true,
         false,
         {QStringLiteral("--group")}},
        {QStringLiteral("import"),
         QStringLiteral("GROUP PATH... [--skip-same-name] [--skip-duplicates] [--keep-folders]"),
         QStringLiteral("把文件和文件夹（含子文件夹）导入分组；--keep-folders 把每个文件夹建为同名的下级分组；"
                        "--skip-duplicates 跳过内容相同的文件"),
         Rights::BatchImport,
         {QStringLiteral("--skip-same-name"), QStringLiteral("--skip-duplicates"), QStringLiteral("--keep-folders")},
         2,
         -1,
         importFiles,
         true,
         true},
        {QStringLiteral("delete"),
         QStringLiteral("NUMBER..."),
         QStringLiteral("把编号为 NUMBER 的文件移入回收站；有文件未能删除时退出状态为 1"),
         Rights::Delete,
         {},
         1,
         -1,
         deleteNumbered,
         true,
         true},
        {QStringLiteral("trash list"),
         QStringLiteral("[--json]"),
         QStringLiteral("列出回收站中的文件（制表符分隔，或 JSON）"),
         {},
         {QStringLiteral("--json")},
         0,
         0,
         listTrash},
        {QStringLiteral("trash restore"),
         QStringLiteral("NUMBER..."),
         QStringLiteral("把回收站中编号为 NUMBER 的文件还原到原分组（分组不存在时重新建立）"),
         Rights::Add,
         {},
         1,
         -1,
         restoreTrash,
         true,
         true},
        {QStringLiteral("trash purge"),
         QStringLiteral("NUMBER... | --all"),
         QStringLiteral("彻底删除回收站中编号为 NUMBER 的文件；--all 清空回收站，删除后不能恢复"),
         Rights::Delete,
         {QStringLiteral("--all")},
         0,
         -1,
         purgeTrash,
         true,
         true},
        {QStringLiteral("index"),
         QString(),
         QStringLiteral("读取尚未索引的文件内容，建立内容索引（Ctrl-C 中断后下次继续）"),
         {},
         {},
         0,
         0,
         indexContent},
        {QStringLiteral("export"),
         QStringLiteral("GROUP DIR [--subfolders]"),
         QStringLiteral("把分组的文件导出到目录"),
         Rights::BatchExport,
         {QStringLiteral("--subfolders")},
         2,
         2,
         exportFiles},
        {QStringLiteral("backup"),
         QStringLiteral("DIR"),
         QStringLiteral("备份数据库（含存放文件）到目录"),
         Rights::GlobalSettings,
         {},
         1,
         1,
         backupArchive},
        {QStringLiteral("restore"),
         QStringLiteral("DIR"),
         QStringLiteral("从备份目录恢复数据库"),
         Rights::GlobalSettings,
         {},
         1,
         1,
         restoreArchive,
         true,
         true},
        {QStringLiteral("check"),
         QStringLiteral("[--repair]"),
         QStringLiteral("检查档案是否完好；--repair 删除中断残留的临时文件，把无记录的存放文件移至隔离目录"),
         Rights::GlobalSettings,
         {QStringLiteral("--repair")},
         0,
         0,
         check,
         false},
    };
    return table;
}

QString programUsage()
{
    QString text = QStringLiteral(
        "用法: korvane-cli [--home DIR] [--user NAME] [--password-file FILE] [--group-password GROUP]... COMMAND "
        "[ARGS]\n"
        "\n"
        "  --home DIR             程序目录（默认为程序所在目录）\n"
        "  --user NAME            登录的操作员（默认 Admin）\n"
        "  --password-file FILE   从文件第一行读取口令（或用环境变量 KORVANE_PASSWORD；都没有时在终端询问）\n"
        "  --group-password GROUP 本次运行打开加密分组 GROUP（密码取自 KORVANE_GROUP_PASSWORD 或在终端询问）\n"
        "  --help                 显示本帮助；COMMAND --help 显示命令的帮助\n"
        "\n命令:\n");
    for (const Command& c : commands())
        text += QStringLiteral("  %1 %2\n      %3\n").arg(c.name, c.usage, c.help);
    text += QStringLiteral("\n退出状态: 0 成功，1 操作失败（check: 发现问题），2 用法错误。\n");
    return text;
}

QString commandUsage(const Command& c)
{
    QString text = QStringLiteral("用法: korvane-cli [OPTIONS] %1 %2\n  %3\n").arg(c.name, c.usage, c.help);
    if (!c.right.isEmpty())
        text += QStringLiteral("  需要权限: %1\n").arg(c.right);
    return text;
}

int usageError(const QString& text, const Command* c = nullptr)
{
    err() << kProgram << ": " << text << '\n' << (c ? commandUsage(*c) : QStringLiteral("详见 korvane-cli --help\n"));
    err().flush();
    return BadUsage;
}

// The operator's password: the environment, the file, or the terminal.
bool readPassword(const QString& file, const QString& user, QString* password)
{
    if (qEnvironmentVariableIsSet("KORVANE_PASSWORD")) {
        *password = qEnvironmentVariable("KORVANE_PASSWORD");
        return true;
    }
    if (!file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        *password = QString::fromUtf8(line);
        return true;
    }
    if (Terminal::isTerminal(STDIN_FILENO)) {
        bool ok = false;
        *password = Terminal::readSecret(user + QStringLiteral(" 的口令: "), &ok);
        return ok;
    }
    password->clear();  // no way to ask: the empty password, as an empty box
    return true;
}

}  // namespace

int run(const QStringList& args, const QString& programFolder)
{
    out().setEncoding(QStringConverter::Utf8);
    err().setEncoding(QStringConverter::Utf8);

    QString home = programFolder;
    QString user = LoginService::DefaultUser;
    QString passwordFile;
    QStringList openGroups;
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](const char* name, QString* into) {
            if (a == QLatin1String(name)) {
                if (i + 1 >= args.size())
                    return -1;
                *into = args.at(++i);
                return 1;
            }
            const QString prefix = QLatin1String(name) + QLatin1Char('=');
            if (a.startsWith(prefix)) {
                *into = a.mid(prefix.size());
                return 1;
            }
            return 0;
        };
        QString group;
        int r = 0;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out() << programUsage();
            out().flush();
            return Ok;
        }
        if ((r = value("--home", &home)) || (r = value("--user", &user))
            || (r = value("--password-file", &passwordFile)) || (r = value("--group-password", &group))) {
            if (r < 0)
                return usageError(QStringLiteral("%1 需要一个值").arg(a));
            if (!group.isEmpty())
                openGroups << group;
            continue;
        }
        if (a.startsWith(QLatin1Char('-')))
            return usageError(QStringLiteral("未知选项: %1").arg(a));
        break;
    }
    if (i >= args.size())
        return usageError(QStringLiteral("没有给出命令"));

    // The command: the longest name that the words begin with.
    const Command* command = nullptr;
    int words = 0;
    for (const Command& c : commands()) {
        const QStringList parts = c.name.split(QLatin1Char(' '));
        if (i + parts.size() > args.size() || args.mid(i, parts.size()) != parts || parts.size() <= words)
            continue;
        command = &c;
        words = int(parts.size());
    }
    if (!command)
        return usageError(QStringLiteral("未知命令: %1").arg(args.at(i)));
    Run run;
    for (int k = i + words; k < args.size(); ++k) {
        const QString& a = args.at(k);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out() << commandUsage(*command);
            out().flush();
            return Ok;
        }
        if (const QString flag = a.section(QLatin1Char('='), 0, 0); command->valueFlags.contains(flag)) {
            if (flag.size() < a.size())
                run.values.insert(flag, a.mid(flag.size() + 1));
            else if (k + 1 < args.size())
                run.values.insert(flag, args.at(++k));
            else
                return usageError(QStringLiteral("%1 需要一个值").arg(flag), command);
            continue;
        }
        if (a.startsWith(QLatin1String("--"))) {
            if (!command->flags.contains(a))
                return usageError(QStringLiteral("%1 不接受选项 %2").arg(command->name, a), command);
            run.flags << a;
        } else {
            run.args << a;
        }
    }
    if (run.args.size() < command->minArgs || (command->maxArgs >= 0 && run.args.size() > command->maxArgs))
        return usageError(QStringLiteral("%1 的参数个数不对").arg(command->name), command);

    // The archive, as the program opens it; one program at a time.
    AppContext context(home);
    context.archive = ArchiveLocation::file(context.home.databasePath(context.config));
    if (!QFileInfo(context.archive.filePath()).isFile())
        return say(Failed,
                   StartupSequence::DatabaseMissingMessage + QStringLiteral(" (") + context.archive.display()
                       + QLatin1Char(')'));
    for (const QString& lockPath : StartupSequence::lockPaths(context)) {
        InstanceLock::Attempt a = InstanceLock::acquire(lockPath);
        if (a.lock)
            context.instanceLocks.push_back(std::move(a.lock));
        else if (a.held)
            return say(Failed, StartupSequence::AlreadyRunningMessage);
        else  // a folder that takes no lock file: the archive is read-only
            qWarning("no instance lock: %s", qPrintable(a.detail));
    }
    if (const QStringList kept = ArchiveCare::keepRestoreLeftovers(ArchivePlace::of(context.home, context.archive));
        !kept.isEmpty())
        say(Ok, ArchiveCare::leftoversKeptText(kept));
    Terminal::catchInterrupt();
    DataStore store;
    if (command->migrates) {
        TerminalProgress upgrade(QStringLiteral("升级数据库"));
        const StoreFolder kept(context.home);
        if (const Status opened = StartupSequence::openArchive(store, context.archive, &upgrade,
                                                               [&kept](const QString& lj) { return kept.resolve(lj); });
            !opened)
            return say(Failed, StartupSequence::OpenFailedMessage + QLatin1Char(' ') + opened.detail());
    } else {
        // Seen as it is: nothing is migrated or swept before the command.
        if (!store.open(context.archive) || !Schema::isArchive(store))
            return say(Failed, StartupSequence::OpenFailedMessage + QLatin1Char(' ') + store.lastError());
        const Result<int> version = Schema::version(store);
        if (!version)
            return say(Failed, StartupSequence::OpenFailedMessage + QLatin1Char(' ') + version.detail());
        if (version.value() != Schema::CurrentVersion)
            return say(Failed,
                       QStringLiteral("数据库版本为 %1，本程序为 %2：请先用 korvane 打开一次。")
                           .arg(version.value())
                           .arg(Schema::CurrentVersion));
    }

    // The login, as the login window does it (the name is not remembered
    // for the next start of the program: a scratch Config takes it).
    QString password;
    if (!readPassword(passwordFile, user, &password))
        return say(Failed,
                   QStringLiteral("无法读取口令")
                       + (passwordFile.isEmpty() ? QString() : QStringLiteral(": ") + passwordFile));
    Config scratch;
    const LoginService::Result login = LoginService(store, scratch).login(user, password);
    if (!login.ok())
        return say(Failed, login.message + (login.detail.isEmpty() ? QString() : QLatin1Char(' ') + login.detail));
    context.currentOperator = login.op;
    if (!command->right.isEmpty() && !context.currentOperator.holds(command->right))
        return say(Failed, kNoRight + QStringLiteral(" (") + command->right + QLatin1Char(')'));
    if (command->sweeps)
        sweepStoreFolder(context, store);

    if (!openGroups.isEmpty()) {
        GroupTree tree(store, context.protectedGroups);
        if (!loadTree(tree))
            return Failed;
        for (const QString& path : std::as_const(openGroups)) {
            const GroupTree::Node* n = tree.findPath(path);
            if (!n)
                return say(Failed, QStringLiteral("分组不存在: ") + path);
            QString groupPassword;
            bool ok = true;
            if (qEnvironmentVariableIsSet("KORVANE_GROUP_PASSWORD"))
                groupPassword = qEnvironmentVariable("KORVANE_GROUP_PASSWORD");
            else if (Terminal::isTerminal(STDIN_FILENO))
                groupPassword = Terminal::readSecret(GroupTree::accessTitle(n->name) + QLatin1Char(' '), &ok);
            const GroupTree::Result opened = ok ? tree.open(n->id, groupPassword) : GroupTree::Result{};
            if (!opened)
                return say(Failed, opened.message.isEmpty() ? GroupTree::WrongAccessPassword : opened.message);
        }
    }

    run.context = &context;
    run.store = &store;
    return command->work(run);
}

}  // namespace Cli
