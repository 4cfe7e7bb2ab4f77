#pragma once

#include <set>
#include <string>

namespace testfiles {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
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
bool exists(const std::string& path);
// Every name in the folder, hidden ones included.
std::set<std::string> listDir(const std::string& folder);

} // namespace testfiles
