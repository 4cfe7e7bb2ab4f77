#include "ui/dialogs/FolderListing.h"
#include "platform/System.h"

#include "core/ShownNames.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool isKind(int dirFd, const dirent& entry, EntryKind kind) {
    unsigned char type = entry.d_type;
    if (type == DT_UNKNOWN || type == DT_LNK) {
        // Links to folders are folders to walk into; to files, files the list shows.
        struct stat st {};
        if (fstatat(dirFd, entry.d_name, &st, 0) != 0)
            return false;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    return type == (kind == EntryKind::Folders ? DT_DIR : DT_REG);
}

} // namespace

QString shownPath(const QByteArray& path) {
    return QString::fromStdString(
        shownText(std::string_view(path.constData(), std::size_t(path.size())), platform::systemCharsets()));
}

QList<ListedName> listFolder(const QByteArray& folder, EntryKind kind) {
    QList<ListedName> out;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.constData()));
    if (!dir)
        return out;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the folder stream is this call's own
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.' || !isKind(dirfd(dir.get()), *entry, kind))
            continue;
        const QByteArray name(entry->d_name);
        out.append({name, shownPath(name)});
    }
    std::sort(out.begin(), out.end(), [](const ListedName& a, const ListedName& b) {
        const int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return out;
}

int enterError(const QByteArray& path) {
    struct stat st {};
    if (stat(path.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return access(path.constData(), R_OK | X_OK) == 0 ? 0 : errno;
}
