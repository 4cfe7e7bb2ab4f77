#include "platform/posix/PosixCharsets.h"
#include "platform/posix/PosixSystem.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

namespace platform {
namespace {

class IconvConversion final : public CharsetConversion {
public:
    explicit IconvConversion(iconv_t cd) : m_cd(cd) {}
    ~IconvConversion() override { iconv_close(m_cd); }
    IconvConversion(const IconvConversion&) = delete;
    IconvConversion& operator=(const IconvConversion&) = delete;

    Stop convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) override {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): iconv never writes through it
        char* from = const_cast<char*>(in);
        const std::size_t rc = iconv(m_cd, &from, &inLeft, &out, &outLeft);
        in = from;
        return rc == static_cast<std::size_t>(-1) ? stopOf(errno) : Stop::Done;
    }
    Stop flush(char*& out, std::size_t& outLeft) override {
        return iconv(m_cd, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1) ? stopOf(errno)
                                                                                             : Stop::Done;
    }
    void reset() override { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    static Stop stopOf(int err) {
        return err == E2BIG ? Stop::NoRoom : err == EINVAL ? Stop::Incomplete : Stop::Invalid;
    }
    iconv_t m_cd;
};

} // namespace

std::unique_ptr<CharsetConversion> PosixCharsets::open(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr): iconv_open's failure
        return nullptr;
    return std::make_unique<IconvConversion>(cd);
}

std::string PosixCharsets::systemCharset() {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the locale is set once, before any thread starts
    const char* cs = nl_langinfo(CODESET);
    if (!cs || !*cs || std::strcmp(cs, "ANSI_X3.4-1968") == 0 || strcasecmp(cs, "ASCII") == 0)
        return "UTF-8";
    return cs;
}

} // namespace platform

namespace platform::posix {
Charsets& charsets() {
    static PosixCharsets charsets;
    return charsets;
}
} // namespace platform::posix

namespace platform {
Charsets& systemCharsets() { return posix::charsets(); }
} // namespace platform
