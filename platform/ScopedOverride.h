#pragma once

#include <utility>

namespace platform {

// Puts a value in a global seam's slot for as long as it lives and puts the one before back when
// it ends. Guards nest: each restores what it found, so the innermost must end first.
template <class T> class ScopedOverride {
public:
    ScopedOverride(T& slot, T value) : m_slot(slot), m_saved(std::exchange(slot, std::move(value))) {}
    ~ScopedOverride() { m_slot = std::move(m_saved); }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    T& m_slot;
    T m_saved;
};

} // namespace platform
