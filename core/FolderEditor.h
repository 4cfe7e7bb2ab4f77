#pragma once

#include "core/CodePlace.h"
#include "core/Encoding.h"
#include "core/FileError.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Changes files of one open folder in three steps, so that many files can share one flush:
// prepare() writes the new content where nobody sees it yet (a head, a removal, or a foot too long
// for one write: a new unnamed file in the same folder; a short foot: appended behind the old end),
// flush() puts the data on disk, and publish() makes it count (a new file is renamed over the
// old one in one step). Until publish() a file holds its whole old content, and discard() drops
// what prepare() wrote.
// prepare() may run on another thread than the other calls, one prepare() at a time.
class FolderEditor {
public:
    // A foot code up to this size is appended in one write, which a crash does not split.
    static constexpr std::size_t kAtomicAppend = 4096;

    struct Pending {
        // Why prepare() left a file as it is.
        enum class Skip { None, AlreadyHeld, NotHeld, HoldsNew, LacksOld };
        std::string name;
        std::string path;
        bool replace = false; // a new file renamed over the old one
        Skip skip = Skip::None;
        platform::UniqueFile file; // replace: the new content; else the target itself
        std::string tempName;      // replace: the visible temporary name, once it has one
        std::int64_t oldSize = 0;  // the old length (an append: where to cut back to)
        std::int64_t appended = 0; // an append: the bytes added so far
        platform::FileInfo read;   // the old file when it was read
        // A second name of a file whose foot this run has already appended: nothing to do, and it
        // fares as sameAs does.
        std::string sameAs;
        // A changed file that could not keep one of its extended attributes (noteAttribute names
        // it), or that another program wrote to while the code went on (no attribute).
        std::optional<FileError> note;
        std::string noteAttribute;
        // replace: the file being replaced, held open past the rename, so that freeing its
        // blocks happens when the holder closes it, wherever that suits
        platform::UniqueFile old;
    };

    // Files whose foot a run appended, by their identity, with the name that did it.
    using AppendedFiles = std::map<platform::FileId, std::string>;

    FolderEditor(const platform::System& system, platform::FileHandle dir, std::string folderPath);
    // Shares the files appended to with the run's other folders (whose names a file may also
    // have); this folder's names are recorded behind relative.
    void shareAppended(AppendedFiles& appended, std::string relative);
    // Told the bytes copied so far of a large file's rest, and its end, after each slice.
    void onCopyProgress(std::function<void(std::int64_t done, std::int64_t end)> report) {
        m_setup.copyProgress = std::move(report);
    }

    // Throws FileError; on failure the file holds its old content and nothing is left behind.
    // A file the edit leaves alone comes back with its skip set and nothing to flush or publish.
    Pending prepare(const std::string& name, const CodeEdit& edit, EncodedCode& code, bool createMissing);
    // Does the file hold the code at the place the edit would put it (a replacement: would it
    // change the file)? Opens it for reading only.
    bool holdsCode(const std::string& name, const CodeEdit& edit, EncodedCode& code);
    // Asked before the files of one flush are prepared: true where other programs keep the disk
    // busy, so that each new content is best sent on to the disk as soon as it is written, for
    // its own flush later to find it written.
    bool expectFlushOf(std::size_t files);
    // Puts the data of every pending edit on disk. Throws FileError; the caller then discards them all.
    void flush(std::vector<Pending>& pending);
    // Throws FileError; the file then still holds its old content, or (Refusal::ChangedDuringRun)
    // what another program made of it. An append that went down counts, whoever wrote behind it.
    void publish(Pending& pending);
    // Drops a prepared edit; never throws. False when an append could not be cut back (or, since
    // another program wrote behind it, must not be), so that the file may end with part of the code.
    bool discard(Pending& pending) noexcept;
    // Puts the folder's entries (the renames) on disk. A failure here is not a file's failure:
    // the new content is already in place and on disk, and a crash could at worst bring back
    // the whole old file, so the caller must not report the file as unchanged (a retry would
    // insert the code twice).
    bool syncFolder() noexcept;
    // Whether new contents start unnamed here, so that a killed run leaves none of them behind.
    // Asked once, before the files are prepared: tries one.
    bool makesUnnamedFiles();
    // Removes temporary files a killed run left in the folder; a live process's stay, whoever's it is.
    void sweepLeftovers(const std::vector<platform::DirEntry>& entries) noexcept;

    // Exactly the names this program gives its temporary files: ".stepwick-PID-TICK-N.tmp".
    static bool isTemporaryName(const std::string& name);
    static constexpr std::string_view kTempPrefix = ".stepwick-", kTempSuffix = ".tmp";

private:
    // Where the code goes in one file, and whether it stands there already.
    struct Spot {
        EncodingMark mark;
        LineBreak lineBreak = LineBreak::CrLf;
        std::int64_t at = 0;               // head: where the code goes; foot: the file's size
        const std::string* code = nullptr; // the code and its line break, in the file's encoding
        bool lacksBreak = false;           // head: the preamble ends the file without a line break
        // head: the file ends as it did, with or without a last line break (any placement option)
        bool keepEnd = false;
        bool held = false;
        std::int64_t heldFrom = 0, heldEnd = 0; // held: the bytes a removal takes out
        bool inlineCode = false; // beside a marker on its line: the code without its line break
    };
    // Reads what it needs of the file's start into m_buffer (m_have bytes).
    // again: the start read for this file before serves again.
    Spot locate(platform::FileHandle file, std::int64_t size, const std::string& path, const CodeEdit& edit,
                EncodedCode& code, bool again = false);
    // Beside a marker: the whole file is read, once.
    Spot locateAtMarker(platform::FileHandle file, std::int64_t size, const std::string& path,
                        const CodeEdit& edit, Spot spot, bool compare);
    // replace: whether the new code stands at its place, else where the old one does.
    Spot locateReplacement(platform::FileHandle file, std::int64_t size, const std::string& path,
                           const CodeEdit& edit, EncodedCode& code, bool& holdsNew);
    // The bytes that take the held old code's place: the new code in the same form.
    std::string replacementOf(platform::FileHandle file, const Spot& old, EncodedCode& code,
                              const std::string& path);
    // Reads up to want bytes at an offset, fewer only at the file's end.
    std::size_t readAt(platform::FileHandle file, char* into, std::size_t want, std::int64_t at,
                       const std::string& path);
    // Reads want bytes at an offset; fewer are a FileError.
    void readExactly(platform::FileHandle file, char* into, std::size_t want, std::int64_t at,
                     const std::string& path);
    std::size_t readStart(platform::FileHandle file, std::int64_t size, std::size_t want,
                          const std::string& path);
    // The preamble of the file, reading on as far as it needs.
    Preamble readPreamble(platform::FileHandle file, std::int64_t size, const std::string& path,
                          const EncodingMark& mark);
    // The length of the preamble the file would have without length bytes at place (behind the mark).
    std::size_t preambleWithout(platform::FileHandle file, std::int64_t size, const std::string& path,
                                const EncodingMark& mark, std::size_t place, std::size_t length);
    // The foot: behind the last byte; compare: whether the code already ends the file.
    Spot locateAtFoot(platform::FileHandle file, std::int64_t size, const std::string& path, Spot spot,
                      bool compare);
    Spot locateBehindPreamble(platform::FileHandle file, std::int64_t size, const std::string& path,
                              Spot spot, bool compare);
    LineBreak fileLineBreak(platform::FileHandle file, std::int64_t size, const EncodingMark& mark,
                            const std::string& path);
    bool endsInBreak(platform::FileHandle file, std::int64_t size, const Spot& spot, const std::string& path);
    void findHeadCode(platform::FileHandle file, std::int64_t size, Spot& spot, const std::string& path);
    void findCodeEndingFile(platform::FileHandle file, std::int64_t size, Spot& spot,
                            const std::string& path);
    // Does the file hold these bytes at this offset?
    bool holdsAt(platform::FileHandle file, std::int64_t at, std::string_view bytes, const std::string& path);
    Pending prepareHead(Pending p, platform::UniqueFile src, const CodeEdit& edit, EncodedCode& code);
    Pending prepareFoot(Pending p, platform::UniqueFile file, const CodeEdit& edit, EncodedCode& code);
    Pending prepareAppend(Pending p, const std::string& codeBytes);
    Pending prepareFootRemoval(Pending p, platform::UniqueFile src, const Spot& spot);
    // Makes the new file, lets fill write its content, and gives it the old file's metadata.
    template <typename Fill> Pending prepareReplace(Pending p, platform::UniqueFile src, Fill fill);
    platform::UniqueFile openTarget(Pending& p, bool head, bool createMissing);
    platform::UniqueFile openChecked(const std::string& name, const std::string& path,
                                     platform::OpenMode mode, platform::FileInfo& info);
    void writeHead(Pending& p, platform::FileHandle src, const Spot& spot, bool remove);
    // The old file with its bytes [from, end) replaced by bytes.
    void writeSpliced(Pending& p, platform::FileHandle src, std::int64_t from, std::int64_t end,
                      std::string_view bytes);
    struct Splice {
        std::int64_t from = 0, end = 0; // the old bytes that give way
        std::string_view bytes;         // what takes their place
    };
    Pending prepareSplice(Pending p, platform::UniqueFile src, const Splice& splice);
    Pending prepareAtMarker(Pending p, platform::UniqueFile src, const CodeEdit& edit, EncodedCode& code);
    Pending prepareReplacement(Pending p, platform::UniqueFile src, const CodeEdit& edit, EncodedCode& code);
    void checkReplaceable(const std::string& path);
    void createNew(Pending& p, std::uint32_t permissions);
    void createNamed(Pending& p, std::uint32_t permissions);
    void nameUnnamed(Pending& p);
    // Copies src's bytes [offset, end) behind what p's new file holds (written bytes so far);
    // report: told onCopyProgress's callback, on prepare's thread.
    void copyBytes(Pending& p, platform::FileHandle src, std::int64_t offset, std::int64_t end,
                   std::int64_t written, bool report = true);
    struct NewFileOwner;
    // owner: what new files get, as far as the calling thread has learnt.
    void carryMetadata(Pending& p, platform::FileHandle src, bool modeAtCreation, NewFileOwner& owner);
    void copyAttributes(Pending& p, platform::FileHandle src, bool& aclChanged);
    void writeAll(platform::FileHandle file, std::string_view bytes, const std::string& path);
    void checkUnchanged(const Pending& p);
    void noteOwnChange(const Pending& p);
    std::string newTempName();
    // True when other programs have so much unwritten data that one flush of the whole file
    // system would cost more than flushing each of ours.
    bool othersAreWriting(const std::vector<Pending>& pending);
    bool othersAreWriting(long long ours, std::size_t files);

    static constexpr std::size_t kChunk = std::size_t{64} * 1024;
    static constexpr std::int64_t kWritebackSlice = 8 << 20;
    static constexpr long long kPageSize = 4096;
    static constexpr long long kOthersUnwrittenFloor = 16 << 20;
    static constexpr long long kOthersUnwrittenPerFile = 256 << 10;

    // Owner and group our new files get in this folder, learnt from the first one a thread makes.
    struct NewFileOwner {
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
        bool known = false;
    };
    // Set before a run's threads start, then only read.
    struct Setup {
        platform::FileSystem& fs;
        platform::ProcessServices& process;
        platform::FileHandle dir;
        std::string folder;
        long pid;
        std::uint32_t umask = 0;
        std::string relative{}; // the folder below the run's, for the names in appended
        // Both called and changed on prepare()'s thread only.
        std::function<void(std::int64_t, std::int64_t)> copyProgress{};
        AppendedFiles* appended = nullptr; // files whose foot this run appended
    };
    // prepare()'s thread (and holdsCode()'s, which never runs beside it).
    struct PrepareState {
        bool replaceChecked = false;
        bool replaceBlocked = false;
        bool umaskKnown = false; // the umask decides the mode of a new file
        bool modeAtCreationChecked = false;
        NewFileOwner newOwner;
        AppendedFiles ownAppended;
        std::string buffer; // the start of the file being read: have bytes
        std::size_t have = 0;
        std::string charset; // the run's charset for a file without a mark
        platform::Charsets* charsets = nullptr;
        std::string output;
    };
    // publish()'s thread, with discard() and syncFolder().
    struct PublishState {
        // Change times of files with further names, from before our first rename of one of them to
        // after our latest: these renames do not make the other names count as changed by someone else.
        std::map<platform::FileId, std::vector<platform::ChangeStamp>> ownChanges;
        NewFileOwner newOwner; // for a new file that had to be named after all
    };
    // Both threads.
    struct Shared {
        std::atomic<bool> unnamedWorks{true}; // cleared by publish, read by prepare
        std::atomic<unsigned> tempCounter{0};
    };
    // What the threads flushing one batch side by side share.
    struct EachFlush {
        std::atomic<bool> failed{false};
        std::mutex mutex; // guards first and error
        std::size_t first = 0;
        std::error_code error;
    };
    struct FileToFlush {
        platform::FileHandle handle;
        std::size_t index; // in the batch
    };
    void flushEach(const std::vector<Pending>& pending);
    void flushOne(const FileToFlush& file, EachFlush& shared);

    Setup m_setup;
    PrepareState m_prepare;
    PublishState m_publish;
    Shared m_shared;
};
