// Windows path forms as they appear in the program's defaults and parameters ("c:\data",
// "COM2") mapped to this machine. The texts themselves stay as the user wrote them.
#pragma once
#include <string>

namespace orvix {

// "X:\a\b" -> $ORVIX_DRIVES/x/a/b (default ~/orvix/x/a/b); other backslashes become
// slashes; every other path passes unchanged.
std::string MapPath(const std::string& windowsPath);

// The reverse, for a path of this machine that the program shows or keeps as its own:
// below $ORVIX_DRIVES/x it becomes "x:\a\b" ("x:" for the drive folder itself); any other
// path passes unchanged, as does one that the drive form could not name again.
std::string UnmapPath(const std::string& localPath);

// "COMn" (any case) -> /dev/ttyS(n-1); any other name is taken as a device path.
std::string MapSerialPort(const std::string& portName);

// The folder that holds the running executable (for libraries found beside it).
std::string ExecutableDir();

} // namespace orvix
