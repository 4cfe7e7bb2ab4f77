#include "platform/FileSystemDecorator.h"

#include <cerrno>

namespace platform {

int FileSystemDecorator::openDir(const std::string& path) {
    return admit("openDir") ? m_real.openDir(path) : -1;
}
int FileSystemDecorator::lockDir(int dirFd, Lock kind) {
    return admit("lockDir") ? m_real.lockDir(dirFd, kind) : -1;
}
int FileSystemDecorator::mountId(int fd, std::uint64_t& id) {
    return admit("mountId") ? m_real.mountId(fd, id) : -1;
}
int FileSystemDecorator::readDir(int dirFd, std::vector<DirEntry>& out) {
    return admit("readDir") ? m_real.readDir(dirFd, out) : -1;
}
int FileSystemDecorator::statAt(int dirFd, const std::string& name, struct stat& st) {
    return admit("statAt") ? m_real.statAt(dirFd, name, st) : -1;
}
int FileSystemDecorator::openAt(int dirFd, const std::string& name, int flags, mode_t mode) {
    return admit("openAt") ? m_real.openAt(dirFd, name, flags, mode) : -1;
}
int FileSystemDecorator::openUnnamed(int dirFd, mode_t mode) {
    return admit("openUnnamed") ? m_real.openUnnamed(dirFd, mode) : -1;
}
int FileSystemDecorator::linkUnnamed(int fd, int dirFd, const std::string& name) {
    return admit("linkUnnamed") ? m_real.linkUnnamed(fd, dirFd, name) : -1;
}
int FileSystemDecorator::fstat(int fd, struct stat& st) { return admit("fstat") ? m_real.fstat(fd, st) : -1; }
ssize_t FileSystemDecorator::pread(int fd, void* buf, std::size_t len, off_t offset) {
    return admit("pread") ? m_real.pread(fd, buf, len, offset) : -1;
}
ssize_t FileSystemDecorator::write(int fd, const void* buf, std::size_t len) {
    return admit("write") ? m_real.write(fd, buf, len) : -1;
}
ssize_t FileSystemDecorator::copyRange(int in, off_t offset, int out, std::size_t len) {
    return admit("copyRange") ? m_real.copyRange(in, offset, out, len) : -1;
}
int FileSystemDecorator::truncate(int fd, off_t length) {
    return admit("truncate") ? m_real.truncate(fd, length) : -1;
}
int FileSystemDecorator::chown(int fd, uid_t uid, gid_t gid) {
    return admit("chown") ? m_real.chown(fd, uid, gid) : -1;
}
int FileSystemDecorator::chmod(int fd, mode_t mode) { return admit("chmod") ? m_real.chmod(fd, mode) : -1; }
int FileSystemDecorator::listXattrs(int fd, std::vector<std::string>& names) {
    return admit("listXattrs") ? m_real.listXattrs(fd, names) : -1;
}
int FileSystemDecorator::getXattr(int fd, const std::string& name, std::string& value) {
    return admit("getXattr") ? m_real.getXattr(fd, name, value) : -1;
}
int FileSystemDecorator::setXattr(int fd, const std::string& name, const std::string& value) {
    return admit("setXattr") ? m_real.setXattr(fd, name, value) : -1;
}
int FileSystemDecorator::removeXattr(int fd, const std::string& name) {
    return admit("removeXattr") ? m_real.removeXattr(fd, name) : -1;
}
int FileSystemDecorator::entriesFixed(int dirFd) {
    return admit("entriesFixed") ? m_real.entriesFixed(dirFd) : -1;
}
int FileSystemDecorator::startWriteback(int fd, off_t offset, off_t length) {
    return admit("startWriteback") ? m_real.startWriteback(fd, offset, length) : -1;
}
int FileSystemDecorator::dataSync(int fd) { return admit("dataSync") ? m_real.dataSync(fd) : -1; }
int FileSystemDecorator::fsSync(int fd) { return admit("fsSync") ? m_real.fsSync(fd) : -1; }
long FileSystemDecorator::dataSyncEach(const std::vector<int>& fds) {
    return admit("dataSyncEach") ? m_real.dataSyncEach(fds) : 0;
}
int FileSystemDecorator::renameAt(int dirFd, const std::string& from, const std::string& to) {
    return admit("renameAt") ? m_real.renameAt(dirFd, from, to) : -1;
}
int FileSystemDecorator::unlinkAt(int dirFd, const std::string& name) {
    return admit("unlinkAt") ? m_real.unlinkAt(dirFd, name) : -1;
}
int FileSystemDecorator::close(int fd) {
    if (admit("close"))
        return m_real.close(fd);
    const int err = errno;
    (void)m_real.close(fd);
    errno = err;
    return -1;
}

FileSystem& programFileSystem() { return systemFileSystem(); }

} // namespace platform
