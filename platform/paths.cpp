#include "platform/paths.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace orvix {

std::string MapPath(const std::string& windowsPath)
{
    std::string rest = windowsPath;
    std::string prefix;
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
        std::string drives;
        if (const char* d = getenv("ORVIX_DRIVES"); d && *d)
            drives = d;
        else
            drives = std::string(getenv("HOME") ? getenv("HOME") : "/tmp") + "/orvix";
        prefix = drives + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
        rest = rest.substr(2);
        if (!rest.empty() && rest[0] != '\\' && rest[0] != '/')
            rest = "/" + rest;
    }
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    return prefix + rest;
}

std::string MapSerialPort(const std::string& portName)
{
    if (portName.size() > 3 && (portName[0] == 'C' || portName[0] == 'c') && (portName[1] == 'O' || portName[1] == 'o')
        && (portName[2] == 'M' || portName[2] == 'm')) {
        bool digits = true;
        for (size_t i = 3; i < portName.size(); ++i)
            digits = digits && std::isdigit(static_cast<unsigned char>(portName[i]));
        int n = digits ? std::atoi(portName.c_str() + 3) : 0;
        if (digits && n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return portName;
}

std::string ExecutableDir()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".";
    return exe.parent_path().string();
}

} // namespace orvix
