#include "core/InsertCode.h"

#include "core/Encoding.h"
#include "core/FolderEditor.h"

#include <cstring>
#include <vector>

FileError::FileError(int err, std::string operation, std::string path)
    : std::system_error(err, std::generic_category(), "cannot " + operation + " " + path),
      m_operation(std::move(operation)), m_path(std::move(path)) {}

FileError::FileError(int err, std::string operation, std::string path, std::string reason)
    : std::system_error(err, std::generic_category(), "cannot " + operation + " " + path + ": " + reason),
      m_operation(std::move(operation)), m_path(std::move(path)), m_reason(std::move(reason)) {}

std::string FileError::reason() const {
    if (!m_reason.empty())
        return m_reason;
    char buf[256];
    return ::strerror_r(code().value(), buf, sizeof buf);
}

void InsertCode(const std::string& code, const std::string& filePath, const std::string& position,
                platform::FileSystem& fs) {
    const bool head = position == "head";
    if (position != "foot" && !head)
        return;

    std::string::size_type slash = filePath.rfind('/');
    std::string folder = slash == std::string::npos ? "./" : filePath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
    if (name.empty())
        throw FileError(EISDIR, "open", filePath);

    EncodedCode encoded(code, systemCharset());
    platform::UniqueFd dir(fs, fs.openDir(folder));
    if (!dir)
        throw FileError(errno, "open folder", folder);

    FolderEditor editor(fs, dir.get(), slash == std::string::npos ? "" : folder);
    std::vector<FolderEditor::Pending> pending;
    pending.push_back(editor.prepare(name, head, encoded, /*createMissing=*/true));
    try {
        editor.flush(pending);
    } catch (...) {
        editor.discard(pending.front());
        throw;
    }
    editor.publish(pending.front());
    if (head)
        (void)editor.syncFolder();
}
