#include "platform/Clock.h"

namespace {
SystemClock g_system;
Clock* g_clock = &g_system;
}

Clock& appClock()
{
    return *g_clock;
}

Clock* setAppClock(Clock* c)
{
    Clock* old = g_clock;
    g_clock = c ? c : &g_system;
    return old;
}
