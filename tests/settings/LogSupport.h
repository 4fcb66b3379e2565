#pragma once

#include "common/TestHome.h"
#include "store/DataStore.h"

#include <QString>

// Writes one log line as the log writer would have at time sj.
inline bool addLine(DataStore& store, const QString& sj, const QString& czy, const QString& nr)
{
    return store.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"), {sj, czy, nr});
}

inline qint64 lineCount(DataStore& store, const QString& where = {}, const QVariantList& params = {})
{
    return valueOf(store, QStringLiteral("select count(*) from rz ") + where, params).toLongLong();
}
