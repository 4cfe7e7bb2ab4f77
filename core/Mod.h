#pragma once

#include "platform/System.h"

#include <string>
#include <string_view>

// The few values the windows share. A plain aggregate: the program owns one and
// hands it to its windows; tests make a fresh one each. A new Mod holds the values
// a process starts with (empty strings, no folder confirmed); the
// main window's load sets the rest through loadDefaults().
struct Mod {
    std::string TargetDir;  // the confirmed folder, always ending in a separator; empty until confirmed
    bool DirChosen = false; // true once a folder has been confirmed
    bool recursive = false; // confirmed with the folder: its subfolders are changed too
    std::string FileExt;    // preset extension without the dot
};

// The main window's load: no folder, extension "txt".
void loadDefaults(Mod& mod);

// Stores a confirmed folder: TargetDir gets exactly one trailing separator of the system's paths,
// a root ("/", "C:\\") stays as it is.
void confirmFolder(Mod& mod, std::string_view folder, const platform::PathRules& paths);
