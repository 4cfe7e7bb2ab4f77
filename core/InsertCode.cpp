#include "core/InsertCode.h"

#include "core/Encoding.h"
#include "core/FolderEditor.h"

#include <vector>

void InsertCode(const std::string& code, const std::string& filePath, const std::string& position,
                const platform::System& system) {
    if (position != "head" && position != "foot")
        return;

    const platform::PathRules& paths = system.paths;
    std::string::size_type cut = filePath.find_last_of(paths.separators);
    const bool bare = cut == std::string::npos;
    std::string folder = bare ? "." + std::string(1, paths.separator) : filePath.substr(0, cut + 1);
    std::string name = bare ? filePath : filePath.substr(cut + 1);
    if (name.empty())
        throw FileError(std::errc::is_a_directory, "open", filePath);

    EncodedCode encoded(system.charsets, code, system.charsets.systemCharset());
    platform::FileSystem& fs = system.files;
    platform::FileHandle handle = platform::kNoFile;
    if (std::error_code ec = fs.openFolder(folder, handle))
        throw FileError(ec, "open folder", folder);
    platform::UniqueFile dir(fs, handle);

    FolderEditor editor(system, dir.get(), bare ? "" : folder);
    std::vector<FolderEditor::Pending> pending;
    CodeEdit edit;
    edit.position = position == "head" ? Position::Head : Position::Foot;
    pending.push_back(editor.prepare(name, edit, encoded, /*createMissing=*/true));
    try {
        editor.flush(pending);
    } catch (const FileError& e) {
        if (!editor.discard(pending.front()))
            throw FileError(e.error(), "flush", filePath, Refusal::PartialCode);
        throw;
    }
    editor.publish(pending.front());
    if (pending.front().replace)
        (void)editor.syncFolder();
}
