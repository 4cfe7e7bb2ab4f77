#include "platform/System.h"

#include "platform/SideThreads.h"
#include "platform/win32/Win32System.h"

#include <windows.h>

namespace platform {
namespace {

class Win32Process final : public ProcessServices {
public:
    long processId() override { return static_cast<long>(::GetCurrentProcessId()); }

    bool isAlive(long pid) override {
        const HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
        if (h == nullptr)
            return ::GetLastError() == ERROR_ACCESS_DENIED; // there, but not ours to look at
        DWORD code = 0;
        const bool alive = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
        ::CloseHandle(h);
        return alive;
    }

    // Windows has no creation mask: a new file takes its security from its folder.
    std::optional<std::uint32_t> creationMask() override { return std::nullopt; }
    // Handles are limited by memory alone.
    long freeDescriptors() override { return -1; }
    void reserveDescriptors(long /*descriptors*/) override {}
    SideThreads& sideThreads() override {
        // Joined as the program ends: by then every run has waited for its tasks.
        static SideThreads threads;
        return threads;
    }
};

} // namespace

System hostSystem(FileSystem& files) {
    static Win32Process process;
    return System{files, win32::charsets(), process, kWindowsPaths};
}

const PathRules& systemPaths() { return kWindowsPaths; }

} // namespace platform
