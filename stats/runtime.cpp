#include "stats/runtime.h"

#include <cstdio>

namespace tarsel {

namespace {
int g_users = 0;
}

void RuntimeStart()
{
    // Our run-time needs no set-up beyond the count: errors are C++ exceptions from the
    // start (mwException), and printing goes through RuntimePrint.
    ++g_users;
}

void RuntimeStop()
{
    if (g_users > 0)
        --g_users;
}

int RuntimeUsers()
{
    return g_users;
}

void RuntimePrint(const std::string& text)
{
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

} // namespace tarsel
