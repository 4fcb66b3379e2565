// Helpers shared by the benchmark programs: "name: value" lines, medians,
// the process's memory, dropping files from the page cache, and timing the
// reference tools (the sqlite3 shell, cp); a Zipf-like pick for generated text.
#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace bench {

// Prints "name: value" with the given decimals and flushes.
void print(const QByteArray& name, double value, int decimals = 1);
// Prints "name: text" and flushes.
void note(const QByteArray& name, const QByteArray& text);

// The median; with an even count the mean of the two middle values; -1 when
// there are none.
double median(std::vector<double> v);
// The value in the middle after sorting (the upper one of an even count);
// whenEmpty when there are none.
double upperMedian(std::vector<double> v, double whenEmpty = 0);

// A field of /proc/self/status ("VmHWM:", "VmRSS:") in kB; -1 when missing.
qint64 statusKb(const char* key);
// The same field in MB; -1 when missing.
double statusMb(const char* key);
// The process's high-water mark of resident memory.
qint64 peakRssKb();
double peakRssMb();
// Resets the high-water mark to the current resident size.
void resetPeak();

// Writes back whatever earlier steps left dirty (the sync program).
void settle();
// Drops one file's pages from the page cache (fdatasync first); false when
// the file cannot be opened or the kernel refuses.
bool dropFilePages(const QString& path);
// settle, then dropFilePages.
bool dropCache(const QString& path);
// settle, then drops each file's pages (they are clean after the sync).
void dropPages(const QStringList& files);

// Writes size random bytes in pieces of at most 1 MiB.
bool makeFile(const QString& path, qint64 size);

// Wall time of the sqlite3 shell running sql on db with the given options;
// its output goes to outFile (thrown away when empty). -1 when it fails.
double shellMs(const QString& db, const QStringList& options, const QString& sql, const QString& outFile = {});
double shellMs(const QString& db, const QString& sql);
// What starting the shell on db costs: the median of five "select 1".
double shellStartMs(const QString& db);

// Wall time of "cp src dst", followed by "sync dst" when withSync.
double copyMs(const QString& src, const QString& dst, bool withSync);

// Runs the two sides of one round: `mine` first on even rounds, `reference`
// first on odd ones.
template <typename Mine, typename Reference> void alternate(int round, Mine&& mine, Reference&& reference)
{
    if (round % 2 == 0) {
        mine();
        reference();
    } else {
        reference();
        mine();
    }
}

// Picks 0..n-1 with weight 1/(i+1).
class Zipf {
public:
    explicit Zipf(int n)
    {
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            sum += 1.0 / (i + 1);
            m_cumulative.push_back(sum);
        }
    }
    int pick(QRandomGenerator& g) const
    {
        const double x = g.generateDouble() * m_cumulative.back();
        return int(std::lower_bound(m_cumulative.begin(), m_cumulative.end(), x) - m_cumulative.begin());
    }

private:
    std::vector<double> m_cumulative;
};

}  // namespace bench
