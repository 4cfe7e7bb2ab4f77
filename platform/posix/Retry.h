#pragma once

#include <cerrno>

namespace platform {

// Calls a system call again for as long as a signal interrupts it (-1 with EINTR) and returns
// what the last call returned; errno stays as that call left it. Not for close(), which must not
// be repeated: the descriptor is gone either way.
template <class Call> auto retryOnInterrupt(Call call) {
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

} // namespace platform
