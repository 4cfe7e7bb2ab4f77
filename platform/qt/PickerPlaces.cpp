#include "platform/qt/PickerPlaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace platform {

QStringList mountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Files bind-mounted over files (containers do that to /etc/hosts) are no drives.
        const QFileInfo root(volume.rootPath());
        if (volume.isValid() && !(root.exists() && !root.isDir()))
            roots.append(volume.rootPath());
    }
    return roots;
}

QByteArray startFolder() {
    if (const std::unique_ptr<char, decltype(&std::free)> current(getcwd(nullptr, 0), &std::free); current)
        return QByteArray(current.get());
    char was[PATH_MAX + 1] = {};
    const ssize_t length = readlink("/proc/self/cwd", was, PATH_MAX);
    QByteArray path(was, length > 0 ? length : 0);
    if (path.endsWith(" (deleted)"))
        path.chop(int(sizeof(" (deleted)") - 1));
    return path.startsWith('/') ? path : QFile::encodeName(QDir::homePath());
}

} // namespace platform
