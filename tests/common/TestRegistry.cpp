#include "common/TestRegistry.h"

namespace TestRegistry {
std::vector<Entry>& entries()
{
    static std::vector<Entry> e;
    return e;
}
}
