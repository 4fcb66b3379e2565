#pragma once

#include "platform/Result.h"

#include <QString>

class DataStore;

// File numbers: ten decimal digits with leading zeros, drawn from the
// counter '文件编号' of zdbh. The counter holds the number the next stored
// file receives.
//
// draw() must run inside the caller's transaction, the same one that inserts
// the record: it takes the counter's number (skipping any number already in
// wj or held by a record in the trash, wjhs), advances the counter, and the caller commits both with the record.
// If anything fails before the commit, the rollback leaves the counter and
// wj as they were, so a number is never handed out twice.
namespace FileNumbering {

QString format(qint64 counter);
// The number, or the failure with the driver's words as its detail.
Result<QString> draw(DataStore& store);

}
