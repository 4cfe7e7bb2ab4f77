#include "ui/dialogs/FolderListing.h"

#include "core/ShownNames.h"
#include "platform/FolderListing.h"

#include <algorithm>
#include <string>

namespace {

std::string pathOf(const QByteArray& path) { return {path.constData(), std::size_t(path.size())}; }

} // namespace

QString shownPath(const QByteArray& path) {
    return QString::fromStdString(shownText(pathOf(path), platform::systemCharsets()));
}

QList<ListedName> listFolder(const QByteArray& folder, EntryKind kind) {
    QList<ListedName> out;
    platform::FolderListing listing;
    if (platform::listFolder(platform::systemFileSystem(), platform::kPosixPaths, pathOf(folder), listing))
        return out;
    for (const std::string& entry : kind == EntryKind::Folders ? listing.folders : listing.files) {
        const QByteArray name = QByteArray::fromStdString(entry);
        out.append({name, shownPath(name)});
    }
    std::sort(out.begin(), out.end(), [](const ListedName& a, const ListedName& b) {
        const int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return out;
}

std::error_code enterError(const QByteArray& path) {
    return platform::enterError(platform::systemFileSystem(), pathOf(path));
}
