#include "store/FileNumbering.h"

#include "store/DataStore.h"
#include "store/Dictionary.h"

namespace FileNumbering {

QString format(qint64 counter)
{
    return QStringLiteral("%1").arg(counter, 10, 10, QLatin1Char('0'));
}

std::optional<QString> draw(DataStore& store, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<QString> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!store.inTransaction())
        return fail(QStringLiteral("numbering needs a transaction"));
    const auto stored = Dictionary::read(store, Dictionary::FileNumber);
    if (!stored)
        return fail(QStringLiteral("counter missing: ") + store.lastError());
    bool ok = false;
    qint64 counter = stored->trimmed().toLongLong(&ok);
    if (!ok || counter < 1)
        counter = 1;
    // Never hand out a number that a record already carries (an archive
    // restored over a newer counter, or a counter edited by hand).
    for (;;) {
        RecordSet rs = store.query(QStringLiteral("select count(*) from wj where bh=?"), {format(counter)});
        if (!rs)
            return fail(store.lastError());
        if (rs.number(0) == 0)
            break;
        ++counter;
    }
    if (!Dictionary::write(store, Dictionary::FileNumber, QString::number(counter + 1)))
        return fail(QStringLiteral("counter update failed: ") + store.lastError());
    return format(counter);
}

}
