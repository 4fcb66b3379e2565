#pragma once

#include "platform/Result.h"

#include <QString>

// Lays out a fresh program folder: Data/files.dat with the initial content,
// the empty store folder Data/Lf, the skins in Hf. Refuses, and touches
// nothing, when the folder already holds a database.
namespace HomeLayout {

Status create(const QString& folder);

}  // namespace HomeLayout
