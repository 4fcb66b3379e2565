#include "BenchArchive.h"

#include "archive/GroupPath.h"
#include "platform/ProgramHome.h"
#include "store/DataStore.h"
#include "store/HomeLayout.h"
#include "store/SizeText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace bench {

static QString pick(const QStringList& list, QRandomGenerator& rng)
{
    return list.at(int(rng.bounded(quint32(list.size()))));
}

// Lays out n records. withContent: every second record holds 8 KB in the
// database (through the content table, as an add writes it).
bool generate(DataStore& store, int n, bool withContent)
{
    const QStringList years{"2018", "2019", "2020", "2021", "2022", "2023", "2024"};
    const QStringList kinds{"合同",       "人事\\招聘", "人事\\考勤", "财务\\报销", "财务\\凭证",
                            "行政\\通知", "项目\\设计", "项目\\验收", "会议纪要",   "照片"};
    const QStringList subjects{"关于", "年度", "第三季度", "临时", "补充", "办公室", "市场部", "技术部"};
    const QStringList topics{"采购",     "设备维护", "员工培训", "办公用品", "差旅",     "安全检查",
                             "档案整理", "客户回访", "质量管理", "预算编制", "绩效考核", "合同续签"};
    const QStringList endings{"的通知", "报告", "申请表", "会议纪要", "汇总表", "方案", "协议书", "说明"};
    const QStringList types{"doc", "docx", "xls", "xlsx", "pdf", "jpg", "png", "txt", "zip", "mp3", "mp4", "ppt"};
    const QStringList people{"Admin", "张伟", "王芳", "李娜", "刘洋", "陈静", "杨帆"};
    const QStringList departments{"办公室", "财务部", "人事部", "市场部", "技术部", "后勤部"};
    const QStringList secrecy{"公开", "内部", "秘密"};
    const QStringList keeping{"永久", "长期", "短期", "10年", "30年"};

    QRandomGenerator rng(20240601);
    QByteArray content(8192, Qt::Uninitialized);
    QSet<QString> groups;
    store.database().transaction();
    QSqlQuery q(store.database());
    QSqlQuery c(store.database());
    if (!q.prepare(QStringLiteral(
            "insert into wj(id,xh,bh,mc,fz,lx,dx,dxsz,b1,b2,b3,b4,b5,b13,b14,b15,scr,scsj,xgr,xgsj,bz,ylcs,lj,wj)"
            " values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,NULL)"))
        || !c.prepare(QStringLiteral("insert into wjnr(id,nr) values (?,?)"))) {
        std::fprintf(stderr, "prepare: %s\n", qPrintable(q.lastError().text()));
        {
            std::fprintf(stderr, "failed at line %d\n", __LINE__);
            return false;
        }
    }
    for (int i = 1; i <= n; ++i) {
        const QString year = pick(years, rng);
        QString group = kTop + QLatin1Char('\\') + year + QLatin1Char('\\') + pick(kinds, rng);
        if (i % 1000 == 500)
            group = kSmallGroup;
        else if (i % 60 == 7 && i <= kRenameRecords * 60)
            group = kRenameGroup;
        groups.insert(group);
        const bool held = i % 2 == 1;
        const qint64 size = held ? 8192 : qint64(rng.bounded(1u << 20, 8000000u));
        const QString month = QString::number(1 + rng.bounded(12u)).rightJustified(2, QLatin1Char('0'));
        const QString day = QString::number(1 + rng.bounded(28u)).rightJustified(2, QLatin1Char('0'));
        const QString time = QStringLiteral("%1-%2-%3 %4:%5:%6")
                                 .arg(year, month, day)
                                 .arg(rng.bounded(24u), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60u), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(60u), 2, 10, QLatin1Char('0'));
        const bool dated = rng.bounded(3u) != 0;
        const QString date = dated ? QStringLiteral("%1年%2月%3日").arg(year).arg(month.toInt()).arg(day.toInt())
                                   : QStringLiteral("100年1月1日");
        const bool changed = rng.bounded(4u) == 0;
        const QString bh = QString::number(i).rightJustified(10, QLatin1Char('0'));
        const QString type = pick(types, rng);
        const QVariantList values{
            i,
            i,
            bh,
            (i % RareEvery == RareEvery / 3 ? QStringLiteral("关于") + RareWord + QStringLiteral("标本借展的通知")
                                            : pick(subjects, rng) + pick(topics, rng) + pick(endings, rng))
                + QStringLiteral("-%1").arg(i % 997),
            group,
            type,
            sizeText(size),
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
            held && withContent ? QString() : QStringLiteral("Data/Lf/%1.%2").arg(bh, type),
        };
        for (int v = 0; v < values.size(); ++v)
            q.bindValue(v, values.at(v));
        if (!q.exec()) {
            std::fprintf(stderr, "insert: %s\n", qPrintable(q.lastError().text()));
            {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
        }
        if (held && withContent) {
            rng.fillRange(reinterpret_cast<quint32*>(content.data()), content.size() / 4);
            c.bindValue(0, i);
            c.bindValue(1, content);
            if (!c.exec()) {
                std::fprintf(stderr, "content: %s\n", qPrintable(c.lastError().text()));
                {
                    std::fprintf(stderr, "failed at line %d\n", __LINE__);
                    return false;
                }
            }
        }
    }
    q.finish();
    c.finish();
    if (!store.database().commit()) {
        std::fprintf(stderr, "failed at line %d\n", __LINE__);
        return false;
    }
    // The groups as the tree keeps them, parents before children.
    QSet<QString> all;
    for (const QString& g : std::as_const(groups)) {
        QString p;
        for (const QString& name : GroupPath::split(g)) {
            p = GroupPath::child(p, name);
            all.insert(p);
        }
    }
    QStringList ordered(all.begin(), all.end());
    std::sort(ordered.begin(), ordered.end(), [](const QString& a, const QString& b) {
        return a.count(QLatin1Char('\\')) != b.count(QLatin1Char('\\'))
            ? a.count(QLatin1Char('\\')) < b.count(QLatin1Char('\\'))
            : a < b;
    });
    QHash<QString, int> ids;
    if (!store.begin())
        return false;
    for (const QString& p : std::as_const(ordered)) {
        const int id = int(ids.size()) + 1;
        const int slash = int(p.lastIndexOf(QLatin1Char('\\')));
        const int parent = slash < 0 ? 0 : ids.value(p.left(slash));
        if (!store.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,?,?,0,1,'')"),
                           {id, parent, p.mid(slash + 1)}))
            return false;
        ids.insert(p, id);
    }
    if (!store.commit())
        return false;
    // The realistic layout: three named spare fields shown beside the defaults.
    const char* names[] = {"部门", "密级", "保管期限"};
    for (int i = 0; i < 3; ++i)
        if (!store.execute(QStringLiteral("update lbsz set btm=?,xs=1,wz=? where bh=? and bm='wj'"),
                           {QString::fromUtf8(names[i]), 20 + i, 6 + i}))
            return false;
    return store.execute(QStringLiteral("update zdbh set nr=? where xm='文件编号'"), {QString::number(n + 1)})
        && store.execute(QStringLiteral("analyze"));
}

bool freshHome(const QString& folder, const QString& group)
{
    QDir(folder).removeRecursively();
    if (!HomeLayout::create(folder))
        return false;
    DataStore s;
    if (!s.open(ProgramHome(folder).defaultDatabasePath()))
        return false;
    return s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,?,0,0,'')"), {group});
}

// The statement with its values written in, for the sqlite3 shell.
QString literalSql(const QString& sql, const QVariantList& params)
{
    QString out;
    int p = 0;
    for (QChar ch : sql) {
        if (ch == QLatin1Char('?') && p < params.size()) {
            const QVariant& v = params.at(p++);
            if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
                out += v.toString();
            else
                out += QLatin1Char('\'') + v.toString().replace(QLatin1Char('\''), QStringLiteral("''"))
                    + QLatin1Char('\'');
        } else {
            out += ch;
        }
    }
    return out;
}

// The cached archive of this kind, laid out when missing.
std::optional<Archive> ensureArchive(const QString& cache, const QString& tag, int n, bool withContent)
{
    const QString folder = cache + QLatin1Char('/') + tag + QStringLiteral("-%1").arg(n);
    const QString done = folder + QStringLiteral("/complete");
    const ProgramHome home(folder);
    Archive a{folder, home.defaultDatabasePath()};
    if (QFileInfo::exists(done))
        return a;
    QDir(folder).removeRecursively();
    const Status laidOut = HomeLayout::create(folder);
    if (!laidOut) {
        std::fprintf(stderr, "initialise: %s\n", qPrintable(laidOut.message()));
        return std::nullopt;
    }
    DataStore store;
    if (!store.open(a.database))
        return std::nullopt;
    // Laying out is not what is measured: no sync per commit while it runs.
    if (!store.execute(QStringLiteral("PRAGMA synchronous=OFF")))
        return std::nullopt;
    QElapsedTimer t;
    t.start();
    if (!generate(store, n, withContent))
        return std::nullopt;
    store.close();
    std::fprintf(stderr, "laid out %s (%d records) in %.1f s\n", qPrintable(folder), n, t.elapsed() / 1000.0);
    QFile f(done);
    f.open(QIODevice::WriteOnly);
    return a;
}

}  // namespace bench
