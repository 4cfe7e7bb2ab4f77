#include "platform/posix/PosixError.h"

#include "platform/posix/PosixCharsets.h"

#include <cstring>
#include <string>

namespace platform {
namespace {

// strerror's text, in the locale's charset, as UTF-8; bytes that do not convert stay as they are.
std::string asUtf8(const std::string& text) {
    PosixCharsets charsets;
    const std::string charset = charsets.systemCharset();
    auto conversion = charset == "UTF-8" ? nullptr : charsets.open("UTF-8", charset);
    if (!conversion)
        return text;
    std::string out(text.size() * 4 + 16, '\0');
    const char* in = text.data();
    std::size_t inLeft = text.size(), outLeft = out.size();
    char* to = out.data();
    if (conversion->convert(in, inLeft, to, outLeft) != CharsetConversion::Stop::Done)
        return text;
    out.resize(out.size() - outLeft);
    return out;
}

class PosixCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "posix"; }
    std::string message(int err) const override { return asUtf8(std::generic_category().message(err)); }
    std::error_condition default_error_condition(int err) const noexcept override {
        return {err, std::generic_category()};
    }
};

} // namespace

std::error_code posixError(int err) {
    static const PosixCategory category;
    return {err, category};
}

} // namespace platform
