#pragma once

#include "core/FileError.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Does the name match "*." + extension? Only '*' (any characters) and '?' (one character) of the
// extension are wildcards, and ASCII letters match either case. As on the platform this program
// comes from, an extension of exactly three characters without wildcards also takes longer
// extensions that begin with it ("htm" takes "a.html"); an empty one takes names without a dot.
bool nameMatches(const std::string& name, const std::string& extension);

class NameFilter;

// One folder of a run: where it stands in the tree, and what the scan found in it.
struct ScannedFolder {
    std::size_t parent = 0; // its folder's index; the run's own folder (index 0) is its own parent
    std::size_t depth = 0;  // 0 for the run's folder
    std::string name;       // its name in its folder; "" for the run's folder
    bool known = false;     // the scan has been inside: id is set
    platform::FileId id;
    std::vector<std::string> names;            // its matching files, in run order
    std::vector<platform::DirEntry> leftovers; // temporary files a killed run may have left
    std::optional<FileError> failure;          // the folder could not be entered or read
};

// The folders of a run: the run's own, and with recursive its visible subfolders on the same mount,
// each entered once.
struct FolderTree {
    std::vector<ScannedFolder> folders;
    std::vector<std::size_t> order;     // each folder's files come before its subfolders, in name order
    std::optional<std::uint64_t> mount; // the run's folder's, where the system tells
    char separator = '/';               // the system's, between the names of a path
    // Its path below the run's folder: "" or "sub/deeper/".
    std::string relative(std::size_t folder) const;
};

// Reads the tree below an open folder. A subfolder that cannot be read is kept with its failure.
// Throws FileError when the run's own folder cannot be read.
FolderTree scanFolders(const platform::System& system, platform::FileHandle root, const NameFilter& filter,
                       bool recursive);

// One open folder that moves about a scanned tree: down by a name from its folder's handle, up
// by "..", each step checked against what the scan found, so that neither the depth of the tree nor
// the length of its paths matters, and no more than two handles are open at once. Where going up
// does not lead back (a folder moved meanwhile), it starts again from the run's folder.
class FolderWalk {
public:
    FolderWalk(platform::FileSystem& fs, platform::FileHandle root, FolderTree& tree);
    // Opens the folder, for use until the next call. A folder the scan has not yet been inside takes
    // the identity it has, unless it is a mount point: then kNoFile, and the walk stays where it was.
    // Throws FileError.
    platform::FileHandle enter(std::size_t folder);
    // The path below the run's folder of the folder entered last ("" or "sub/").
    const std::string& relative() const { return m_relative; }

private:
    platform::FileHandle current() const { return m_folder ? m_folder.get() : m_root; }
    void moveTo(std::size_t folder);
    void up();
    bool down(std::size_t child);
    void restart();

    platform::FileSystem& m_fs;
    platform::FileHandle m_root;
    FolderTree& m_tree;
    std::size_t m_at = 0;
    platform::UniqueFile m_folder; // none at the run's folder
    std::string m_relative;
};

// Locks a run's folder against other runs: its own folder exclusively, each folder above it on the
// same mount shared, held in locks until they are closed. False when another run holds one of them.
bool lockRunFolders(platform::FileSystem& fs, platform::FileHandle root,
                    std::vector<platform::UniqueFile>& locks);
