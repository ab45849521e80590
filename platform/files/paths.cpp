#include "platform/files/paths.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace orvix {

namespace {

std::string DrivesFolder()
{
    if (const char* d = getenv("ORVIX_DRIVES"); d && *d)
        return d;
    return std::string(getenv("HOME") ? getenv("HOME") : "/tmp") + "/orvix";
}

std::filesystem::path WithoutTrailingSeparator(const std::filesystem::path& path)
{
    return path.has_filename() || !path.has_parent_path() || path == path.root_path() ? path : path.parent_path();
}

// "x:\a\b" for a folder below drives/x, "" for any other.
std::string DriveForm(const std::filesystem::path& path, const std::filesystem::path& drives)
{
    const std::filesystem::path relative = path.lexically_relative(drives);
    auto part = relative.begin();
    if (relative.empty() || part == relative.end())
        return "";
    const std::string letter = part->string();
    if (letter.size() != 1 || letter[0] < 'a' || letter[0] > 'z')
        return "";
    std::string form = letter + ":";
    for (++part; part != relative.end(); ++part)
        if (!part->empty())
            form += "\\" + part->string();
    return form;
}

// "x:" first.
bool HasDrive(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

} // namespace

std::string MapPath(const std::string& windowsPath)
{
    std::string rest = windowsPath;
    std::string prefix;
    if (HasDrive(rest)) {
        prefix = DrivesFolder() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
        rest = rest.substr(2);
        if (!rest.empty() && rest[0] != '\\' && rest[0] != '/')
            rest = "/" + rest;
    }
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    // The drives' folder is already this machine's. A name that cannot be converted names no
    // file: nothing is opened or written under a name that is not the user's.
    std::string local;
    if (!ToUtf8(rest, local))
        return std::string();
    return prefix + local;
}

bool ProgramPath(const std::string& localPath, std::string& text, TextRefusal* why)
{
    return FromUtf8(localPath, text, why);
}

std::string LocalPath(const std::string& programPath)
{
    if (HasDrive(programPath))
        return MapPath(programPath);
    // As MapPath: a name that cannot be converted names no file.
    std::string local;
    return ToUtf8(programPath, local) ? local : std::string();
}

std::string UnmapPath(const std::string& localPath, TextRefusal* why)
{
    namespace fs = std::filesystem;
    std::string kept;
    if (!ProgramPath(localPath, kept, why))
        return std::string();
    const fs::path path = WithoutTrailingSeparator(fs::path(localPath).lexically_normal());
    if (!path.is_absolute())
        return kept;
    const fs::path drives = WithoutTrailingSeparator(fs::path(DrivesFolder()).lexically_normal());
    std::error_code ec1, ec2;
    std::string form = DriveForm(path, drives);
    // The same folders, one of them named through a link.
    if (form.empty())
        form = DriveForm(fs::weakly_canonical(path, ec1), fs::weakly_canonical(drives, ec2));
    if (form.empty() || ec1 || ec2)
        return kept;
    // The form is built of the machine's names: the program's text of it maps back to them.
    std::string text;
    if (!FromUtf8(form, text))
        return kept;
    // A name that the drive form cannot carry (a backslash in it) stays a path of this machine.
    if (fs::weakly_canonical(MapPath(text), ec1) != fs::weakly_canonical(path, ec2) || ec1 || ec2)
        return kept;
    return text;
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

} // namespace orvix
