#pragma once

#include "core/CodePlace.h"
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
        // Why prepare() left a file as it is.
        enum class Skip { None, AlreadyHeld, NotHeld };
        std::string name;
        std::string path;
        bool head = false;
        Skip skip = Skip::None;
        platform::UniqueFd fd;   // head: the new content; foot: the target itself
        std::string tempName;    // head, when the folder has no unnamed files: the visible temporary name
        off_t oldSize = 0;       // the old length (foot: where to cut back to)
        std::string cut;         // foot removal: the bytes cut off the end, put back by discard()
        // head: the file being replaced, held open past the rename, so that freeing its blocks
        // happens when the holder closes it, wherever that suits
        platform::UniqueFd old;
    };

    FolderEditor(platform::FileSystem& fs, int dirFd, std::string folderPath);

    // Throws FileError; on failure the file holds its old content and nothing is left behind.
    // A file the edit leaves alone comes back with its skip set and nothing to flush or publish.
    Pending prepare(const std::string& name, const CodeEdit& edit, EncodedCode& code, bool createMissing);
    // Does the file hold the code at the place the edit would put it? Opens it for reading only.
    bool holdsCode(const std::string& name, const CodeEdit& edit, EncodedCode& code);
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
    // Where the code goes in one file, and whether it stands there already.
    struct Spot {
        EncodingMark mark;
        LineBreak lineBreak = LineBreak::CrLf;
        off_t at = 0;                       // head: where the code goes; foot: the file's size
        const std::string* code = nullptr;  // the code and its line break, in the file's encoding
        bool lacksBreak = false;            // head: the preamble ends the file without a line break
        bool held = false;
    };
    // Reads what it needs of the file's start into m_buffer (m_have bytes).
    Spot locate(int fd, off_t size, const std::string& path, const CodeEdit& edit, EncodedCode& code);
    std::size_t readStart(int fd, off_t size, std::size_t want, const std::string& path);
    LineBreak fileLineBreak(int fd, off_t size, const EncodingMark& mark, const std::string& path);
    bool endsInBreak(int fd, off_t size, const Spot& spot, const std::string& path);
    Pending prepareHead(const std::string& name, const std::string& path, const CodeEdit& edit,
                        EncodedCode& code);
    Pending prepareFoot(const std::string& name, const std::string& path, const CodeEdit& edit,
                        EncodedCode& code, bool createMissing);
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
    std::size_t m_have = 0;
    std::string m_output;
};
