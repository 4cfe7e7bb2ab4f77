#pragma once

#include "platform/System.h"
#include "platform/win32desktop/Folders.h"
#include "win32/FormWindow.h"

#include <string>
#include <system_error>
#include <vector>

struct Mod;

namespace win32ui {

// The folder picker. Any close confirms the folder that Dir1 shows: it becomes TargetDir and
// DirChosen is set; there is no way out without confirming.
class FileBro : public FormWindow {
public:
    FileBro(Mod& mod, const platform::PathRules& paths);
    // Creates the window at the process's current folder if it does not exist, else shows the one
    // that does with its lists as they are.
    void showSingle(HWND opener);
    void closeConfirming();

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    void onClose() override;

private:
    void fillDrives();
    void drive1Change();
    // Moves Dir1 and File1 to folder; the system's reason, leaving both where they were, when it
    // cannot be read.
    std::error_code openFolder(const std::wstring& folder);
    void dir1Open();
    void showDriveOf(const std::wstring& folder);
    void confirm();

    Mod& m_mod;
    const platform::PathRules& m_paths;
    std::vector<folders::Drive> m_drives;
    std::wstring m_folder;             // the folder Dir1 stands on, whose files File1 lists
    std::vector<std::wstring> m_chain; // Dir1's rows above the subfolders: the root, then each folder
    std::vector<std::wstring> m_subfolders;
};

} // namespace win32ui
