#include "core/FolderEditor.h"

#include "core/FileError.h"

#include <cerrno>
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

} // namespace

void FolderEditor::carryMetadata(Pending& p, int src, bool modeAtCreation) {
    const struct stat& st = p.read;
    if (!m_tempOwnerKnown) {
        struct stat tmp {};
        if (m_fs.fstat(p.fd.get(), tmp) != 0)
            throw FileError(errno, "stat", p.path);
        m_tempUid = tmp.st_uid;
        m_tempGid = tmp.st_gid;
        m_tempOwnerKnown = true;
    }
    // Owner first: changing the owner clears set-user-ID bits and file capabilities.
    if (m_tempUid != st.st_uid || m_tempGid != st.st_gid) {
        if (m_fs.chown(p.fd.get(), st.st_uid, st.st_gid) != 0 && m_tempGid != st.st_gid)
            (void)m_fs.chown(p.fd.get(), static_cast<uid_t>(-1), st.st_gid); // keep the group if we may
    }
    bool aclChanged = false;
    copyAttributes(p, src, aclChanged);
    const mode_t wanted = st.st_mode & 07777;
    if (modeAtCreation && !m_modeAtCreationChecked) {
        // Default ACLs of the folder can override the umask: trust creation modes only once seen.
        struct stat tmp {};
        if (m_fs.fstat(p.fd.get(), tmp) != 0)
            throw FileError(errno, "stat", p.path);
        m_modeAtCreationChecked = true;
        if ((tmp.st_mode & 07777) != wanted)
            m_umaskKnown = false;
    }
    // The mode goes on last, after the ACL, so that its group bits and the ACL's mask agree.
    if ((!modeAtCreation || !m_umaskKnown || aclChanged) && m_fs.chmod(p.fd.get(), wanted) != 0)
        throw FileError(errno, "set permissions of", p.path);
}

void FolderEditor::copyAttributes(Pending& p, int src, bool& aclChanged) {
    std::vector<std::string> names;
    if (m_fs.listXattrs(src, names) != 0) {
        if (errno == ENOTSUP)
            return; // a file system without extended attributes: nothing to copy
        throw FileError(errno, "read the extended attributes of", p.path);
    }
    bool hasAcl = false;
    for (const auto& name : names) {
        const bool acl = name == kAccessAcl;
        if (!acl && !copiedAttribute(name))
            continue;
        hasAcl = hasAcl || acl;
        std::string value;
        int rc = m_fs.getXattr(src, name, value);
        if (rc == 0)
            rc = m_fs.setXattr(p.fd.get(), name, value);
        if (rc == 0 || errno == ENODATA) {
            aclChanged = aclChanged || acl;
            continue;
        }
        // Who may read the file must not widen: without its ACL the file is not changed.
        if (acl)
            throw FileError(errno, "copy the access control list of", p.path);
        if (!p.note) {
            p.note = FileError(errno, "copy extended attribute " + name + " of", p.path);
            p.noteAttribute = name;
        }
    }
    // The folder's default ACL may have given the new file entries that the old one did not have.
    std::string inherited;
    if (hasAcl || m_fs.getXattr(p.fd.get(), kAccessAcl, inherited) != 0) {
        if (!hasAcl && errno != ENODATA && errno != ENOTSUP)
            throw FileError(errno, "read the access control list of", p.path);
        return;
    }
    if (m_fs.removeXattr(p.fd.get(), kAccessAcl) != 0)
        throw FileError(errno, "remove the inherited access control list of", p.path);
    aclChanged = true;
}
