#include "core/FolderEditor.h"

#include "core/FileError.h"

#include <string_view>

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The attributes a new file takes over besides the ACL. File capabilities are not among them:
// the kernel drops them whenever a file's content is written, and so do we.
bool copiedAttribute(const std::string& name) {
    return (startsWith(name, "user.") || startsWith(name, "trusted.") || startsWith(name, "security.")) &&
           name != "security.capability";
}

platform::FileInfo statOf(platform::FileSystem& fs, platform::FileHandle file, const std::string& path) {
    platform::FileInfo info;
    if (std::error_code ec = fs.stat(file, info))
        throw FileError(ec, "stat", path);
    return info;
}

} // namespace

void FolderEditor::carryMetadata(Pending& p, platform::FileHandle src, bool modeAtCreation,
                                 NewFileOwner& owner) {
    const platform::FileInfo& old = p.read;
    if (!owner.known) {
        const platform::FileInfo made = statOf(m_setup.fs, p.file.get(), p.path);
        owner = {made.owner, made.group, true};
    }
    // Owner first: changing the owner clears set-user-ID bits and file capabilities.
    if (owner.owner != old.owner || owner.group != old.group) {
        if (m_setup.fs.setOwner(p.file.get(), old.owner, old.group) && owner.group != old.group)
            (void)m_setup.fs.setOwner(p.file.get(), platform::kKeepOwner,
                                      old.group); // keep the group if we may
    }
    // Where who may do what is not all in the mode and the attributes (Windows), it goes whole.
    if (std::error_code ec = m_setup.fs.copyAccess(src, p.file.get()))
        throw FileError(ec, "copy the access rights of", p.path);
    bool aclChanged = false;
    copyAttributes(p, src, aclChanged);
    const std::uint32_t wanted = old.permissions;
    if (modeAtCreation && !m_prepare.modeAtCreationChecked) {
        // Default ACLs of the folder can override the umask: trust creation modes only once seen.
        const std::uint32_t made = statOf(m_setup.fs, p.file.get(), p.path).permissions;
        m_prepare.modeAtCreationChecked = true;
        if (made != wanted)
            m_prepare.umaskKnown = false;
    }
    // The mode goes on last, after the ACL, so that its group bits and the ACL's mask agree.
    if (!modeAtCreation || !m_prepare.umaskKnown || aclChanged)
        if (std::error_code ec = m_setup.fs.setPermissions(p.file.get(), wanted))
            throw FileError(ec, "set permissions of", p.path);
}

void FolderEditor::copyAttributes(Pending& p, platform::FileHandle src, bool& aclChanged) {
    std::vector<std::string> names;
    if (std::error_code ec = m_setup.fs.listXattrs(src, names)) {
        if (ec == std::errc::not_supported)
            return; // a file system without extended attributes: nothing to copy
        throw FileError(ec, "read the extended attributes of", p.path);
    }
    bool hasAcl = false;
    std::string value;
    for (const auto& name : names) {
        const bool acl = name == kAccessAcl;
        if (!acl && !copiedAttribute(name))
            continue;
        hasAcl = hasAcl || acl;
        std::error_code ec = m_setup.fs.getXattr(src, name, value);
        if (!ec)
            ec = m_setup.fs.setXattr(p.file.get(), name, value);
        if (!ec || ec == std::errc::no_message_available) { // ENODATA: gone meanwhile
            aclChanged = aclChanged || acl;
            continue;
        }
        // Who may read the file must not widen: without its ACL the file is not changed.
        if (acl)
            throw FileError(ec, "copy the access control list of", p.path);
        if (!p.note) {
            p.note = FileError(ec, "copy extended attribute " + name + " of", p.path);
            p.noteAttribute = name;
        }
    }
    // The folder's default ACL may have given the new file entries that the old one did not have.
    if (hasAcl)
        return;
    if (std::error_code ec = m_setup.fs.getXattr(p.file.get(), kAccessAcl, value)) {
        if (ec != std::errc::no_message_available && ec != std::errc::not_supported)
            throw FileError(ec, "read the access control list of", p.path);
        return;
    }
    if (std::error_code ec = m_setup.fs.removeXattr(p.file.get(), kAccessAcl))
        throw FileError(ec, "remove the inherited access control list of", p.path);
    aclChanged = true;
}
