// The settings registry: a tree of keys under HKEY_CURRENT_USER, each with named text
// values kept in creation order and one default (unnamed) value. It lives in one readable
// text file ($ORVIX_REGISTRY, else $XDG_CONFIG_HOME/Morvane/Orvix.reg), rewritten
// atomically (temporary file, then rename) after every change. Other instances and hand
// edits share the file: a change is made again on the file as it is when it is written,
// under a lock beside it (a hand edit that comes while it is written, without the lock, is
// taken up and the write made again), and a file that changed is read again before the next
// call. Key and value names match without regard to letter case and keep the case they were
// created with. The file is UTF-8 (a line that is not: Windows-1252).
//
// Only the user's own regular file is read. One that is not, one whose header names a version
// this program does not know, and one it cannot read (binary, an encoding it does not know) is
// never written: changes then hold until the program ends. Lines the reader does not
// understand are kept in the file as they are. Each such thing, and each kind of change that
// could not be written, is told once.
//
// The calls keep the shape of the Windows registry calls the program was written against,
// with strings in place of fixed buffers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace orvix {

struct RegHandle;
using HKEY = RegHandle*;

// The one root the program uses.
extern const HKEY HKEY_CURRENT_USER;

enum : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_WRITE_FAULT = 29,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_NO_MORE_ITEMS = 259,
};

// ERROR_INVALID_PARAMETER beyond the Windows registry's limits: key names of at most 255
// characters, at most 512 levels.
long RegCreateKeyEx(HKEY parent, const char* subKey, HKEY* result);
long RegOpenKeyEx(HKEY parent, const char* subKey, HKEY* result);
long RegCloseKey(HKEY key);
long RegQueryInfoKey(HKEY key, uint32_t* subKeyCount, uint32_t* valueCount);
// Value index in creation order (the default value is not enumerated).
long RegEnumValue(HKEY key, uint32_t index, std::string* name, std::string* data);
// name null or "" reads the default value.
long RegQueryValueEx(HKEY key, const char* name, std::string* data);
long RegSetValueEx(HKEY key, const char* name, const std::string& data);
long RegEnumKey(HKEY key, uint32_t index, std::string* name);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some).
long RegDeleteKey(HKEY parent, const char* subKey);
// Deletes a named value (ERROR_FILE_NOT_FOUND when there is none).
long RegDeleteValue(HKEY key, const char* name);

// Groups changes into one write of the file, on one view of it: what others write meanwhile
// is met at the commit, not halfway. Commit() writes them, made again on the file as it is
// then; a failed write, or leaving the scope without Commit(), puts the registry back as the
// file holds it. Commit() is false whenever nothing was written, also for a file that is kept
// as it is (the changes then hold in the view for the run); Failure() says why.
class CRegistryTransaction {
public:
    CRegistryTransaction();
    ~CRegistryTransaction();
    bool Commit();
    const std::string& Failure() const { return failure_; }
    CRegistryTransaction(const CRegistryTransaction&) = delete;
    CRegistryTransaction& operator=(const CRegistryTransaction&) = delete;
private:
    bool done_ = false;
    std::string failure_;
};

// The file in use, and a fresh read of it (after the environment changed; for tests: what
// was told is told again).
std::string RegistryFilePath();
void ReloadRegistry();

// Where the registry tells what it cannot read or write (one line each, also on stderr).
// What it told before a reporter was there is passed to the reporter when it is installed.
// RemoveRegistryReporter removes the reporter only when `owner` installed it.
void SetRegistryReporter(const void* owner, std::function<void(const std::string&)> report);
void RemoveRegistryReporter(const void* owner);

} // namespace orvix
