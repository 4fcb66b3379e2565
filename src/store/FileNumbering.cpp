#include "store/FileNumbering.h"

#include "store/DataStore.h"
#include "store/Dictionary.h"

namespace FileNumbering {

QString format(qint64 counter)
{
    return QStringLiteral("%1").arg(counter, 10, 10, QLatin1Char('0'));
}

Result<QString> draw(DataStore& store)
{
    auto fail = [](const QString& why) { return Result<QString>::fail(QString(), why); };
    if (!store.inTransaction())
        return fail(QStringLiteral("numbering needs a transaction"));
    const Result<std::optional<QString>> stored = Dictionary::read(store, Dictionary::FileNumber);
    if (!stored)
        return fail(QStringLiteral("counter not read: ") + stored.detail());
    if (!stored->has_value())
        return fail(QStringLiteral("counter missing"));
    bool ok = false;
    qint64 counter = (*stored)->trimmed().toLongLong(&ok);
    if (!ok || counter < 1)
        counter = 1;
    // Never hand out a number that a record already carries (an archive
    // restored over a newer counter, or a counter edited by hand). There are
    // no more numbers in use than records, nor more records than the highest
    // id (read at once, where a count would read every record on each add):
    // a search longer than that means the archive answers wrongly, and ends.
    // Records in the trash keep their numbers: they count as well.
    const RecordSet records = store.query(
        QStringLiteral("select coalesce((select max(id) from wj),0)+coalesce((select max(id) from wjhs),0)"));
    if (!records || records.atEnd())
        return fail(QStringLiteral("cannot count records: ") + store.lastError());
    const qint64 tries = records.number(0) + 1;
    for (qint64 i = 0;; ++i, ++counter) {
        if (i >= tries)
            return fail(QStringLiteral("no free number after %1 tries").arg(tries));
        const QString number = format(counter);
        RecordSet rs = store.query(
            QStringLiteral("select (select count(*) from wj where bh=?)+(select count(*) from wjhs where bh=?)"),
            {number, number});
        if (!rs || rs.atEnd())
            return fail(store.lastError());
        if (rs.number(0) == 0)
            break;
    }
    if (!Dictionary::write(store, Dictionary::FileNumber, QString::number(counter + 1)))
        return fail(QStringLiteral("counter update failed: ") + store.lastError());
    return format(counter);
}

}
