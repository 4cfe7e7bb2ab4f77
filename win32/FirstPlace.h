#pragma once

#include <windows.h>

#include <vector>

namespace win32ui {

// Where a window's frame of this size first goes on the screen: beside the opener or beside another
// open window (right, below, left, above), kept inside the work area, where it covers the least of
// the opener and, ten times as much, of the other windows; of equal places the first.
POINT firstPlace(SIZE size, const RECT& opener, const std::vector<RECT>& others, const RECT& workArea);

} // namespace win32ui
