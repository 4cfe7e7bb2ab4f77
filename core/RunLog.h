#pragma once

#include "core/BatchRun.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"
#include "platform/System.h"

#include <string>

// The words of a run's log: one line per file, the failures' reasons, the closing lines.

// A failure as the log words it; its name and path are the caller's to fill in.
FileFailure failureOf(const FileError& e, const platform::System& system);

// A file or subfolder ("sub/") met outside the pipeline: named by its path below the run's folder.
FileFailure failureBelow(const std::string& folder, const std::string& relative, const FileError& e,
                         const platform::System& system);

// The line of a file that was handled without failing; a replacement's skips worded by the sink.
std::string fileLine(const std::string& name, FolderEditor::Pending::Skip skip, const BatchSink& sink);
// Counts a file that was handled without failing.
void countFile(BatchResult& result, FolderEditor::Pending::Skip skip);
// The line of a file that could not be handled, with the reason the sink words.
std::string failureLine(const std::string& name, const std::string& reason);
// The line of a changed file with a word: an attribute that was not copied (named), or another
// program's write beside the code (no attribute).
std::string noteLine(const std::string& name, const std::string& attribute, const std::string& reason);

// What ends the log: the counts, a stop, the thanks.
std::string closingLines(const BatchResult& result, const BatchSink& sink);
