// A statistics library for the Statistics page's tests: its anova holds each call until the
// test lets it go, and counts how many calls were inside it at once. Its result names the
// number of rows and the level it was given ("n8 L2").
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "analysis/tablemodel.h"

#define SLOW_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
int g_released = 0;
int g_started = 0;
int g_inside = 0;
int g_mostInside = 0;

} // namespace

SLOW_EXPORT CTableModel* anova(CTableModel* data, int level)
{
    static CTableModel result;
    std::unique_lock<std::mutex> lock(g_mutex);
    ++g_started;
    ++g_inside;
    g_mostInside = g_inside > g_mostInside ? g_inside : g_mostInside;
    g_changed.notify_all();
    // Never for ever: a test that forgets to let go fails instead of hanging.
    g_changed.wait_for(lock, std::chrono::seconds(30), [] { return g_released > 0; });
    if (g_released > 0)
        --g_released;
    result.DefineColumns("Slow", TABLE_TEXT);
    result.SetRowCount(1);
    result.SetString(0, 0, ("n" + std::to_string(data->GetRowCount()) + " L" + std::to_string(level)).c_str());
    --g_inside;
    g_changed.notify_all();
    return &result;
}

// Lets that many calls go on.
SLOW_EXPORT void SlowStat_Release(int calls)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_released += calls;
    g_changed.notify_all();
}

// Waits until that many calls have begun, at most timeoutMs; true when they have.
SLOW_EXPORT bool SlowStat_WaitStarted(int calls, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return g_started >= calls; });
}

SLOW_EXPORT int SlowStat_Started()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_started;
}

SLOW_EXPORT int SlowStat_MostInside()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_mostInside;
}

// Forgets every call and release (the library may stay loaded from one test to the next).
SLOW_EXPORT void SlowStat_Reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_released = g_started = g_inside = g_mostInside = 0;
}
