#include "ui/dialogs/FolderListing.h"

#include "core/ShownNames.h"
#include "platform/System.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::FileKind;

std::string pathOf(const QByteArray& path) { return {path.constData(), std::size_t(path.size())}; }

// A folder open for as long as the listing needs it.
class OpenFolder {
public:
    explicit OpenFolder(platform::FileSystem& fs) : m_fs(fs) {}
    ~OpenFolder() {
        if (m_handle != platform::kNoFile)
            (void)m_fs.close(m_handle);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    std::error_code open(const std::string& path) { return m_fs.openFolder(path, m_handle); }
    platform::FileHandle handle() const { return m_handle; }

private:
    platform::FileSystem& m_fs;
    platform::FileHandle m_handle = platform::kNoFile;
};

// Links to folders are folders to walk into; to files, files the list shows.
FileKind kindOf(platform::FileSystem& fs, const std::string& folder, const platform::DirEntry& entry) {
    if (entry.kind != FileKind::Unknown && entry.kind != FileKind::Link)
        return entry.kind;
    platform::FileInfo info;
    return fs.statPath(folder + '/' + entry.name, info) ? FileKind::Unknown : info.kind;
}

} // namespace

QString shownPath(const QByteArray& path) {
    return QString::fromStdString(shownText(pathOf(path), platform::systemCharsets()));
}

QList<ListedName> listFolder(const QByteArray& folder, EntryKind kind) {
    QList<ListedName> out;
    platform::FileSystem& fs = platform::systemFileSystem();
    OpenFolder dir(fs);
    std::vector<platform::DirEntry> entries;
    if (dir.open(pathOf(folder)) || fs.readDir(dir.handle(), entries))
        return out;
    const FileKind wanted = kind == EntryKind::Folders ? FileKind::Folder : FileKind::Regular;
    for (const platform::DirEntry& entry : entries) {
        if (entry.name.front() == '.' || kindOf(fs, pathOf(folder), entry) != wanted)
            continue;
        const QByteArray name = QByteArray::fromStdString(entry.name);
        out.append({name, shownPath(name)});
    }
    std::sort(out.begin(), out.end(), [](const ListedName& a, const ListedName& b) {
        const int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return out;
}

std::error_code enterError(const QByteArray& path) {
    platform::FileSystem& fs = platform::systemFileSystem();
    OpenFolder dir(fs);
    if (std::error_code ec = dir.open(pathOf(path)))
        return ec;
    // Opened, it can be listed; a name in it can be reached only where it may be searched too.
    platform::FileInfo info;
    return fs.statAt(dir.handle(), ".", info);
}
