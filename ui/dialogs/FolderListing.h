#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <system_error>

// What the picker lists of a folder, read by the names' own bytes: a name that is not valid in
// the locale's encoding or holds a line break is listed (escaped as the log writes it) and can
// be opened, rather than dropped or mistaken for another.
struct ListedName {
    QByteArray name; // as the file system has it
    QString shown;   // as the lists and the log show it
};

enum class EntryKind { Folders, Files };

// The visible (not hidden) folders or regular files of folder, sorted by their shown names with
// letter case ignored. Empty when the folder cannot be read.
QList<ListedName> listFolder(const QByteArray& folder, EntryKind kind);

// A path as the lists show it.
QString shownPath(const QByteArray& path);

// Empty when path is a folder that can be opened and listed, else the system's reason why not.
std::error_code enterError(const QByteArray& path);
