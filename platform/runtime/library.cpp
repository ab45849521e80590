#include "platform/runtime/library.h"

#include <dlfcn.h>
#include <filesystem>

namespace orvix {

namespace {
std::string g_lastError;
}

HMODULE LoadLibrary(const std::string& name)
{
    std::string file = "lib" + name + ".so";
    std::string beside = ExecutableDir() + "/" + file;
    std::error_code ec;
    void* handle = nullptr;
    if (std::filesystem::exists(beside, ec))
        handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        g_lastError = err ? err : "unknown error";
    }
    return handle;
}

void FreeLibrary(HMODULE module)
{
    if (module)
        dlclose(module);
}

void* GetProcAddress(HMODULE module, const char* symbol)
{
    if (!module || !symbol)
        return nullptr;
    return dlsym(module, symbol);
}

std::string LibraryError() { return g_lastError; }

std::string ExecutableDir()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".";
    return exe.parent_path().string();
}

} // namespace orvix
