#include "platform/qt/ApiBAS.h"

#include "platform/qt/WindowStacking.h"

namespace ApiBAS {
namespace {
QtWindowStacking g_system;
WindowStacking* g_stacking = &g_system;
} // namespace

void SetTopMost(QWidget* hWnd, bool onTop) { g_stacking->setTopMost(hWnd, onTop); }

StackingOverride::StackingOverride(WindowStacking& stacking) : ScopedOverride(g_stacking, &stacking) {}

} // namespace ApiBAS
