#pragma once

#include <cerrno>
#include <system_error>
#include <type_traits>

namespace platform {

// Calls a system call again for as long as a signal interrupts it and returns what the last call
// returned. The call reports in one of two ways: a POSIX result (-1 with errno EINTR; errno stays
// as the last call left it), or an error code of FileSystem (std::errc::interrupted). Only the
// interruption is repeated: a short count is the caller's to handle. Not for close(), which must
// not be repeated: the descriptor is gone either way.
template <class Call> auto retryOnInterrupt(Call call) {
    for (;;) {
        const auto result = call();
        if constexpr (std::is_same_v<std::remove_cv_t<decltype(result)>, std::error_code>) {
            if (result != std::errc::interrupted)
                return result;
        } else if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}

} // namespace platform
