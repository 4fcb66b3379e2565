#include "archive/SpareTitles.h"

#include "store/DataStore.h"

Result<QStringList> SpareTitles::read(DataStore& store)
{
    QStringList titles(15);
    RecordSet rs = store.query(QStringLiteral("select btm,bh from lbsz where bh between ? and ? and bm=?"),
                               {6, 20, QStringLiteral("wj")});
    if (!rs)
        return Result<QStringList>::fail(ReadFailed, store.lastError());
    for (; !rs.atEnd(); rs.next()) {
        const qint64 bh = rs.number(1);
        if (bh >= 6 && bh <= 20)
            titles[int(bh - 6)] = rs.text(0);
    }
    return titles;
}
