#include "platform/Charsets.h"
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
    ~IconvConversion() override { ::iconv_close(m_cd); }
    IconvConversion(const IconvConversion&) = delete;
    IconvConversion& operator=(const IconvConversion&) = delete;

    Stop convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) override {
        char* from = const_cast<char*>(in); // iconv's own signature; it never writes there
        const std::size_t rc = ::iconv(m_cd, &from, &inLeft, &out, &outLeft);
        in = from;
        return rc == static_cast<std::size_t>(-1) ? stopOf(errno) : Stop::Done;
    }

    Stop flush(char*& out, std::size_t& outLeft) override {
        const std::size_t rc = ::iconv(m_cd, nullptr, nullptr, &out, &outLeft);
        return rc == static_cast<std::size_t>(-1) ? stopOf(errno) : Stop::Done;
    }

    void reset() override { (void)::iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    static Stop stopOf(int err) {
        switch (err) {
        case E2BIG:
            return Stop::NoRoom;
        case EINVAL:
            return Stop::Incomplete;
        default:
            return Stop::Invalid;
        }
    }

    iconv_t m_cd;
};

class IconvCharsets final : public Charsets {
public:
    std::unique_ptr<CharsetConversion> open(const std::string& to, const std::string& from) override {
        iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            return nullptr;
        return std::make_unique<IconvConversion>(cd);
    }

    std::string systemCharset() override {
        const char* cs = ::nl_langinfo(CODESET);
        if (!cs || !*cs || std::strcmp(cs, "ANSI_X3.4-1968") == 0 || ::strcasecmp(cs, "ASCII") == 0)
            return "UTF-8";
        return cs;
    }
};

} // namespace

Charsets& posix::charsets() {
    static IconvCharsets charsets;
    return charsets;
}

} // namespace platform
