#pragma once

#include "platform/Charsets.h"
#include "platform/FileSystem.h"

#include <optional>
#include <string>
#include <string_view>

// What the core asks of the system besides its files. The core gets a System as an argument and
// links none of its implementations.
namespace platform {

class SideThreads;

class ProcessServices {
public:
    virtual ~ProcessServices() = default;
    // This process's number.
    virtual long processId() = 0;
    // Does process pid exist? Another user's process, which we may not signal, exists too.
    virtual bool isAlive(long pid) = 0;
    // The mode bits a new file is created without, where the system has such a mask and tells it.
    virtual std::optional<std::uint32_t> creationMask() = 0;
    // How many more files this process may open now; -1 where the system sets no such limit.
    virtual long freeDescriptors() = 0;
    // Makes room in the process's table of open files for count of them, before a run starts its
    // threads (growing it while they run makes each of them wait). Only a preparation.
    virtual void reserveDescriptors(long count) = 0;
    // The threads a run's side work runs on.
    virtual SideThreads& sideThreads() = 0;
};

// How paths are written: the separators, and where a path's root ends.
struct PathRules {
    char separator = '/';              // written between a folder and a name
    std::string_view separators = "/"; // taken as one when reading a path
    bool driveLetters = false;         // "C:" starts a path (Windows)

    bool isSeparator(char c) const { return separators.find(c) != std::string_view::npos; }
    // The folder with exactly one separator behind it; a root ("/", "C:\") stays as it is.
    std::string asFolder(std::string_view folder) const {
        std::string dir(folder);
        if (dir.empty() || !isSeparator(dir.back()))
            dir += separator;
        return dir;
    }
    // A name below a folder written by asFolder.
    std::string join(std::string_view folder, std::string_view name) const {
        return std::string(folder) + std::string(name);
    }
};

inline constexpr PathRules kPosixPaths{'/', "/", false};
inline constexpr PathRules kWindowsPaths{'\\', "\\/", true};

struct System {
    FileSystem& files;
    Charsets& charsets;
    ProcessServices& process;
    PathRules paths = kPosixPaths;
};

// The running system's services, around the given file system (tests pass one that records or
// fails its calls). Defined by each implementation (posix/, win32/).
System hostSystem(FileSystem& files);
// The real file system of the running system.
FileSystem& systemFileSystem();
// The running system's charsets, for the front ends' own text (the core gets them in a System).
Charsets& systemCharsets();
// How the running system writes paths.
const PathRules& systemPaths();

} // namespace platform
