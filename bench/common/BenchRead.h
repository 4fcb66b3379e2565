// Reading one value back in the benchmark programs.
#pragma once

#include "store/DataStore.h"

#include <cstdio>

namespace bench {

// The first column of the first row; an invalid QVariant when there is no
// row, or when the read fails (said on stderr).
inline QVariant valueOf(DataStore& store, const QString& sql, const QVariantList& params = {})
{
    const Result<std::optional<QVariant>> read = store.scalar(sql, params);
    if (!read) {
        std::fprintf(stderr, "read failed: %s: %s\n", qPrintable(sql), qPrintable(read.detail()));
        return {};
    }
    return read->value_or(QVariant());
}

}  // namespace bench
