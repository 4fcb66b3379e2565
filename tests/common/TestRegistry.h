#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

// Test classes register themselves; the suite's main runs each in turn.
namespace TestRegistry {
using Factory = std::function<std::unique_ptr<QObject>()>;
struct Entry {
    const char* name;
    Factory make;
};
std::vector<Entry>& entries();
inline bool add(const char* name, Factory f)
{
    entries().push_back({name, std::move(f)});
    return true;
}
}

#define KV_REGISTER_TEST(Class)                                                                                        \
    static const bool kv_registered_##Class =                                                                          \
        TestRegistry::add(#Class, [] { return std::unique_ptr<QObject>(new Class); });
