// Loading the full file list of a large archive: time and peak memory to get
// every row of a group into the list model, the statistics query, and the
// same select run by the sqlite3 shell as the reference.
//
//   list_bench [--small N] [--large N] [--no-large] [--keep DIR]
#include "archive/GroupPath.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/ListQuery.h"
#include "listing/ui/FileListViews.h"
#include "shell/AppContext.h"
#include "platform/ProgramHome.h"
#include "store/HomeLayout.h"
#include "store/DataStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

const QString kTop = QStringLiteral("档案室");

void print(const char* name, double value, int decimals = 1)
{
    std::printf("%s: %.*f\n", name, decimals, value);
    std::fflush(stdout);
}

// Peak resident memory of this process since the last resetPeak(), in MB.
double peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QString pick(const QStringList& list, QRandomGenerator& rng)
{
    return list.at(int(rng.bounded(quint32(list.size()))));
}

// Fills wj with n records under kTop and its sub-groups, in one transaction.
bool generate(DataStore& store, int n)
{
    const QStringList years{"2018", "2019", "2020", "2021", "2022", "2023", "2024"};
    const QStringList kinds{"合同", "人事\\招聘", "人事\\考勤", "财务\\报销", "财务\\凭证", "行政\\通知",
                            "项目\\设计", "项目\\验收", "会议纪要", "照片"};
    const QStringList subjects{"关于", "年度", "第三季度", "临时", "补充", "办公室", "市场部", "技术部"};
    const QStringList topics{"采购", "设备维护", "员工培训", "办公用品", "差旅", "安全检查", "档案整理",
                             "客户回访", "质量管理", "预算编制", "绩效考核", "合同续签"};
    const QStringList endings{"的通知", "报告", "申请表", "会议纪要", "汇总表", "方案", "协议书", "说明"};
    const QStringList types{"doc", "docx", "xls", "xlsx", "pdf", "jpg", "png", "txt", "zip", "mp3", "mp4", "ppt"};
    const QStringList people{"Admin", "张伟", "王芳", "李娜", "刘洋", "陈静", "杨帆"};
    const QStringList departments{"办公室", "财务部", "人事部", "市场部", "技术部", "后勤部"};
    const QStringList secrecy{"公开", "内部", "秘密"};
    const QStringList keeping{"永久", "长期", "短期", "10年", "30年"};

    QRandomGenerator rng(20240601);
    store.database().transaction();
    QSqlQuery q(store.database());
    if (!q.prepare(QStringLiteral(
            "insert into wj(xh,bh,mc,fz,lx,dx,dxsz,b1,b2,b3,b4,b5,b13,b14,b15,scr,scsj,xgr,xgsj,bz,ylcs,lj,wj)"
            " values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,'',NULL)"))) {
        std::fprintf(stderr, "prepare: %s\n", qPrintable(q.lastError().text()));
        return false;
    }
    for (int i = 1; i <= n; ++i) {
        const QString year = pick(years, rng);
        const qint64 size = qint64(rng.bounded(2000u, 8000000u));
        const QString month = QString::number(1 + rng.bounded(12u)).rightJustified(2, QLatin1Char('0'));
        const QString day = QString::number(1 + rng.bounded(28u)).rightJustified(2, QLatin1Char('0'));
        const QString time = QStringLiteral("%1-%2-%3 %4:%5:%6").arg(year, month, day)
                                 .arg(rng.bounded(24u), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60u), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60u), 2, 10, QLatin1Char('0'));
        const bool dated = rng.bounded(3u) != 0;
        const QString date = dated ? QStringLiteral("%1年%2月%3日").arg(year).arg(month.toInt()).arg(day.toInt())
                                   : QStringLiteral("100年1月1日");
        const bool changed = rng.bounded(4u) == 0;
        const QVariantList values{
            i,
            QString::number(i).rightJustified(10, QLatin1Char('0')),
            pick(subjects, rng) + pick(topics, rng) + pick(endings, rng) + QStringLiteral("-%1").arg(i % 997),
            kTop + QLatin1Char('\\') + year + QLatin1Char('\\') + pick(kinds, rng),
            pick(types, rng),
            size < 1024 * 1024 ? QString::number(size / 1024.0, 'f', 2) + QStringLiteral("KB")
                               : QString::number(size / 1048576.0, 'f', 2) + QStringLiteral("MB"),
            size,
            pick(departments, rng),
            pick(secrecy, rng),
            pick(keeping, rng),
            QStringLiteral("第%1卷").arg(rng.bounded(1u, 300u)),
            QString(),
            date,
            QStringLiteral("100年1月1日"),
            QStringLiteral("100年1月1日"),
            pick(people, rng),
            time,
            changed ? pick(people, rng) : QString(),
            changed ? time : QString(),
            rng.bounded(5u) == 0 ? QStringLiteral("已归档，原件存放于档案柜") : QString(),
            int(rng.bounded(50u)),
        };
        for (int v = 0; v < values.size(); ++v)
            q.bindValue(v, values.at(v));
        if (!q.exec()) {
            std::fprintf(stderr, "insert: %s\n", qPrintable(q.lastError().text()));
            return false;
        }
    }
    q.finish();
    if (!store.database().commit())
        return false;
    // The realistic layout: three named spare fields shown beside the defaults.
    const char* names[] = {"部门", "密级", "保管期限"};
    for (int i = 0; i < 3; ++i)
        store.execute(QStringLiteral("update lbsz set btm=?,xs=1,wz=? where bh=? and bm='wj'"),
                      {QString::fromUtf8(names[i]), 20 + i, 6 + i});
    store.execute(QStringLiteral("analyze"));
    return true;
}

// The statement with its values written in, for the sqlite3 shell.
QString literalSql(const ListQuery& q)
{
    QString out;
    int p = 0;
    for (QChar ch : q.sql) {
        if (ch == QLatin1Char('?') && p < q.params.size()) {
            out += QLatin1Char('\'') + q.params.at(p++).toString().replace(QLatin1Char('\''), QStringLiteral("''"))
                   + QLatin1Char('\'');
        } else {
            out += ch;
        }
    }
    return out;
}

double sqliteShellMs(const QString& path, const QString& sql)
{
    double best = 1e12;
    for (int run = 0; run < 3; ++run) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("sqlite3"), {path, sql});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
            return -1;
        }
        best = qMin(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

bool measure(const QString& folder, int n, const char* tag)
{
    const Status laidOut = HomeLayout::create(folder);
    if (!laidOut) {
        std::fprintf(stderr, "initialise: %s\n", qPrintable(laidOut.message()));
        return false;
    }
    AppContext context(folder);
    context.databasePath = context.home.databasePath(context.config);
    DataStore store;
    if (!store.open(context.databasePath))
        return false;
    QElapsedTimer gen;
    gen.start();
    if (!generate(store, n))
        return false;
    std::fprintf(stderr, "generated %d records in %.1f s\n", n, gen.elapsed() / 1000.0);

    const auto condition = GroupPath::withSubgroups(kTop);
    const FilterClause filter = FilterClause::everything().andAlso(condition.sql, condition.params);
    const auto columns = ListColumns::shownColumns(store).value_or(QList<ListColumns::Column>{});
    const auto visible = ListQuery::visibleFilter(filter, context.protectedGroups, store);
    const ListQuery query = ListQuery::build(columns, *visible, context.mainSettings.sortClause);

    // Reference first, which also warms the file cache for both.
    const double shell = sqliteShellMs(context.databasePath, literalSql(query));

    double best = 1e12;
    double peak = 0;
    int rows = 0;
    qsizetype modelBytes = 0;
    for (int run = 0; run < 3; ++run) {
        auto model = std::make_unique<FileListModel>();
        FileListLoader loader(model.get());
        QCoreApplication::processEvents();
        const double before = rssMb();
        resetPeak();
        QElapsedTimer t;
        t.start();
        loader.start(context.databasePath, query);
        loader.waitUntilLoaded(600000);
        const double ms = t.nsecsElapsed() / 1e6;
        best = qMin(best, ms);
        peak = qMax(peak, peakRssMb() - before);
        rows = model->rowCount();
        modelBytes = model->memoryBytes();
    }
    if (rows != n) {
        std::fprintf(stderr, "loaded %d rows of %d\n", rows, n);
        return false;
    }

    // The same load through the views as the main window has them.
    double viewsMs = 0;
    double stallMs = 0;
    {
        QWidget window;
        window.resize(1024, 768);
        FileListViews views(store, context.protectedGroups, context.mainSettings, &window);
        window.show();
        QCoreApplication::processEvents();
        // How long the window goes without serving its events meanwhile.
        QElapsedTimer beat;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            stallMs = qMax(stallMs, beat.nsecsElapsed() / 1e6);
            beat.restart();
        });
        QElapsedTimer t;
        t.start();
        beat.start();
        ticker.start();
        views.load(filter);
        views.waitUntilLoaded(600000);
        viewsMs = t.nsecsElapsed() / 1e6;
        ticker.stop();
        stallMs = qMax(stallMs, beat.nsecsElapsed() / 1e6);
    }

    double stats = 1e12;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        const auto totals = ListStatistics::read(store, query.statisticsSql, query.statisticsParams);
        stats = qMin(stats, t.nsecsElapsed() / 1e6);
        if (!totals || totals->count != n)
            return false;
    }

    const QByteArray t(tag);
    print(QByteArray("list_load_" + t + "_ms").constData(), best);
    print(QByteArray("sqlite3_select_" + t + "_ms").constData(), shell);
    print(QByteArray("list_load_" + t + "_ratio").constData(), best / shell, 2);
    print(t == "100k" ? "list_peak_rss_mb" : QByteArray("list_peak_rss_" + t + "_mb").constData(), peak);
    print(QByteArray("list_model_" + t + "_mb").constData(), modelBytes / 1048576.0);
    print(QByteArray("list_load_views_" + t + "_ms").constData(), viewsMs);
    print(QByteArray("list_window_max_stall_" + t + "_ms").constData(), stallMs);
    print(QByteArray("stats_" + t + "_ms").constData(), stats);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int small = 100000;
    int large = 1000000;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--small") && i + 1 < args.size())
            small = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--large") && i + 1 < args.size())
            large = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--no-large"))
            large = 0;
        else if (args.at(i) == QLatin1String("--keep") && i + 1 < args.size())
            keep = args.at(++i);
    }
    QTemporaryDir temp;
    const QString base = keep.isEmpty() ? temp.path() : keep;
    if (!measure(base + QStringLiteral("/a100k"), small, "100k"))
        return 1;
    if (large > 0 && !measure(base + QStringLiteral("/a1m"), large, "1m"))
        return 1;
    return 0;
}
