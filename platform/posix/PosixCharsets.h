#pragma once

#include "platform/Charsets.h"

namespace platform {

// iconv, and the locale's charset (nl_langinfo(CODESET)); the C/POSIX locale counts as UTF-8.
class PosixCharsets final : public Charsets {
public:
    std::unique_ptr<CharsetConversion> open(const std::string& to, const std::string& from) override;
    std::string systemCharset() override;
};

} // namespace platform
