#include "platform/Process.h"
#include "platform/SideThreads.h"
#include "platform/System.h"
#include "platform/win32/Win32Charsets.h"

#include <windows.h>

namespace platform {
namespace {

class Win32ProcessServices final : public ProcessServices {
public:
    long processId() override { return static_cast<long>(::GetCurrentProcessId()); }
    bool isAlive(long pid) override { return platform::isAlive(pid); }
    // Windows has no creation mask: a new file inherits its folder's security.
    std::optional<std::uint32_t> creationMask() override { return std::nullopt; }
    // Handles are limited only by memory.
    long freeDescriptors() override { return -1; }
    void reserveDescriptors(long) override {}
    SideThreads& sideThreads() override { return platform::sideThreads(); }
};

} // namespace

System hostSystem(FileSystem& files) {
    static Win32ProcessServices process;
    return System{files, win32::systemCharsets(), process, kWindowsPaths};
}

} // namespace platform
