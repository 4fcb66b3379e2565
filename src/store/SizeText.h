#pragma once

#include <QString>

// The one way a file size is written, in wj.dx, the edit panel and the
// statistics line: "1023BYTE" below 1024 bytes, then "1.00KB" … "1023.99KB",
// then "1.00MB" and up, on base 1024, cut (never rounded up) to two
// decimals. A negative size reads as 0.
QString sizeText(qint64 bytes);
