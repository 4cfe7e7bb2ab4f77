#include "platform/FileSystemDecorator.h"

#include "platform/System.h"

namespace platform {

std::error_code FileSystemDecorator::openFolder(const std::string& path, FileHandle& out) {
    if (std::error_code ec = admit("openFolder", kNoFile))
        return ec;
    return m_real.openFolder(path, out);
}
std::error_code FileSystemDecorator::openAt(FileHandle dir, const std::string& name, OpenMode mode,
                                            std::uint32_t permissions, FileHandle& out) {
    if (std::error_code ec = admit("openAt", dir))
        return ec;
    return m_real.openAt(dir, name, mode, permissions, out);
}
std::error_code FileSystemDecorator::lockFolder(FileHandle dir, Lock kind) {
    if (std::error_code ec = admit("lockFolder", dir))
        return ec;
    return m_real.lockFolder(dir, kind);
}
std::error_code FileSystemDecorator::mountId(FileHandle file, std::uint64_t& id) {
    if (std::error_code ec = admit("mountId", file))
        return ec;
    return m_real.mountId(file, id);
}
std::error_code FileSystemDecorator::readDir(FileHandle dir, std::vector<DirEntry>& out) {
    if (std::error_code ec = admit("readDir", dir))
        return ec;
    return m_real.readDir(dir, out);
}
std::error_code FileSystemDecorator::statAt(FileHandle dir, const std::string& name, FileInfo& out) {
    if (std::error_code ec = admit("statAt", dir))
        return ec;
    return m_real.statAt(dir, name, out);
}
std::error_code FileSystemDecorator::stat(FileHandle file, FileInfo& out) {
    if (std::error_code ec = admit("stat", file))
        return ec;
    return m_real.stat(file, out);
}
std::error_code FileSystemDecorator::statPath(const std::string& path, FileInfo& out) {
    if (std::error_code ec = admit("statPath", kNoFile))
        return ec;
    return m_real.statPath(path, out);
}
std::error_code FileSystemDecorator::openUnnamed(FileHandle dir, std::uint32_t permissions, FileHandle& out) {
    if (std::error_code ec = admit("openUnnamed", dir))
        return ec;
    return m_real.openUnnamed(dir, permissions, out);
}
std::error_code FileSystemDecorator::linkUnnamed(FileHandle file, FileHandle dir, const std::string& name) {
    if (std::error_code ec = admit("linkUnnamed", dir))
        return ec;
    return m_real.linkUnnamed(file, dir, name);
}
std::error_code FileSystemDecorator::read(FileHandle file, void* buf, std::size_t len, std::int64_t offset,
                                          std::size_t& got) {
    if (std::error_code ec = admit("read", file))
        return ec;
    return m_real.read(file, buf, len, offset, got);
}
std::error_code FileSystemDecorator::write(FileHandle file, const void* buf, std::size_t len,
                                           std::size_t& written) {
    if (std::error_code ec = admit("write", file))
        return ec;
    return m_real.write(file, buf, len, written);
}
std::error_code FileSystemDecorator::copyRange(FileHandle in, std::int64_t offset, FileHandle out,
                                               std::size_t len, std::size_t& copied) {
    if (std::error_code ec = admit("copyRange", out))
        return ec;
    return m_real.copyRange(in, offset, out, len, copied);
}
std::error_code FileSystemDecorator::truncate(FileHandle file, std::int64_t length) {
    if (std::error_code ec = admit("truncate", file))
        return ec;
    return m_real.truncate(file, length);
}
std::error_code FileSystemDecorator::setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) {
    if (std::error_code ec = admit("setOwner", file))
        return ec;
    return m_real.setOwner(file, owner, group);
}
std::error_code FileSystemDecorator::setPermissions(FileHandle file, std::uint32_t permissions) {
    if (std::error_code ec = admit("setPermissions", file))
        return ec;
    return m_real.setPermissions(file, permissions);
}
std::error_code FileSystemDecorator::copyAccess(FileHandle from, FileHandle to) {
    if (std::error_code ec = admit("copyAccess", to))
        return ec;
    return m_real.copyAccess(from, to);
}
std::error_code FileSystemDecorator::listXattrs(FileHandle file, std::vector<std::string>& names) {
    if (std::error_code ec = admit("listXattrs", file))
        return ec;
    return m_real.listXattrs(file, names);
}
std::error_code FileSystemDecorator::getXattr(FileHandle file, const std::string& name, std::string& value) {
    if (std::error_code ec = admit("getXattr", file))
        return ec;
    return m_real.getXattr(file, name, value);
}
std::error_code FileSystemDecorator::setXattr(FileHandle file, const std::string& name,
                                              const std::string& value) {
    if (std::error_code ec = admit("setXattr", file))
        return ec;
    return m_real.setXattr(file, name, value);
}
std::error_code FileSystemDecorator::removeXattr(FileHandle file, const std::string& name) {
    if (std::error_code ec = admit("removeXattr", file))
        return ec;
    return m_real.removeXattr(file, name);
}
std::error_code FileSystemDecorator::entriesFixed(FileHandle dir, bool& fixed) {
    if (std::error_code ec = admit("entriesFixed", dir))
        return ec;
    return m_real.entriesFixed(dir, fixed);
}
std::error_code FileSystemDecorator::startWriteback(FileHandle file, std::int64_t offset,
                                                    std::int64_t length) {
    if (std::error_code ec = admit("startWriteback", file))
        return ec;
    return m_real.startWriteback(file, offset, length);
}
std::error_code FileSystemDecorator::dataSync(FileHandle file) {
    if (std::error_code ec = admit("dataSync", file))
        return ec;
    return m_real.dataSync(file);
}
std::error_code FileSystemDecorator::fsSync(FileHandle file) {
    if (std::error_code ec = admit("fsSync", file))
        return ec;
    return m_real.fsSync(file);
}
std::error_code FileSystemDecorator::renameAt(FileHandle dir, const std::string& from,
                                              const std::string& to) {
    if (std::error_code ec = admit("renameAt", dir))
        return ec;
    return m_real.renameAt(dir, from, to);
}
std::error_code FileSystemDecorator::unlinkAt(FileHandle dir, const std::string& name) {
    if (std::error_code ec = admit("unlinkAt", dir))
        return ec;
    return m_real.unlinkAt(dir, name);
}
std::error_code FileSystemDecorator::close(FileHandle file) {
    std::error_code ec = admit("close", file);
    std::error_code closed = m_real.close(file);
    return ec ? ec : closed;
}

FileSystem& programFileSystem() { return systemFileSystem(); }

} // namespace platform
