// Windows path forms as they appear in the program's defaults and parameters ("c:\data",
// "COM2") mapped to this machine. The texts themselves stay as the user wrote them.
#pragma once
#include <string>

#include "platform/text/codepage.h"

namespace orvix {

// The program's text names paths in its code page; this machine's paths are the file
// system's bytes, UTF-8.
//
// "X:\a\b" -> $ORVIX_DRIVES/x/a/b (default ~/orvix/x/a/b); other backslashes become
// slashes; every other path passes unchanged. The text becomes UTF-8 ("c:\data\m\xFCller"
// is the folder ".../c/data/müller"); "" when it cannot be converted (no converter).
std::string MapPath(const std::string& windowsPath);

// The reverse, for a path of this machine that the program shows or keeps as its own:
// below $ORVIX_DRIVES/x it becomes "x:\a\b" ("x:" for the drive folder itself); any other
// path keeps its form, as does one that the drive form could not name again. Either is the
// program's text: "" (with the reason in `why`) when the path holds a letter the code page
// cannot, or bytes that are not UTF-8, as such a path could not be mapped back to itself.
std::string UnmapPath(const std::string& localPath, TextRefusal* why = nullptr);

// A path of this machine as the program's text, in its own form (a document's path name):
// false, with the reason, where UnmapPath gives "".
bool ProgramPath(const std::string& localPath, std::string& text, TextRefusal* why = nullptr);

// The reverse of ProgramPath for a path the program keeps (a document's name, a recent
// file): the drive form "x:\a\b" maps as MapPath does; any other text is a path of this
// machine already, whose backslashes belong to its names. "" when it cannot be converted.
std::string LocalPath(const std::string& programPath);

// "COMn" (any case) -> /dev/ttyS(n-1); any other name is taken as a device path.
std::string MapSerialPort(const std::string& portName);

} // namespace orvix
