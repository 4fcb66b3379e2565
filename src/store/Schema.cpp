#include "store/Schema.h"

#include "store/Backend.h"

#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/DataStore.h"
#include "store/FieldTokens.h"
#include "store/PasswordHash.h"
#include "store/RecordContent.h"
#include "store/Rights.h"
#include "store/WjColumns.h"

#include <QFileInfo>
#include <QDir>
#include <QRegularExpression>

namespace Schema {

namespace {

struct TableDef {
    const char* name;
    const char* ddl;
};

// SQLite types keep the column meanings: COUNTER is an INTEGER PRIMARY KEY
// (without AUTOINCREMENT, so an emptied table numbers from 1 again), Long is
// INTEGER, Text and Memo are TEXT, Yes/No is INTEGER 0/1, OLE object is BLOB.
const TableDef kTables[] = {
    {"wj",
     "create table wj ("
     "id integer primary key, xh integer default 0, bh text default '', mc text default '',"
     " fz text default '', lx text default '', dx text default '', dxsz integer default 0,"
     " b1 text default '', b2 text default '', b3 text default '', b4 text default '', b5 text default '',"
     " b6 text default '', b7 text default '', b8 text default '', b9 text default '', b10 text default '',"
     " b11 text default '', b12 text default '', b13 text default '', b14 text default '', b15 text default '',"
     " scr text default '', scsj text default '', xgr text default '', xgsj text default '',"
     " bz text default '', ylcs integer default 0, lj text default '', wj blob, sha256 text)"},
    {"wjfz",
     "create table wjfz (id integer primary key, fxmid integer default 0, xmmc text default '',"
     " tpid integer default 0, xztp integer default 0, mm text default '')"},
    {"rz", "create table rz (id integer primary key, sj text default '', czy text default '', nr text default '')"},
    {"czygl",
     "create table czygl (id integer primary key, yhm text default '', mm text default '',"
     " qrmm text default '', zt text default '', ms text default '', qx text default '')"},
    {"zdbh", "create table zdbh (id integer primary key, xm text default '', nr text default '')"},
    {"xx", "create table xx (id integer primary key, xm text default '', bh integer default 0, nr text default '')"},
    {"lbsz",
     "create table lbsz (id integer primary key, bm text default '', bh integer default 0, zdm text default '',"
     " btm text default '', xs integer default 0, wz integer default 0, lk integer default 0, px integer default 0)"},
    {"zcbj",
     "create table zcbj (id integer primary key, pxfs text default '', ylcs integer default 0, wz text default '',"
     " ms integer default 1, bjfs integer default 1, bjys integer default 0, bjtp blob)"},
    {"tj",
     "create table tj (id integer primary key, syr text default '', cjr text default '', mc text default '',"
     " nr text default '', sq text default '')"},
};

// The content held in the database, apart from the list's columns.
const char* kContentTable = "create table if not exists wjnr (id integer primary key, nr blob)";

// The text of a record's content and the index of its words (version 6,
// store/ContentIndex.h says what the columns hold). wjsy keeps the sorted
// record ids of a token in segments, one row each; its rows are read along
// its key alone, so the engine keeps them in key order without a row number.
const char* kContentTextTable =
    "create table if not exists wjwb (id integer primary key, zt integer not null default 0,"
    " nr text not null default '', sj text not null default '', cd integer not null default 0,"
    " sy integer not null default 0)";
const char* kContentWordsTable =
    "create table if not exists wjsy (token text not null, first_id integer not null, n integer not null,"
    " ids blob, pm blob, primary key(token, first_id))";

// Version 7: where in its text a record holds a token, as positions modulo
// 16 (store/ContentIndex.h), beside each segment's ids; NULL (segments
// written before) says nothing about positions.
const char* kContentPositionsColumn = "alter table wjsy add column pm blob";
// The pairs and single characters of the searched fields of wj, per field
// (store/FieldTokens.h), in segments like wjsy's; and the records whose
// fields changed since their tokens were written, each with the field text
// its tokens were written from (NULL: none), kept by triggers on wj.
const char* kFieldTokensTable =
    "create table if not exists wjzs (token text not null, first_id integer not null, n integer not null,"
    " ids blob, pm blob, primary key(token, first_id))";
const char* kFieldQueueTable = "create table if not exists wjzq (id integer primary key, old text)";

// Version 8: the trash, the versions of a record's content, and the runs of
// a batch import with the records each added.
// wjhs: a record in the trash: wj's columns as they were, with who moved it
// there (hsr) and when (hssj); its content stays in wjnr or its kept file.
const char* kTrashTable =
    "create table if not exists wjhs ("
    "id integer primary key, xh integer default 0, bh text default '', mc text default '',"
    " fz text default '', lx text default '', dx text default '', dxsz integer default 0,"
    " b1 text default '', b2 text default '', b3 text default '', b4 text default '', b5 text default '',"
    " b6 text default '', b7 text default '', b8 text default '', b9 text default '', b10 text default '',"
    " b11 text default '', b12 text default '', b13 text default '', b14 text default '', b15 text default '',"
    " scr text default '', scsj text default '', xgr text default '', xgsj text default '',"
    " bz text default '', ylcs integer default 0, lj text default '', wj blob, sha256 text,"
    " hsr text default '', hssj text default '')";
// wjbb: a version of record wjid's content (bbh counts from 1 per record):
// who replaced it (czy), when (sj), its size and SHA-256, the name and type
// it had. Its bytes are in bbnr under its SHA-256, once however many
// versions hold them: inline (nr) or in a kept file (lj).
const char* kVersionTable =
    "create table if not exists wjbb (id integer primary key, wjid integer not null, bbh integer not null,"
    " czy text default '', sj text default '', dx integer default 0, sha256 text not null,"
    " mc text default '', lx text default '')";
const char* kVersionContentTable =
    "create table if not exists bbnr (sha256 text primary key, dx integer default 0, nr blob, lj text default '')";
// drpc: a batch import run: when, by whom, into which group, how many it
// added, and whether it was undone (cx = 1); drjl: the records it added.
const char* kImportRunTable =
    "create table if not exists drpc (id integer primary key, sj text default '', czy text default '',"
    " fz text default '', sl integer default 0, cx integer default 0)";
const char* kImportRunRecordsTable =
    "create table if not exists drjl (pc integer not null, wjid integer not null, primary key(pc, wjid))";
const char* kIndexesV8[] = {
    // The duplicate check on the way in: a content's SHA-256 among the
    // records, the trash and the versions.
    "create index if not exists wj_sha256 on wj(sha256)",
    "create index if not exists wjhs_sha256 on wjhs(sha256)",
    "create index if not exists wjhs_hssj on wjhs(hssj)",
    // A number drawn for a new record is checked against the trash too.
    "create index if not exists wjhs_bh on wjhs(bh)",
    "create index if not exists wjbb_wjid on wjbb(wjid, bbh)",
    "create index if not exists wjbb_sha256 on wjbb(sha256)",
    "create index if not exists drjl_wjid on drjl(wjid)",
};

// Version 1 indexes that later versions replace.
const char* kIndexesV1[] = {
    "create index if not exists wj_fz on wj(fz)",
    "create index if not exists wj_xh on wj(xh)",
};

const char* kIndexes[] = {
    // A group's statistics (count and sum of sizes) come from this index
    // alone, and it finds a group's files as one range of fz.
    "create index if not exists wj_fz_dxsz on wj(fz, dxsz)",
    // The manual order with the group beside it: the list reads a large
    // group along this index, first rows first, without sorting it.
    "create index if not exists wj_ord_xh on wj(xh, id, fz)",
    "create index if not exists wj_bh on wj(bh)",
    "create index if not exists wj_mc_lx on wj(mc, lx)",
    // Whether a kept-file name is used: a lookup inside the write transaction.
    "create index if not exists wj_lj on wj(lj)",
    "create unique index if not exists czygl_yhm on czygl(yhm)",
    "create index if not exists rz_sj on rz(sj)",
};

// The search's date and size conditions find their range here (version 4).
const char* kSearchIndexes[] = {
    "create index if not exists wj_scsj on wj(scsj)",
    "create index if not exists wj_dxsz on wj(dxsz)",
};

// The bookmark of a search-index build under way: the highest wj.id indexed.
const char* kSearchBuildMark = "create table if not exists wj_ss_jd (id integer primary key, upto integer)";

QString searchColumnList(const QString& prefix = {})
{
    QStringList out;
    for (const QString& c : searchIndexColumns())
        out << prefix + c;
    return out.join(QLatin1Char(','));
}

QString searchTableDdl(DataStore& store)
{
    return store.backend().searchIndexCreate(searchIndexColumns());
}

// The columns of wj that may head an order index.
const char* kOrderColumns[] = {"xh",  "bh",  "mc",  "fz",   "lx",  "dx",   "dxsz", "b1",   "b2",  "b3",
                               "b4",  "b5",  "b6",  "b7",   "b8",  "b9",   "b10",  "b11",  "b12", "b13",
                               "b14", "b15", "scr", "scsj", "xgr", "xgsj", "bz",   "ylcs", "id"};

struct ListColumn {
    int bh;
    const char* zdm;
    const char* btm;
    bool shown;
    int width;
};

// The listable fields of wj with their fixed numbers; 6..20 are b1..b15.
const ListColumn kListColumns[] = {
    {1, "bh", "文件编号", true, 90},     {2, "mc", "文件名称", true, 200},    {3, "fz", "文件分组", true, 150},
    {4, "lx", "文件类型", true, 60},     {5, "dx", "文件大小", true, 80},     {21, "scr", "上传人", true, 70},
    {22, "scsj", "上传时间", true, 130}, {23, "xgr", "修改人", false, 70},    {24, "xgsj", "修改时间", false, 130},
    {25, "bz", "备注", false, 150},      {26, "ylcs", "阅览次数", false, 70},
};

// True, with *error saying how far a stepped upgrade got, when progress
// asks it to stop (it is asked between steps only).
bool stopRequested(Progress* progress, QString* error, const char* what, qint64 done, qint64 total)
{
    if (!progress || !progress->cancelled())
        return false;
    if (error)
        *error = QStringLiteral("%1 stopped after %2 of %3 records").arg(QLatin1String(what)).arg(done).arg(total);
    return true;
}

bool fail(DataStore& store, QString* error, const QString& what)
{
    if (error)
        *error = what + QStringLiteral(": ") + store.lastError();
    return false;
}

bool createContentIndexTables(DataStore& store, QString* error)
{
    if (!store.execute(QString::fromLatin1(kContentTextTable)))
        return fail(store, error, QStringLiteral("wjwb"));
    if (!store.execute(QString::fromLatin1(kContentWordsTable) + store.backend().keyOrderedTable()))
        return fail(store, error, QStringLiteral("wjsy"));
    return true;
}

bool createFieldTokenTables(DataStore& store, QString* error)
{
    if (!store.execute(QString::fromLatin1(kFieldTokensTable) + store.backend().keyOrderedTable()))
        return fail(store, error, QStringLiteral("wjzs"));
    if (!store.execute(QString::fromLatin1(kFieldQueueTable)))
        return fail(store, error, QStringLiteral("wjzq"));
    for (const QString& ddl : FieldTokens::triggers(store.backend()))
        if (!store.execute(ddl))
            return fail(store, error, QStringLiteral("field token trigger"));
    return true;
}

bool createVersion8Tables(DataStore& store, QString* error)
{
    if (!store.execute(QString::fromLatin1(kTrashTable)))
        return fail(store, error, QStringLiteral("wjhs"));
    if (!store.execute(QString::fromLatin1(kVersionTable)))
        return fail(store, error, QStringLiteral("wjbb"));
    if (!store.execute(QString::fromLatin1(kVersionContentTable)))
        return fail(store, error, QStringLiteral("bbnr"));
    if (!store.execute(QString::fromLatin1(kImportRunTable)))
        return fail(store, error, QStringLiteral("drpc"));
    if (!store.execute(QString::fromLatin1(kImportRunRecordsTable) + store.backend().keyOrderedTable()))
        return fail(store, error, QStringLiteral("drjl"));
    for (const char* ix : kIndexesV8)
        if (!store.execute(QString::fromLatin1(ix)))
            return fail(store, error, QStringLiteral("index"));
    return true;
}

bool createSearchIndex(DataStore& store, QString* error)
{
    if (!store.execute(searchTableDdl(store)))
        return fail(store, error, store.backend().searchIndexTable());
    for (const QString& ddl : store.backend().searchIndexTriggers(searchIndexColumns()))
        if (!store.execute(ddl))
            return fail(store, error, QStringLiteral("search trigger"));
    for (const char* ix : kSearchIndexes)
        if (!store.execute(QString::fromLatin1(ix)))
            return fail(store, error, QStringLiteral("index"));
    return true;
}

bool insertInitialContent(DataStore& store, QString* error)
{
    // zcbj: the single row of main-window settings. bjfs 1 = colour, 2 = picture.
    if (!store.execute(
            QStringLiteral("insert into zcbj(id,pxfs,ylcs,wz,ms,bjfs,bjys,bjtp) values (1,?,0,?,1,1,?,?)"),
            {QString(), QStringLiteral("Korvane文件管理 - 机关企事业信息化管理系统"), 0x2B5FAE, QByteArray()}))
        return fail(store, error, QStringLiteral("zcbj"));

    // zdbh: the counter holds the number the next stored file receives.
    const QVariantList named[] = {
        {1, QStringLiteral("文件编号"), QStringLiteral("1")},
        {2, QStringLiteral("文件类型"), QStringLiteral("A")},
        {3, QStringLiteral("文件尺寸"),
         QStringLiteral("1")},  // MB; larger files are faster and lighter kept in the store folder (bench/store_bench)
    };
    for (const auto& row : named)
        if (!store.execute(QStringLiteral("insert into zdbh(id,xm,nr) values (?,?,?)"), row))
            return fail(store, error, QStringLiteral("zdbh"));

    // lbsz: one row per listable field; positions follow the home order of
    // the shown columns.
    QList<ListColumn> columns(std::begin(kListColumns), std::end(kListColumns));
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        columns.append(ListColumn{WjColumns::FirstSpareBh + i, nullptr, "备用字段", false, 80});
    std::sort(columns.begin(), columns.end(), [](const ListColumn& a, const ListColumn& b) { return a.bh < b.bh; });
    int position = 0;
    for (const ListColumn& c : columns) {
        const QString zdm = c.zdm ? QString::fromUtf8(c.zdm) : QStringLiteral("b%1").arg(c.bh - 5);
        const int wz = c.shown ? ++position : 0;
        if (!store.execute(
                QStringLiteral("insert into lbsz(id,bm,bh,zdm,btm,xs,wz,lk,px) values (?,'wj',?,?,?,?,?,?,0)"),
                {c.bh, c.bh, zdm, QString::fromUtf8(c.btm), c.shown ? 1 : 0, wz, c.width}))
            return fail(store, error, QStringLiteral("lbsz"));
    }

    // xx: the pick lists of b1..b12, offered in field order.
    for (int i = 0; i < 12; ++i)
        if (!store.execute(QStringLiteral("insert into xx(id,xm,bh,nr) values (?,?,?,'')"),
                           {i + 1, QStringLiteral("备用字段"), 6 + i}))
            return fail(store, error, QStringLiteral("xx"));

    // czygl: Admin with every right and an empty password.
    const QString hash = PasswordHash::hash(QString());
    if (hash.isEmpty())
        return fail(store, error, QStringLiteral("password hash"));
    if (!store.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,?,?,?)"),
                       {QStringLiteral("Admin"), hash, hash, QStringLiteral("可用"), QStringLiteral("系统管理员"),
                        allRightsText()}))
        return fail(store, error, QStringLiteral("czygl"));
    return true;
}

Result<int> userVersion(DataStore& store)
{
    return store.backend().schemaVersion(store);
}

bool setUserVersion(DataStore& store, int v)
{
    return store.backend().setSchemaVersion(store, v).ok();
}

// The field an order expression sorts by ("xh", "substr(scsj,1,19)" -> scsj),
// empty when it is not one of wj's columns in a form the list writes.
QString orderField(const QString& expression)
{
    static const QRegularExpression form(QStringLiteral(R"(^(?:substr\((scsj|xgsj),1,19\)|([a-z0-9]+))$)"));
    const auto m = form.match(expression.trimmed().toLower());
    if (!m.hasMatch())
        return {};
    const QString field = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    for (const char* c : kOrderColumns)
        if (field == QLatin1String(c))
            return field;
    return {};
}

// Version 1 -> 2: the content table and the indexes of the list's questions.
bool addContentTable(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    if (!store.execute(QString::fromLatin1(kContentTable)))
        return fail(store, error, QStringLiteral("wjnr"));
    for (const char* ix : kIndexes)
        if (!store.execute(QString::fromLatin1(ix)))
            return fail(store, error, QStringLiteral("index"));
    // Replaced by wj_fz_dxsz and wj_ord_xh, which serve everything they did.
    if (!store.execute(QStringLiteral("drop index if exists wj_fz"))
        || !store.execute(QStringLiteral("drop index if exists wj_xh")))
        return fail(store, error, QStringLiteral("index"));
    if (!setUserVersion(store, 2))
        return fail(store, error, QStringLiteral("user_version"));
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

// Version 2 -> 3: the held content moves from wj.wj into wjnr, a step of
// rows per transaction. Rows already moved hold NULL in wj.wj, so a move
// that stopped goes on with what is left.
bool moveContent(DataStore& store, QString* error, Progress* progress)
{
    const Result<std::optional<QVariant>> left =
        store.scalar(QStringLiteral("select count(*) from wj where wj is not null"));
    if (!left)
        return fail(store, error, QStringLiteral("content count"));
    const qint64 total = left->value_or(0).toLongLong();
    if (progress)
        progress->setRange(0, total);
    qint64 moved = 0;
    qint64 after = -1;
    for (;;) {
        if (stopRequested(progress, error, "content move", moved, total))
            return false;
        Transaction tx(store);
        if (!tx.isActive())
            return fail(store, error, QStringLiteral("begin"));
        // The ids of the next step, in id order along the table.
        const Result<std::optional<QVariant>> step = store.scalar(
            QStringLiteral("select max(id) from (select id from wj where id>? and wj is not null order by id limit ?)"),
            {after, ContentMoveRows});
        if (!step)
            return fail(store, error, QStringLiteral("content step"));
        const QVariant last = step->value_or(QVariant());
        if (last.isNull()) {
            // Nothing left: the content move is complete.
            if (!setUserVersion(store, 3))
                return fail(store, error, QStringLiteral("user_version"));
            if (!tx.commit())
                return fail(store, error, QStringLiteral("commit"));
            return true;
        }
        const qint64 upTo = last.toLongLong();
        // A kept file's record carries an empty wj beside its lj: nothing to move.
        if (!store.execute(QStringLiteral("insert or replace into wjnr(id,nr)"
                                          " select id,wj from wj where id>? and id<=? and wj is not null"
                                          " and (length(wj)>0 or coalesce(lj,'')='')"),
                           {after, upTo}))
            return fail(store, error, QStringLiteral("content move"));
        if (!store.execute(QStringLiteral("update wj set wj=null where id>? and id<=? and wj is not null"),
                           {after, upTo}))
            return fail(store, error, QStringLiteral("content move"));
        const int rows = store.rowsAffected();
        if (!tx.commit())
            return fail(store, error, QStringLiteral("commit"));
        after = upTo;
        moved += rows;
        if (progress)
            progress->setValue(qMin(moved, total));
    }
}

// Version 3 -> 4: the search index, filled from wj a step of records per
// transaction (the bookmark wj_ss_jd says how far it got); the triggers,
// the indexes and the version come with the last step. Nothing else writes
// wj before the archive is at the current version, so the rows indexed by
// the steps are the rows of wj when the triggers take over.
bool addSearchIndex(DataStore& store, QString* error, Progress* progress)
{
    const QString t = store.backend().searchIndexTable();
    qint64 after = 0;
    {
        Transaction tx(store);
        if (!tx.isActive())
            return fail(store, error, QStringLiteral("begin"));
        const Result<bool> exists = store.backend().hasTable(store, t);
        const Result<bool> marked = store.backend().hasTable(store, QStringLiteral("wj_ss_jd"));
        if (!exists || !marked)
            return fail(store, error, QStringLiteral("search index state"));
        if (!*exists || !*marked) {
            // A fresh start: an index left without its bookmark cannot be trusted.
            if (!store.execute(QStringLiteral("drop table if exists %1").arg(t))
                || !store.execute(searchTableDdl(store)) || !store.execute(QString::fromLatin1(kSearchBuildMark))
                || !store.execute(QStringLiteral("delete from wj_ss_jd"))
                || !store.execute(QStringLiteral("insert into wj_ss_jd(id,upto) values (1,0)")))
                return fail(store, error, t);
        }
        const Result<std::optional<QVariant>> upto =
            store.scalar(QStringLiteral("select upto from wj_ss_jd where id=1"));
        if (!upto || !upto->has_value())
            return fail(store, error, QStringLiteral("search index bookmark"));
        after = (*upto)->toLongLong();
        if (!tx.commit())
            return fail(store, error, QStringLiteral("commit"));
    }
    const Result<std::optional<QVariant>> left =
        store.scalar(QStringLiteral("select count(*) from wj where id>?"), {after});
    if (!left)
        return fail(store, error, QStringLiteral("search index count"));
    const qint64 total = left->value_or(0).toLongLong();
    if (progress)
        progress->setRange(0, total);
    qint64 done = 0;
    const QString fill =
        QStringLiteral("insert into %1(rowid,%2) select id,%2 from wj where id>? and id<=?").arg(t, searchColumnList());
    for (;;) {
        if (stopRequested(progress, error, "search index", done, total))
            return false;
        Transaction tx(store);
        if (!tx.isActive())
            return fail(store, error, QStringLiteral("begin"));
        const Result<std::optional<QVariant>> step =
            store.scalar(QStringLiteral("select max(id) from (select id from wj where id>? order by id limit ?)"),
                         {after, SearchIndexRows});
        if (!step)
            return fail(store, error, QStringLiteral("search index step"));
        const QVariant last = step->value_or(QVariant());
        if (last.isNull()) {
            if (!createSearchIndex(store, error))
                return false;
            if (!store.execute(QStringLiteral("drop table wj_ss_jd")) || !setUserVersion(store, 4))
                return fail(store, error, QStringLiteral("user_version"));
            if (!tx.commit())
                return fail(store, error, QStringLiteral("commit"));
            return true;
        }
        const qint64 upTo = last.toLongLong();
        if (!store.execute(fill, {after, upTo}))
            return fail(store, error, QStringLiteral("search index fill"));
        const int rows = store.rowsAffected();
        if (!store.execute(QStringLiteral("update wj_ss_jd set upto=? where id=1"), {upTo}))
            return fail(store, error, QStringLiteral("search index bookmark"));
        if (!tx.commit())
            return fail(store, error, QStringLiteral("commit"));
        after = upTo;
        done += rows;
        if (progress)
            progress->setValue(qMin(done, total));
    }
}

// Version 4 -> 5: the SHA-256 of every record's content, in wj.sha256. The
// hashes are computed outside the write and stored a step at a time (at most
// ContentMoveRows records or HashStepBytes of content, one transaction each),
// so a fill that is stopped or killed keeps what it stored and the next
// migrate() goes on with the records still without one.
constexpr qint64 HashStepBytes = qint64(256) << 20;

bool addContentHashes(DataStore& store, QString* error, Progress* progress, const KeptFileLocator& keptFile)
{
    const Result<bool> has = store.backend().hasColumn(store, QStringLiteral("wj"), QStringLiteral("sha256"));
    if (!has)
        return fail(store, error, QStringLiteral("wj columns"));
    if (!*has && !store.execute(QStringLiteral("alter table wj add column sha256 text")))
        return fail(store, error, QStringLiteral("sha256 column"));
    const Result<std::optional<QVariant>> left =
        store.scalar(QStringLiteral("select count(*) from wj where sha256 is null"));
    if (!left)
        return fail(store, error, QStringLiteral("hash count"));
    const qint64 total = left->value_or(0).toLongLong();
    if (progress)
        progress->setRange(0, total);
    qint64 done = 0;
    qint64 after = -1;
    for (;;) {
        if (stopRequested(progress, error, "content hashes", done, total))
            return false;
        QList<QPair<qint64, QString>> rows;
        {
            RecordSet rs =
                store.query(QStringLiteral("select id,lj from wj where id>? and sha256 is null order by id limit ?"),
                            {after, ContentMoveRows});
            if (!rs)
                return fail(store, error, QStringLiteral("hash step"));
            for (; !rs.atEnd(); rs.next())
                rows.append({rs.number(0), rs.text(1)});
        }
        if (rows.isEmpty()) {
            Transaction tx(store);
            if (!tx.isActive() || !setUserVersion(store, 5) || !tx.commit())
                return fail(store, error, QStringLiteral("user_version"));
            return true;
        }
        QList<QPair<qint64, QString>> hashes;
        qint64 bytes = 0;
        for (const auto& [id, lj] : std::as_const(rows)) {
            after = id;
            ++done;  // a record whose content cannot be read is passed, not waited for
            QString hex;
            if (lj.trimmed().isEmpty()) {
                const Result<QByteArray> held = RecordContent::read(store, id);
                if (held) {
                    hex = Sha256::of(held.value());
                    bytes += held->size();
                }
            } else if (keptFile) {
                const QString path = keptFile(lj);
                hex = path.isEmpty() ? QString() : Sha256::ofFile(path);
                bytes += QFileInfo(path).size();
            }
            if (!hex.isEmpty())
                hashes.append({id, hex});
            if (bytes >= HashStepBytes)
                break;
        }
        Transaction tx(store);
        if (!tx.isActive())
            return fail(store, error, QStringLiteral("begin"));
        for (const auto& [id, hex] : std::as_const(hashes))
            if (!store.execute(QStringLiteral("update wj set sha256=? where id=? and sha256 is null"), {hex, id}))
                return fail(store, error, QStringLiteral("hash write"));
        if (!tx.commit())
            return fail(store, error, QStringLiteral("commit"));
        if (progress)
            progress->setValue(qMin(done, total));
    }
}

// Version 6 -> 7: positions beside the content index's ids, and the field
// tokens with their queue, which every record already stored joins (its
// tokens are written by the catch-up). One transaction with the version.
bool addFieldTokens(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    const Result<bool> hasPositions = store.backend().hasColumn(store, QStringLiteral("wjsy"), QStringLiteral("pm"));
    if (!hasPositions)
        return fail(store, error, QStringLiteral("wjsy"));
    if (!*hasPositions && !store.execute(QString::fromLatin1(kContentPositionsColumn)))
        return fail(store, error, QStringLiteral("wjsy.pm"));
    if (!createFieldTokenTables(store, error))
        return false;
    if (!store.execute(QStringLiteral("insert or ignore into wjzq(id, old) select id, null from wj")))
        return fail(store, error, QStringLiteral("wjzq"));
    if (!setUserVersion(store, 7))
        return fail(store, error, QStringLiteral("user_version"));
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

// Version 7 -> 8: the trash, the versions and the import runs, empty.
bool addTrashAndVersions(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    if (!createVersion8Tables(store, error))
        return false;
    if (!setUserVersion(store, 8))
        return fail(store, error, QStringLiteral("user_version"));
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

// Version 5 -> 6: the tables of the content index, empty; every record's
// content then waits for its text (a catch-up fills them). One transaction
// with the version, and the tables are made only when missing.
bool addContentIndex(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    if (!createContentIndexTables(store, error))
        return false;
    if (!setUserVersion(store, 6))
        return fail(store, error, QStringLiteral("user_version"));
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

}  // namespace

const QStringList& searchIndexColumns()
{
    static const QStringList columns = [] {
        QStringList c{QStringLiteral("bh"), QStringLiteral("mc"), QStringLiteral("fz"), QStringLiteral("lx")};
        for (int i = 0; i < WjColumns::PickListSpares; ++i)
            c << WjColumns::spareColumn(i);
        c << QStringLiteral("scr") << QStringLiteral("xgr") << QStringLiteral("bz");
        return c;
    }();
    return columns;
}

QStringList tableNames()
{
    QStringList names;
    for (const auto& t : kTables)
        names << QString::fromLatin1(t.name);
    return names;
}

QString allRightsText()
{
    return Rights::join(Rights::all());
}

bool isArchive(DataStore& store)
{
    for (const QString& t : tableNames()) {
        const Result<bool> has = store.backend().hasTable(store, t);
        if (!has || !*has)
            return false;
    }
    return true;
}

static bool createInitialImpl(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    for (const auto& t : kTables)
        if (!store.execute(QString::fromUtf8(t.ddl)))
            return fail(store, error, QString::fromLatin1(t.name));
    if (!store.execute(QString::fromLatin1(kContentTable)))
        return fail(store, error, QStringLiteral("wjnr"));
    for (const char* ix : kIndexes)
        if (!store.execute(QString::fromLatin1(ix)))
            return fail(store, error, QStringLiteral("index"));
    if (!createSearchIndex(store, error))
        return false;
    if (!createContentIndexTables(store, error))
        return false;
    if (!createFieldTokenTables(store, error))
        return false;
    if (!createVersion8Tables(store, error))
        return false;
    if (!insertInitialContent(store, error))
        return false;
    if (!setUserVersion(store, CurrentVersion))
        return fail(store, error, QStringLiteral("user_version"));
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

Result<int> version(DataStore& store)
{
    return userVersion(store);
}

static bool migrateImpl(DataStore& store, QString* error, Progress* progress, const KeptFileLocator& keptFile)
{
    const Result<int> read = userVersion(store);
    if (!read) {
        if (error)
            *error = read.detail();
        return false;
    }
    const int version = read.value();
    if (version > CurrentVersion) {
        if (error)
            *error =
                QStringLiteral("archive version %1 is newer than this program (%2)").arg(version).arg(CurrentVersion);
        return false;
    }
    if (!isArchive(store)) {
        if (error)
            *error = QStringLiteral("not an archive database");
        return false;
    }
    if (version == CurrentVersion)
        return true;
    // Version 0 -> 1: an archive made without a version gets the indexes.
    if (version < 1) {
        Transaction tx(store);
        for (const char* ix : kIndexesV1)
            if (!store.execute(QString::fromLatin1(ix)))
                return fail(store, error, QStringLiteral("index"));
        if (!setUserVersion(store, 1) || !tx.commit())
            return fail(store, error, QStringLiteral("migrate"));
    }
    if (version < 2 && !addContentTable(store, error))
        return false;
    if (version < 3 && !moveContent(store, error, progress))
        return false;
    if (version < 4 && !addSearchIndex(store, error, progress))
        return false;
    if (version < 5 && !addContentHashes(store, error, progress, keptFile))
        return false;
    if (version < 6 && !addContentIndex(store, error))
        return false;
    if (version < 7 && !addFieldTokens(store, error))
        return false;
    return addTrashAndVersions(store, error);
}

QString orderIndexName(const QString& expression)
{
    const QString field = orderField(expression);
    return field.isEmpty() ? QString() : QStringLiteral("wj_ord_") + field;
}

static QString ensureOrderIndexImpl(DataStore& store, const QString& expression, QString* error)
{
    const QString field = orderField(expression);
    if (field.isEmpty() || field == QLatin1String("id"))
        return {};  // the table's own order needs no index
    const QString name = orderIndexName(expression);
    // Names and expressions come from the fixed list above, never from input.
    const QString key = field == QLatin1String("scsj") || field == QLatin1String("xgsj")
        ? QStringLiteral("substr(%1,1,19)").arg(field)
        : field;
    if (!store.execute(QStringLiteral("create index if not exists %1 on wj(%2, id, fz)").arg(name, key))) {
        fail(store, error, name);
        return {};
    }
    return name;
}

static bool rebuildImpl(DataStore& store, QString* error)
{
    Transaction tx(store);
    if (!tx.isActive())
        return fail(store, error, QStringLiteral("begin"));
    for (const QString& t : tableNames())
        if (!store.execute(QStringLiteral("delete from %1").arg(t)))
            return fail(store, error, t);
    if (!store.execute(QStringLiteral("delete from wjnr")))
        return fail(store, error, QStringLiteral("wjnr"));
    if (!store.execute(QStringLiteral("delete from wjwb")) || !store.execute(QStringLiteral("delete from wjsy")))
        return fail(store, error, QStringLiteral("content index"));
    for (const char* t : {"wjzs", "wjzq", "wjhs", "wjbb", "bbnr", "drpc", "drjl"})
        if (!store.execute(QStringLiteral("delete from %1").arg(QLatin1String(t))))
            return fail(store, error, QLatin1String(t));
    if (!insertInitialContent(store, error))
        return false;
    if (!tx.commit())
        return fail(store, error, QStringLiteral("commit"));
    return true;
}

static bool createDatabaseFileImpl(const QString& path, QString* error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("file exists: %1").arg(path);
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    bool ok = false;
    {
        DataStore store;
        ok = store.create(path) && createInitialImpl(store, error);
        if (!ok && error && error->isEmpty())
            *error = store.lastError();
    }
    if (!ok)
        QFile::remove(path);
    return ok;
}

// The public face: each reports by Status, the detail naming the statement
// (or the reason) that stopped it.
namespace {
Status asStatus(bool ok, const QString& error)
{
    return ok ? Status() : Status::fail(QString(), error);
}
}  // namespace

Status createInitial(DataStore& store)
{
    QString error;
    const bool ok = createInitialImpl(store, &error);
    return asStatus(ok, error);
}

Status migrate(DataStore& store, Progress* progress, const KeptFileLocator& keptFile)
{
    QString error;
    const bool ok = migrateImpl(store, &error, progress, keptFile);
    return asStatus(ok, error);
}

Result<QString> ensureOrderIndex(DataStore& store, const QString& expression)
{
    QString error;
    const QString name = ensureOrderIndexImpl(store, expression, &error);
    if (!error.isEmpty())
        return Result<QString>::fail(QString(), error);
    return name;
}

Status rebuild(DataStore& store)
{
    QString error;
    const bool ok = rebuildImpl(store, &error);
    return asStatus(ok, error);
}

Status createDatabaseFile(const QString& path)
{
    QString error;
    const bool ok = createDatabaseFileImpl(path, &error);
    return asStatus(ok, error);
}

}  // namespace Schema
