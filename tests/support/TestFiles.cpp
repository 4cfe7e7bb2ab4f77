#include "TestFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace testfiles {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/stepwick-test-XXXXXX";
    if (!::mkdtemp(base.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    m_path = base + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first so read-only test folders can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes, unsigned mode) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            throw std::runtime_error("cannot write " + path);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ::chmod(path.c_str(), mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::set<std::string> listDir(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.insert(n);
        }
        ::closedir(d);
    }
    return names;
}

} // namespace testfiles
