#include "core/BatchRun.h"

#include "core/CodeText.h"
#include "core/Encoding.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"
#include "core/MarkerPlace.h"
#include "core/NameFilter.h"
#include "core/RunLog.h"
#include "core/RunPipeline.h"
#include "core/ShownNames.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

using platform::FileHandle;
using platform::FileInfo;
using platform::FileSystem;
using platform::UniqueFile;

using Outcome = BatchResult::Outcome;

// What a run has found before it touches anything: its folder, the folders and files to handle,
// and the code, read and encoded once (the marker and the old code too); and the locks that keep
// other runs out of its tree.
struct RunStart {
    UniqueFile dir;
    std::vector<UniqueFile> locks;
    FolderTree tree;
    std::optional<EncodedCode> code;
    std::optional<EncodedCode> marker;
    std::optional<EncodedCode> oldCode;
};

bool besideMarker(CodeAt place) { return place == CodeAt::BeforeMarker || place == CodeAt::AfterMarker; }

Position positionOf(CodeAt place) {
    switch (place) {
    case CodeAt::Head:
    case CodeAt::HeadAfterPreamble:
        return Position::Head;
    case CodeAt::Foot:
        return Position::Foot;
    case CodeAt::BeforeMarker:
        return Position::BeforeMarker;
    case CodeAt::AfterMarker:
        return Position::AfterMarker;
    }
    return Position::Foot;
}

CodeEdit::Action editAction(RunAction action) {
    switch (action) {
    case RunAction::Add:
        return CodeEdit::Action::Add;
    case RunAction::AddOnce:
    case RunAction::Check: // a file holding the code is one an AddOnce would leave alone
        return CodeEdit::Action::AddOnce;
    case RunAction::Remove:
        return CodeEdit::Action::Remove;
    case RunAction::Replace:
        return CodeEdit::Action::Replace;
    }
    return CodeEdit::Action::Add;
}

CodeEdit editOf(const BatchInput& input, RunStart& run) {
    CodeEdit edit;
    edit.position = positionOf(input.place);
    edit.afterPreamble = input.place == CodeAt::HeadAfterPreamble;
    edit.eol = input.eol;
    edit.action = editAction(input.action);
    if (besideMarker(input.place)) {
        edit.marker = input.marker;
        edit.markerIsTag = isHtmlTag(input.marker);
        edit.markerBytes = &*run.marker;
    }
    edit.oldCode = run.oldCode ? &*run.oldCode : nullptr;
    return edit;
}

// A text the run needs beside the code (the old code), taken as the code is.
std::string codeLike(const std::string& text) {
    std::string crlf = toCrLf(text);
    if (crlf.ends_with("\r\n"))
        crlf.resize(crlf.size() - 2);
    return crlf;
}

// Why the request's marker, old code, types or exclusions cannot be followed; empty when they can.
std::string requestFault(const BatchInput& input) {
    if (besideMarker(input.place))
        if (std::string fault = markerFault(input.marker); !fault.empty())
            return fault;
    if (input.action == RunAction::Replace &&
        codeFault(codeLike(input.oldCode)).kind != CodeFault::Kind::None)
        return "the old code is empty or holds a control character";
    for (const std::string& pattern : input.exclude)
        if (std::string fault = exclusionFault(pattern); !fault.empty())
            return fault;
    return typesFault(input.types);
}

bool refuseBusy(const std::string& folder, BatchResult& result, const platform::System& system) {
    result.outcome = Outcome::FolderBusy;
    result.folderError = FileError(std::errc::operation_would_block, "lock", folder, Refusal::AnotherRun);
    result.error = shownPath(folder, system.charsets, system.paths) + ": " + result.folderError->reason();
    return false;
}

// Opens and, for a run that changes files, locks the folder, then scans it; false with the
// result's outcome set when that fails.
bool openRun(const BatchInput& input, const platform::System& system, bool lock, RunStart& run,
             BatchResult& result) {
    FileSystem& fs = system.files;
    try {
        FileHandle dir = platform::kNoFile;
        if (std::error_code ec = fs.openFolder(input.folder, dir))
            throw FileError(ec, "open folder", input.folder);
        run.dir = UniqueFile(fs, dir);
        // Two runs in one tree would each replace files the other just changed.
        if (lock && !lockRunFolders(fs, run.dir.get(), run.locks))
            return refuseBusy(input.folder, result, system);
        run.tree =
            scanFolders(system, run.dir.get(), NameFilter(input.types, input.exclude), input.recursive);
    } catch (const FileError& e) {
        result.outcome = Outcome::FolderUnreadable;
        result.error = shownPath(input.folder, system.charsets, system.paths) + ": " + e.reason();
        result.folderError = e;
        return false;
    }
    return true;
}

// Reads the code and checks it once, before any file is touched, for every file.
bool takeCode(const BatchInput& input, const platform::System& system, RunStart& run, BatchResult& result) {
    try {
        std::string code = input.code ? input.code() : std::string();
        // Its own last line break is the one that follows every code: a second would be a blank line.
        if (code.ends_with("\r\n"))
            code.resize(code.size() - 2);
        // Nothing to add would still add a line break, and nothing to take out would take one.
        if (CodeFault fault = codeFault(code); fault.kind != CodeFault::Kind::None) {
            result.outcome =
                fault.kind == CodeFault::Kind::Empty ? Outcome::EmptyCode : Outcome::ControlInCode;
            result.error = std::move(fault.reason);
            return false;
        }
        const bool replace = input.action == RunAction::Replace;
        if (replace && codeLike(input.oldCode) == code) {
            result.outcome = Outcome::BadRequest;
            result.error = "the old code and the new one are the same";
            return false;
        }
        if (input.place == CodeAt::BeforeMarker && isHtmlTag(input.marker) && leavesCommentOpen(code)) {
            result.outcome = Outcome::BadRequest;
            result.error =
                "the code opens an HTML comment (<!--) that it does not close: it would hide " + input.marker;
            return false;
        }
        const std::string charset = system.charsets.systemCharset();
        run.code.emplace(system.charsets, std::move(code), charset, input.encoding);
        if (replace)
            run.oldCode.emplace(system.charsets, codeLike(input.oldCode), charset, input.encoding);
        if (besideMarker(input.place))
            run.marker.emplace(system.charsets, input.marker, charset, input.encoding);
    } catch (const EncodingError& e) {
        result.outcome = Outcome::CodeNotEncodable;
        result.error = e.what();
        return false;
    }
    return true;
}

// Checks the input, locks and scans the folders and encodes the code; on a refusal sets the
// result's outcome and returns false, having touched nothing.
bool startRun(const BatchInput& input, const platform::System& system, bool lock, RunStart& run,
              BatchResult& result) {
    if (input.folder.empty()) {
        result.outcome = Outcome::NoFolder;
        result.error = "no folder has been chosen";
        return false;
    }
    if (std::string fault = requestFault(input); !fault.empty()) {
        result.outcome = Outcome::BadRequest;
        result.error = std::move(fault);
        return false;
    }
    for (const std::string& type : input.types) {
        const std::size_t separator = type.find_first_of(kNotInExtension);
        if (separator != std::string::npos) {
            result.outcome = Outcome::BadExtension;
            result.error = "the file type \"" + type + "\" holds a '" + type[separator] + "'";
            return false;
        }
    }
    if (!openRun(input, system, lock, run, result))
        return false;
    return takeCode(input, system, run, result);
}

// Opens a folder of the run for its turn; a subfolder the run changes is locked while it does, as
// the run's own folder is (a run below whose locks above could not all be taken). Throws
// FileError: the folder's failure, one the scan met included.
FileHandle enterFolder(FileSystem& fs, FolderWalk& walk, const RunStart& run, std::size_t folder, bool lock) {
    const ScannedFolder& scanned = run.tree.folders[folder];
    if (scanned.failure)
        throw *scanned.failure;
    const FileHandle dir = walk.enter(folder);
    if (dir == platform::kNoFile) // bound over since the scan
        throw FileError(std::errc::resource_unavailable_try_again, "open folder", scanned.name,
                        Refusal::ChangedDuringRun);
    if (lock && folder != 0 &&
        fs.lockFolder(dir, FileSystem::Lock::Exclusive) == std::errc::operation_would_block)
        throw FileError(std::errc::operation_would_block, "lock", scanned.name, Refusal::AnotherRun);
    return dir;
}

// One folder of the tree in its turn: entered and locked, its leftovers swept, its files changed.
void runTreeFolder(RunState& state, FolderWalk& walk, const RunStart& run, std::size_t index) {
    const ScannedFolder& folder = run.tree.folders[index];
    const platform::System& system = state.config.system;
    RunState::RunThread& own = state.run;
    FileHandle dir = platform::kNoFile;
    try {
        dir = enterFolder(state.config.fs, walk, run, index, /*lock=*/true);
    } catch (const FileError& e) {
        own.done += folder.names.size(); // handled: as one failure
        own.result.failures.push_back(failureBelow(state.config.folder, run.tree.relative(index), e, system));
        own.sink.appendLog(
            failureLine(own.result.failures.back().name, own.sink.reasonText(own.result.failures.back())));
        return;
    }
    const std::string path = state.config.folder + walk.relative();
    FolderEditor editor(system, dir, path);
    editor.shareAppended(state.prepare.appended, walk.relative());
    // Called on the thread that prepares the files.
    editor.onCopyProgress([sink = &own.sink](std::int64_t done, std::int64_t end) {
        sink->fileProgress(std::uint64_t(done), std::uint64_t(end));
    });
    editor.sweepLeftovers(folder.leftovers);
    RunPipeline(state, editor, folder.names, {walk.relative(), path, dir, folder.id.volume}).run();
}

} // namespace

BatchResult runBatch(const BatchInput& input, BatchSink& sink, const platform::System& system) {
    BatchResult result;
    RunStart run;
    if (!startRun(input, system, /*lock=*/true, run, result))
        return result;
    RunState state{{system, system.files, editOf(input, run), input.folder},
                   {sink, result, input.ownOutput},
                   {*run.code}};
    state.stop.external = input.stop;
    for (const std::size_t folder : run.tree.order)
        state.run.total += run.tree.folders[folder].names.size();
    FolderWalk walk(system.files, run.dir.get(), run.tree);
    for (const std::size_t folder : run.tree.order) {
        if (state.stopped())
            break;
        runTreeFolder(state, walk, run, folder);
    }
    if (state.run.done < state.run.total)
        result.outcome = Outcome::Cancelled;
    sink.appendLog(closingLines(result, sink));
    return result;
}

namespace {

// Whether another run holds a folder or a folder above it: the run's own locks, let go at once.
bool heldByAnotherRun(FileSystem& fs, FileHandle dir) {
    // A handle of its own: a lock taken on the run's would stay until the preview ends.
    std::error_code ec;
    UniqueFile probe = platform::openAt(fs, dir, ".", platform::OpenMode::Folder, ec);
    std::vector<UniqueFile> locks;
    return probe && !lockRunFolders(fs, probe.get(), locks);
}

// Whether another run holds a subfolder: a lock on a handle of its own, let go at once.
bool subfolderHeld(FileSystem& fs, FileHandle dir) {
    std::error_code ec;
    UniqueFile probe = platform::openAt(fs, dir, ".", platform::OpenMode::Folder, ec);
    return probe &&
           fs.lockFolder(probe.get(), FileSystem::Lock::Exclusive) == std::errc::operation_would_block;
}

// What a run would refuse before reading the file: where its own output goes, a read-only file.
void refuseBeforehand(const BatchInput& input, FileSystem& fs, FileHandle dir, const std::string& name,
                      const std::string& path) {
    FileInfo info;
    if (fs.statAt(dir, name, info))
        return; // the run finds out for itself
    if (isOwnFile(input.ownOutput, info))
        throw FileError(std::errc::device_or_resource_busy, "change", path, Refusal::OwnOutput);
    if (info.kind == platform::FileKind::Regular && info.readOnly)
        throw FileError(std::errc::permission_denied, "open", path, Refusal::ReadOnly);
}

// What a preview finds in one folder of the tree: the files it is after, and failures.
void previewTreeFolder(FolderWalk& walk, RunStart& run, std::size_t index, const BatchInput& input,
                       std::vector<std::string>& files, BatchResult& result, const platform::System& system) {
    FileSystem& fs = system.files;
    const CodeEdit edit = editOf(input, run);
    // A plain insertion changes every file; the others depend on what each file holds.
    const bool reads = edit.action != CodeEdit::Action::Add || besideMarker(input.place);
    const bool wanted = edit.action == CodeEdit::Action::Remove || edit.action == CodeEdit::Action::Replace;
    // A check writes nothing, so it refuses nothing a run would refuse beforehand.
    const bool asRun = input.action != RunAction::Check;
    FileHandle dir = platform::kNoFile;
    try {
        dir = enterFolder(fs, walk, run, index, /*lock=*/false);
        if (asRun && index != 0 && subfolderHeld(fs, dir))
            throw FileError(std::errc::operation_would_block, "lock", run.tree.folders[index].name,
                            Refusal::AnotherRun);
    } catch (const FileError& e) {
        result.failures.push_back(failureBelow(input.folder, run.tree.relative(index), e, system));
        return;
    }
    FolderEditor reader(system, dir, input.folder + walk.relative());
    for (const auto& name : run.tree.folders[index].names) {
        try {
            if (asRun)
                refuseBeforehand(input, fs, dir, name, input.folder + walk.relative() + name);
            if (!reads || reader.holdsCode(name, edit, *run.code) == wanted)
                files.push_back(walk.relative() + name);
        } catch (const FileError& e) {
            result.failures.push_back(failureBelow(input.folder, walk.relative() + name, e, system));
        }
    }
}

} // namespace

BatchResult previewBatch(const BatchInput& input, std::vector<std::string>& files,
                         const platform::System& system) {
    BatchResult result;
    RunStart run;
    if (!startRun(input, system, /*lock=*/false, run, result))
        return result;
    FileSystem& fs = system.files;
    if (input.action != RunAction::Check && heldByAnotherRun(fs, run.dir.get())) {
        refuseBusy(input.folder, result, system);
        return result;
    }
    FolderWalk walk(fs, run.dir.get(), run.tree);
    for (const std::size_t folder : run.tree.order)
        previewTreeFolder(walk, run, folder, input, files, result, system);
    return result;
}