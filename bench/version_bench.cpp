// Versions of content through FileRecords::modify, the code "修改" runs.
//
// Stored bytes: ten records holding the same 5 MB file each get the same new
// content, so ten versions hold one content; and one record is modified ten
// times with the same 5 MB file. Printed are the bytes the versions take
// (bbnr's inline bytes plus the size of its kept files) and how many copies
// of the content there are; the aim is one copy. Both with the archive's
// default size bound (5 MB lies in the store folder, so the replaced kept
// file becomes the version's where it lies) and with a 10 MB bound (held in
// the database, copied inside it).
//
// Time: a modify of a record holding 5 MB to another 5 MB, when the
// replaced content is new to the versions (its bytes are stored) against
// one whose replaced content the versions already hold (nothing but a row
// is added: the modify as it was before versions, plus that row). Sides
// alternate which goes first, each after a sync; medians of the rounds.
//
// Usage: version_bench [folder]   (default: the system's temporary folder)

#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "platform/ProgramHome.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/HomeLayout.h"
#include "store/Schema.h"
#include "store/VersionRows.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace bench;

constexpr qint64 FiveMb = qint64(5) << 20;
constexpr int Rounds = 7;

// 5 MB that differ by seed from the first byte on.
QString source(const QString& folder, int seed)
{
    const QString path = QDir(folder).filePath(QStringLiteral("s%1.bin").arg(seed));
    if (QFileInfo::exists(path))
        return path;
    QByteArray bytes(FiveMb, Qt::Uninitialized);
    quint32 x = 2166136261u ^ quint32(seed * 16777619);
    for (qint64 i = 0; i < bytes.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = char(x >> 24);
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

struct Archive {
    QTemporaryDir dir;
    std::unique_ptr<ProgramHome> home;
    DataStore store;
    CurrentOperator op{QStringLiteral("Admin"), Schema::allRightsText()};
    std::unique_ptr<FileRecords> records;
    RecordFields fields;

    Archive(const QString& base, qint64 bound) : dir(base + QStringLiteral("/korvane-vbench-XXXXXX"))
    {
        const QString homeFolder = dir.filePath(QStringLiteral("home"));
        if (!dir.isValid() || !HomeLayout::create(homeFolder)) {
            std::fprintf(stderr, "cannot lay out an archive under %s\n", qPrintable(base));
            std::exit(1);
        }
        home = std::make_unique<ProgramHome>(homeFolder);
        if (!store.open(home->defaultDatabasePath())) {
            std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
            std::exit(1);
        }
        store.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'基准',0,0,'')"));
        if (bound <= 0)
            bound = Dictionary::sizeBoundBytes(
                Dictionary::readOr(store, Dictionary::FileSize, Dictionary::DefaultFileSize));
        records = std::make_unique<FileRecords>(store, StoreFolder(*home), op, bound);
        fields.group = QStringLiteral("基准");
        fields.name = QStringLiteral("合同");
    }

    qint64 add(const QString& src)
    {
        const Result<StoredRecord> r = records->add(fields, src);
        if (!r) {
            std::fprintf(stderr, "add failed: %s %s\n", qPrintable(r.message()), qPrintable(r.detail()));
            std::exit(1);
        }
        return r->id;
    }

    double modify(qint64 id, const QString& src)
    {
        QElapsedTimer t;
        t.start();
        const Result<StoredRecord> r = records->modify(id, fields, src);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (!r) {
            std::fprintf(stderr, "modify failed: %s %s\n", qPrintable(r.message()), qPrintable(r.detail()));
            std::exit(1);
        }
        return ms;
    }

    // The bytes the versions take, each as it lies, and the copies of them.
    struct Stored {
        qint64 bytes = 0;
        qint64 copies = 0;
        qint64 versions = 0;
    };
    Stored stored()
    {
        Stored s;
        s.bytes = valueOf(QStringLiteral("select coalesce(sum(length(nr)),0) from bbnr where lj=''"));
        s.copies = valueOf(QStringLiteral("select count(*) from bbnr"));
        s.versions = valueOf(QStringLiteral("select count(*) from wjbb"));
        RecordSet rs = store.query(QStringLiteral("select lj from bbnr where lj<>''"));
        for (; !rs.atEnd(); rs.next())
            s.bytes += QFileInfo(records->storeFolder().resolve(rs.text(0))).size();
        return s;
    }
    qint64 valueOf(const QString& sql)
    {
        const Result<std::optional<QVariant>> v = store.scalar(sql);
        return v ? v->value_or(0).toLongLong() : -1;
    }
};

void storedOnce(const QString& base, const QString& sources, qint64 bound, const char* suffix)
{
    {
        Archive a(base, bound);
        QList<qint64> ids;
        for (int i = 0; i < 10; ++i)
            ids << a.add(source(sources, 1));
        for (const qint64 id : ids)
            a.modify(id, source(sources, 2));
        const Archive::Stored s = a.stored();
        std::printf("version_bytes_after_10_identical%s: %lld\n", suffix, s.bytes);
        std::printf("version_copies_after_10_identical%s: %lld\n", suffix, s.copies);
        std::printf("version_rows_after_10_identical%s: %lld\n", suffix, s.versions);
    }
    {
        Archive a(base, bound);
        const qint64 id = a.add(source(sources, 1));
        for (int i = 0; i < 10; ++i)
            a.modify(id, source(sources, 2));
        const Archive::Stored s = a.stored();
        std::printf("same_bytes_modify_x10_bytes%s: %lld\n", suffix, s.bytes);
        std::printf("same_bytes_modify_x10_copies%s: %lld\n", suffix, s.copies);
        std::printf("same_bytes_modify_x10_versions%s: %lld\n", suffix, s.versions);
    }
}

void modifyTimes(const QString& base, const QString& sources, qint64 bound, const char* suffix)
{
    Archive a(base, bound);
    // The contents the reference side will replace, held by the versions
    // already: one record modified through all of them.
    const int firstHeld = 100;
    const qint64 through = a.add(source(sources, firstHeld));
    for (int k = 1; k <= Rounds; ++k)
        a.modify(through, source(sources, firstHeld + k));
    a.modify(through, source(sources, 99));

    const qint64 fresh = a.add(source(sources, 200));
    const qint64 known = a.add(source(sources, 300));
    std::vector<double> with, without;
    for (int k = 0; k < Rounds; ++k) {
        // Not measured: the reference record takes a content the versions hold.
        a.modify(known, source(sources, firstHeld + k));
        alternate(
            k,
            [&] {
                settle();
                with.push_back(a.modify(fresh, source(sources, 201 + k)));
            },
            [&] {
                settle();
                without.push_back(a.modify(known, source(sources, 301 + k)));
            });
    }
    print(QByteArrayLiteral("modify_with_version_ms") + suffix, median(with), 2);
    print(QByteArrayLiteral("modify_without_version_ms") + suffix, median(without), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir sources(base + QStringLiteral("/korvane-vbench-src-XXXXXX"));
    if (!sources.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(base));
        return 1;
    }
    // The default bound keeps 5 MB in the store folder; 10 MB holds it in the database.
    storedOnce(base, sources.path(), 0, "");
    storedOnce(base, sources.path(), qint64(10) << 20, "_held");
    modifyTimes(base, sources.path(), 0, "");
    modifyTimes(base, sources.path(), qint64(10) << 20, "_held");
    return 0;
}
