// Start and stop of the library's matrix run-time. Each unit that needs it holds one
// RuntimeUser; the first start sets the run-time up, the last stop ends it.
#pragma once

#include <string>

namespace tarsel {

void RuntimeStart();
void RuntimeStop();
int RuntimeUsers();
// The print handler: text to standard output, flushed.
void RuntimePrint(const std::string& text);

struct RuntimeUser {
    RuntimeUser() { RuntimeStart(); }
    ~RuntimeUser() { RuntimeStop(); }
    RuntimeUser(const RuntimeUser&) = delete;
    RuntimeUser& operator=(const RuntimeUser&) = delete;
};

} // namespace tarsel
