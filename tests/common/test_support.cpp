#include "tests/common/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace orvix_test {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        out.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

int EndedProcessId()
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

bool CanActAsOtherUser() { return geteuid() == 0; }

bool AsOtherUser(const std::function<bool()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setresgid(kOtherUser, kOtherUser, kOtherUser) == 0
                             && setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
        _exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace orvix_test
