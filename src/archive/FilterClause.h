#pragma once

#include "store/RecordFilter.h"

// Which records the file list shows, handed from the group tree or the
// search to the list: a value without any statement, which the store turns
// into one (store/ListStatements.h).
using FilterClause = RecordFilter;
