#pragma once

#include "core/Encoding.h"
#include "platform/FileSystem.h"

#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

// Changes files of one open folder in three steps, so that many files can share one flush:
// prepare() writes the new content where nobody sees it yet (head: a new unnamed file in the
// same folder; foot: appended behind the old end), flush() puts the data on disk, and
// publish() makes it count (head: renamed over the old file in one step). Until publish()
// a file holds its whole old content, and discard() drops what prepare() wrote.
// prepare() may run on another thread than the other calls, one prepare() at a time.
class FolderEditor {
public:
    struct Pending {
        std::string name;
        std::string path;
        bool head = false;
        platform::UniqueFd fd;   // head: the new content; foot: the target itself
        std::string tempName;    // head, when the folder has no unnamed files: the visible temporary name
        off_t oldSize = 0;       // the old length (foot: where to cut back to)
        // head: the file being replaced, held open past the rename, so that freeing its blocks
        // happens when the holder closes it, wherever that suits
        platform::UniqueFd old;
    };

    FolderEditor(platform::FileSystem& fs, int dirFd, std::string folderPath);

    // Throws FileError; on failure the file holds its old content and nothing is left behind.
    Pending prepare(const std::string& name, bool head, EncodedCode& code, bool createMissing);
    // Puts the data of every pending edit on disk. Throws FileError; the caller then discards them all.
    void flush(std::vector<Pending>& pending);
    // Throws FileError; the file then still holds its old content.
    void publish(Pending& pending);
    // Drops a prepared edit; never throws.
    void discard(Pending& pending) noexcept;
    // Puts the folder's entries (the renames) on disk. A failure here is not a file's failure:
    // the new content is already in place and on disk, and a crash could at worst bring back
    // the whole old file, so the caller must not report the file as unchanged (a retry would
    // insert the code twice).
    bool syncFolder() noexcept;
    // Removes temporary files a killed run left in the folder.
    void sweepLeftovers(const std::vector<platform::DirEntry>& entries) noexcept;

    static bool isTemporaryName(const std::string& name);

private:
    Pending prepareHead(const std::string& name, const std::string& path, EncodedCode& code);
    Pending prepareFoot(const std::string& name, const std::string& path, EncodedCode& code,
                        bool createMissing);
    platform::UniqueFd openChecked(const std::string& name, const std::string& path, int flags,
                                   struct stat& st);
    void writeAll(int fd, std::string_view bytes, const std::string& path);
    std::string newTempName();

    platform::FileSystem& m_fs;
    int m_dirFd;
    std::string m_folder;
    bool m_unnamedWorks = true;
    std::atomic<unsigned> m_tempCounter{0};
    pid_t m_pid;
    mode_t m_umask = 0;
    bool m_umaskKnown = false;
    bool m_modeAtCreationChecked = false;
    // Owner and group our new files get in this folder, learnt from the first one.
    uid_t m_tempUid = 0;
    gid_t m_tempGid = 0;
    bool m_tempOwnerKnown = false;
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr off_t kWritebackSlice = 8 << 20;
    std::string m_buffer;
    std::string m_output;
};
