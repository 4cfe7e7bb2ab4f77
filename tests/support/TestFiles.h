#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace testfiles {

// A fresh folder under base, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; } // ends in '/'
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes, unsigned mode = 0644);
// Every name in the folder, hidden ones included.
std::set<std::string> listDir(const std::string& folder);

using Contents = std::map<std::string, std::string>; // name -> bytes
// Every entry of the folder with its bytes, or a marker for what is not a regular file.
Contents snapshot(const std::string& folder);
void writeAll(const std::string& folder, const Contents& files);

// What a head or foot insertion of code (UTF-8, no line break) makes of old: after a mark, the
// code in the mark's encoding; a head adds a line break to an old last line without one.
std::string inserted(const std::string& old, const std::string& code, bool head);

} // namespace testfiles
