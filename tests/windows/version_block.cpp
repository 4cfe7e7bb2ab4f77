// Reads the version block and the icon back from a built program, as Explorer's properties page
// does, and names every value that differs from what users are meant to see.
// Then the manifest: the systems the program is written for, long paths, and for the windowed
// program common controls 6 and per-monitor DPI.
// usage: version_block PROGRAM.exe INTERNAL_NAME ORIGINAL_FILENAME [windowed]
#include "../win32/Driver.h"

#include <cstdio>
#include <string>
#include <vector>

using driver::narrow;

namespace {

std::wstring queried(const std::vector<char>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\080404b0\\" + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0)
        return L"(missing)";
    return static_cast<const wchar_t*>(value);
}

std::wstring hex(DWORD value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%08lx", static_cast<unsigned long>(value));
    return text;
}

void checkBlock(const std::vector<char>& block, const std::wstring& internalName,
                const std::wstring& fileName) {
    void* value = nullptr;
    UINT length = 0;
    VS_FIXEDFILEINFO fixed{};
    if (VerQueryValueW(block.data(), L"\\", &value, &length) && length >= sizeof fixed)
        fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    const DWORD* translation = nullptr;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4)
        translation = static_cast<const DWORD*>(value);
    const struct {
        const wchar_t* what;
        std::wstring got;
        std::wstring wanted;
    } cases[] = {
        {L"file version 1.1.0.11", hex(fixed.dwFileVersionMS) + hex(fixed.dwFileVersionLS),
         L"000100010000000b"},
        {L"product version 1.1.0.11", hex(fixed.dwProductVersionMS) + hex(fixed.dwProductVersionLS),
         L"000100010000000b"},
        {L"an application", hex(fixed.dwFileType), hex(VFT_APP)},
        {L"language Chinese (PRC), Unicode", translation ? hex(*translation) : L"(missing)", L"04b00804"},
        {L"FileDescription", queried(block, L"FileDescription"), L"批量代码添加器"},
        {L"FileVersion", queried(block, L"FileVersion"), L"1.01.0011"},
        {L"ProductVersion", queried(block, L"ProductVersion"), L"1.01.0011"},
        {L"ProductName", queried(block, L"ProductName"), L"Morlend Stepwick! Second Version"},
        {L"InternalName", queried(block, L"InternalName"), internalName},
        {L"OriginalFilename", queried(block, L"OriginalFilename"), fileName},
    };
    for (const auto& c : cases)
        driver::expectEqual(__FILE__, __LINE__, narrow(c.what).c_str(), c.got, c.wanted);
}

// The icon group: the four sizes of the main window's icon, 32 bits per pixel each.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// Resource 1 of a type, as the program holds it.
std::string resourceOf(const std::wstring& program, LPCWSTR type) {
    std::string bytes;
    if (HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), type))
            bytes.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                         SizeofResource(module, found));
        FreeLibrary(module);
    }
    return bytes;
}

void checkIcon(const std::wstring& program) {
    const std::string group = resourceOf(program, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    const auto* header = reinterpret_cast<const WORD*>(group.data());
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 3);
    std::wstring sizes;
    for (WORD i = 0; group.size() >= 6 && i < header[2]; ++i)
        sizes += std::to_wstring(entries[i].width) + L"x" + std::to_wstring(entries[i].bitCount) + L" ";
    EXPECT_EQ(sizes, L"16x32 32x32 48x32 64x32 ");
}

void checkManifest(const std::wstring& program, bool windowed) {
    const std::string manifest = resourceOf(program, MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
#ifdef _WIN64
    const char* processor = "processorArchitecture=\"amd64\"";
#else
    const char* processor = "processorArchitecture=\"x86\"";
#endif
    const struct {
        const char* what;
        const char* needle;
        bool wanted;
    } cases[] = {
        {"the program's own processor", processor, true},
        {"Windows 7 supported", "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>", true},
        {"Windows 8.1 supported", "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>", true},
        {"Windows 10 and 11 supported", "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>", true},
        {"long paths", "WindowsSettings\">true</longPathAware>", true},
        {"common controls 6", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", windowed},
        {"per-monitor DPI", ">PerMonitorV2, PerMonitor</dpiAwareness>", windowed},
        {"system DPI on Windows 7", ">true/pm</dpiAware>", windowed},
    };
    for (const auto& c : cases)
        if ((manifest.find(c.needle) != std::string::npos) != c.wanted)
            driver::fail(__FILE__, __LINE__, std::string("manifest: ") + c.what);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool windowed = argc == 5 && std::wstring(argv[4]) == L"windowed";
    if (argc != 4 && !windowed) {
        std::printf("usage: version_block PROGRAM.exe INTERNAL_NAME ORIGINAL_FILENAME [windowed]\n");
        return 2;
    }
    const DWORD size = GetFileVersionInfoSizeW(argv[1], nullptr);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, block.data())) {
        std::printf("FAIL: no version block in %s (error %lu)\n", narrow(argv[1]).c_str(), GetLastError());
        return 1;
    }
    checkBlock(block, argv[2], argv[3]);
    checkIcon(argv[1]);
    checkManifest(argv[1], windowed);
    std::printf("%d failed\n", driver::failures());
    return driver::failures() == 0 ? 0 : 1;
}
