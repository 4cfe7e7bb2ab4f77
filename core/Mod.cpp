#include "core/Mod.h"

void loadDefaults(Mod& mod) {
    mod.DirChosen = false;
    mod.FileExt = "txt";
}

void confirmFolder(Mod& mod, std::string_view folder, const platform::PathRules& paths) {
    mod.TargetDir = paths.asFolder(folder);
    mod.DirChosen = true;
}
