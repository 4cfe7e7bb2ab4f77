#include "core/Mod.h"

void loadDefaults(Mod& mod) {
    mod.BannerCount = 13;
    mod.BannerPos = 1;
    mod.DirChosen = false;
    mod.FileExt = "txt";
}

void confirmFolder(Mod& mod, std::string_view folder) {
    std::string dir(folder);
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    mod.TargetDir = std::move(dir);
    mod.DirChosen = true;
}
