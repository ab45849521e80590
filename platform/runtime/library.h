// Shared libraries loaded by name at run time, as the program loads its statistics library.
#pragma once
#include <string>

namespace orvix {

using HMODULE = void*;

// Loads lib<name>.so, looked for beside the executable first, then on the system's search
// path. Null when it cannot be loaded; LibraryError() then says why.
HMODULE LoadLibrary(const std::string& name);
void FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, const char* symbol);
std::string LibraryError();

// The folder that holds the running executable (for libraries and files found beside it).
std::string ExecutableDir();

} // namespace orvix
