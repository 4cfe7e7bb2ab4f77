#pragma once

#include "core/CodePlace.h"
#include "core/FileError.h"
#include "core/FolderScan.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The log's first line as a fresh main window shows it.
inline constexpr std::string_view kLogHeader = "被处理的文件\r\n";
// Stands after the count (and the failures) when a run was stopped before its last file.
inline constexpr std::string_view kCancelledLine = "已取消，其余文件未作改动。";
// The log's last line.
inline constexpr std::string_view kThanksLine = "感谢您使用本软件！";

// A file type holding either system's separator is refused on both, whichever system runs.
inline constexpr std::string_view kNotInExtension = "/\\";

// What a run does with the code in each matching file.
enum class RunAction {
    Add,     // put it in
    AddOnce, // put it in unless it already stands at its place
    Remove,  // take it out where it stands exactly at its place
    Replace, // where the old code stands exactly at its place, put the code in its stead
    Check,   // change nothing: find the files that lack it at its place
};

// Where the code goes in each file.
enum class CodeAt {
    Head,              // before the first line
    HeadAfterPreamble, // behind a leading "#!", "<?xml ?>" and "<!DOCTYPE>" line
    Foot,              // behind the last byte
    BeforeMarker,      // in front of the file's last marker
    AfterMarker,       // behind the file's first marker
};

// What a run is asked to do, as one value: which files, what to do with the code, where, and how.
// The command line builds it from its options, the windows from their choices (see runRequest).
struct BatchInput {
    // The confirmed folder, ending in a separator (see confirmFolder); empty: none chosen (NoFolder).
    std::string folder;
    bool recursive = false; // subfolders too: visible ones, on the folder's own file system
    // The file types, without the dot; "*" and "?" are wildcards. A file of any of them is handled;
    // an empty one (names without a dot) only alone.
    std::vector<std::string> types{};
    // Names, or paths below the folder ('/' between names), with "*" and "?", of the files and
    // subfolders the run leaves out: an excluded subfolder is not entered.
    std::vector<std::string> exclude{};
    RunAction action = RunAction::Add;
    // Change nothing: the run is only previewed (previewBatch), listing the files it would change.
    bool listOnly = false;
    CodeAt place = CodeAt::Foot;
    // BeforeMarker, AfterMarker: the marker (UTF-8, one line, not empty); an HTML tag such as
    // "</body>" matches in any letter case, with attributes, outside comments.
    std::string marker{};
    // Replace: the old code (UTF-8), which gives way where it stands as Remove would find it.
    std::string oldCode{};
    // Asked once per run, after the folder was read and before any file is touched; the text
    // returned (UTF-8, CR LF line breaks) is taken over, not copied, and serves every file. A last
    // CR LF is the code's own: no second one follows it.
    std::function<std::string()> code;
    LineBreakMode eol = LineBreakMode::CrLf; // the code's line breaks (plain CR LF: also an old last line's)
    // The charset of every file without a byte-order mark; empty: each judged by its first bytes.
    std::string encoding{};
    // Set from anywhere (another thread, a signal handler) to stop the run between two files.
    const std::atomic<bool>* stop = nullptr;
    // Files the run leaves alone and reports as failed, whatever their names: where its log and
    // its messages go.
    std::vector<platform::FileId> ownOutput{};
};

struct FileFailure {
    std::string name;        // as listed in the log (see shownText)
    std::string path;        // full path, as on disk
    std::string reason;      // English: the refusal's text, else the system's description of error
    std::error_code error{}; // the system's, empty for none
    Refusal refusal = Refusal::None;
    std::string attribute; // for a changed file whose extended attribute was not copied: its name
    bool folder = false;   // a subfolder that could not be read or entered (its name ends in '/')
};

// Why a replacement or a removal left a file as it was.
enum class LeftAlone {
    HoldsNew, // the new code stands at its place already
    LacksOld, // neither the old code nor the new stands there
    NotHeld,  // a removal: the code does not stand at its place
};

// Receives what a run reports, in the run's order.
class BatchSink {
public:
    virtual ~BatchSink() = default;
    // A piece of log text, CR LF line breaks, to append as it stands.
    virtual void appendLog(std::string_view text) = 0;
    // Called between files; return false to stop before the next one.
    virtual bool progress(std::size_t done, std::size_t total) {
        (void)done;
        (void)total;
        return true;
    }
    // The reason shown in a file's log line; front ends may word it in their own language.
    virtual std::string reasonText(const FileFailure& failure) const { return failure.reason; }
    // The word in the line of a file a replacement or a removal left alone, and the line that
    // counts the files that lack the old code.
    virtual std::string leftAloneText(LeftAlone why) const;
    virtual std::string lacksOldCount(std::size_t files) const;
    // The word in the line of a file the run changed; empty: the name stands alone.
    virtual std::string changedText() const { return {}; }
    // How far the copy of one large file has come, so that a long file shows progress too.
    // Called from the thread that prepares the files, which may not be the run's own.
    virtual void fileProgress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
};

struct BatchResult {
    enum class Outcome {
        Completed,        // every matching file was handled (changed or failed)
        Cancelled,        // the sink asked to stop; the files not reached are untouched
        NoFolder,         // no folder confirmed: ask for one; nothing touched, nothing logged
        BadExtension,     // a file type holds a slash or a backslash; nothing touched, nothing logged
        FolderUnreadable, // the folder cannot be opened or read; nothing touched, nothing logged
        CodeNotEncodable, // the code cannot be written in the needed encoding; nothing touched
        EmptyCode,        // there is no code to add or take out (or line breaks only); nothing touched
        ControlInCode,    // the code holds a control character but tab, CR and LF; nothing touched
        FolderBusy,       // another run holds the folder; nothing touched, nothing logged
        BadRequest,       // the marker, the old code, the types or an exclusion cannot be followed
    };
    Outcome outcome = Outcome::Completed;
    std::size_t changed = 0;
    std::size_t alreadyHeld = 0; // left alone: they held the code already (AddOnce)
    std::size_t notHeld = 0;     // left alone: they did not hold the code (Remove)
    std::size_t lacksOld = 0;    // left alone: they held neither the old code nor the new (Replace)
    // Files, and subfolders (a name ending in '/') that could not be read.
    std::vector<FileFailure> failures;
    // Changed files with a word in their line: an extended attribute that could not be copied
    // (attribute names it), or another program that wrote to the file meanwhile.
    std::vector<FileFailure> notes;
    std::string error; // for the outcomes that touch nothing: what went wrong, in English (UTF-8)
    // For FolderUnreadable and FolderBusy: the failure itself, for front ends that name the folder as the
    // user typed it.
    std::optional<FileError> folderError;
};

// The main action: adds the code to (or takes it out of) every matching file of input.folder and
// reports the log through the sink; a request that changes nothing (Check, listOnly) is
// previewBatch's. A file that fails is logged with its reason and the run goes on.
// With recursive, the folder's files come first, then each subfolder in name order (case ignored),
// and log names are paths below the folder ("sub/a.txt", with the system's separator); a subfolder
// that cannot be read is one folder's failure ("sub/") and the run goes on; mount points below are
// not entered. With AddOnce or Remove, the files left alone are logged with what they held and not
// counted. The folder is locked for the run: a second run whose tree overlaps it (on it, above or
// below it) is refused (FolderBusy), as this one is while such a run holds its tree. Every service
// of the system comes in through system.
BatchResult runBatch(const BatchInput& input, BatchSink& sink, const platform::System& system);

// What runBatch would change, changing nothing and opening nothing for writing: the files (log
// names, run order) it would change. With AddOnce, those that lack the code at its place; with
// Remove, those that hold it; else every matching file. A Check lists those that lack it. Files
// and subfolders that cannot be read go to the result's failures. The outcome refuses what runBatch
// would refuse. Previewing a run, the files and subfolders it would refuse before reading them
// (read-only, its own output, held by another run) are failures too; a check writes nothing, so it
// refuses none of them.
BatchResult previewBatch(const BatchInput& input, std::vector<std::string>& files,
                         const platform::System& system);
