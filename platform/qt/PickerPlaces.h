#pragma once

#include <QByteArray>
#include <QStringList>

// Where the folder picker starts, and the file systems it offers as drives.
namespace platform {

// The root paths of the mounted file systems.
QStringList mountedVolumes();

// The process's current folder; when it was deleted, the path it had, so that the picker can
// start at the nearest folder above it. The home folder when neither is known.
QByteArray startFolder();

} // namespace platform
