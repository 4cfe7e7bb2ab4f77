#include "win32/FirstPlace.h"

#include <algorithm>

namespace win32ui {

namespace {

constexpr LONG kGap = 8;
constexpr long long kWindowWeight = 10;

long long overlap(const RECT& a, const RECT& b) {
    const long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

void around(std::vector<POINT>& places, const RECT& r, SIZE size) {
    places.push_back({r.right + kGap, r.top});
    places.push_back({r.left, r.bottom + kGap});
    places.push_back({r.left - kGap - size.cx, r.top});
    places.push_back({r.left, r.top - kGap - size.cy});
}

// Right of the opener first, then right of or below a window already open, then all around.
std::vector<POINT> candidates(SIZE size, const RECT& opener, const std::vector<RECT>& others) {
    std::vector<POINT> places{{opener.right + kGap, opener.top}};
    for (const RECT& other : others) {
        places.push_back({other.right + kGap, other.top});
        places.push_back({other.left, other.bottom + kGap});
    }
    around(places, opener, size);
    for (const RECT& other : others)
        around(places, other, size);
    return places;
}

RECT clampedTo(const RECT& area, POINT at, SIZE size) {
    at.x = std::clamp(at.x, area.left, std::max(area.left, area.right - size.cx));
    at.y = std::clamp(at.y, area.top, std::max(area.top, area.bottom - size.cy));
    return {at.x, at.y, at.x + size.cx, at.y + size.cy};
}

} // namespace

POINT firstPlace(SIZE size, const RECT& opener, const std::vector<RECT>& others, const RECT& workArea) {
    POINT best{};
    long long bestCost = -1;
    for (const POINT candidate : candidates(size, opener, others)) {
        const RECT placed = clampedTo(workArea, candidate, size);
        long long cost = overlap(placed, opener);
        for (const RECT& other : others)
            cost += kWindowWeight * overlap(placed, other);
        if (bestCost < 0 || cost < bestCost) {
            best = {placed.left, placed.top};
            bestCost = cost;
        }
    }
    return best;
}

} // namespace win32ui
