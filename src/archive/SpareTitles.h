#pragma once

#include "platform/Result.h"

#include <QStringList>

class DataStore;

// The titles of the fifteen spare fields b1 … b15 (lbsz rows bh 6 … 20), in
// that order, as the edit panel shows them; a title never set reads empty.
namespace SpareTitles {

inline const QString ReadFailed = QStringLiteral("读取备用字段名称失败!");

Result<QStringList> read(DataStore& store);

}
