#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace bench {

void print(const QByteArray& name, double value, int decimals)
{
    std::printf("%s: %.*f\n", name.constData(), decimals, value);
    std::fflush(stdout);
}

void note(const QByteArray& name, const QByteArray& text)
{
    std::printf("%s: %s\n", name.constData(), text.constData());
    std::fflush(stdout);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double upperMedian(std::vector<double> v, double whenEmpty)
{
    if (v.empty())
        return whenEmpty;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

qint64 statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double statusMb(const char* key)
{
    const qint64 kb = statusKb(key);
    return kb < 0 ? -1 : kb / 1024.0;
}

qint64 peakRssKb()
{
    return statusKb("VmHWM:");
}

double peakRssMb()
{
    return statusMb("VmHWM:");
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void settle()
{
    QProcess::execute(QStringLiteral("sync"), {});
}

bool dropFilePages(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    const bool ok = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return ok;
}

bool dropCache(const QString& path)
{
    settle();
    return dropFilePages(path);
}

void dropPages(const QStringList& files)
{
    settle();
    for (const QString& path : files) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

bool makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(int(std::min<qint64>(size, 1 << 20)), Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        if (f.write(chunk.constData(), n) != n)
            return false;
        left -= n;
    }
    return f.flush();
}

double shellMs(const QString& db, const QStringList& options, const QString& sql, const QString& outFile)
{
    QProcess p;
    p.setStandardOutputFile(outFile.isEmpty() ? QProcess::nullDevice() : outFile);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlite3"), options + QStringList{db, sql});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

double shellMs(const QString& db, const QString& sql)
{
    return shellMs(db, QStringList(), sql);
}

double shellStartMs(const QString& db)
{
    std::vector<double> starts;
    for (int i = 0; i < 5; ++i)
        starts.push_back(shellMs(db, QStringLiteral("select 1")));
    return median(starts);
}

double copyMs(const QString& src, const QString& dst, bool withSync)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("cp"), {src, dst});
    if (withSync)
        QProcess::execute(QStringLiteral("sync"), {dst});
    return t.nsecsElapsed() / 1e6;
}

}  // namespace bench
