#include "core/InsertCode.h"
#include "platform/posix/PosixCharsets.h"

#include "core/Encoding.h"
#include "core/FolderEditor.h"

#include <vector>

void InsertCode(const std::string& code, const std::string& filePath, const std::string& position,
                platform::FileSystem& fs) {
    if (position != "head" && position != "foot")
        return;

    std::string::size_type slash = filePath.rfind('/');
    std::string folder = slash == std::string::npos ? "./" : filePath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
    if (name.empty())
        throw FileError(EISDIR, "open", filePath);

    EncodedCode encoded(platform::hostCharsets(), code, platform::hostCharsets().systemCharset());
    platform::UniqueFd dir(fs, fs.openDir(folder));
    if (!dir)
        throw FileError(errno, "open folder", folder);

    FolderEditor editor(fs, dir.get(), slash == std::string::npos ? "" : folder);
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
