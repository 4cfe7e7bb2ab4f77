#pragma once

#include <cerrno>
#include <iconv.h>
#include <string>
#include <string_view>

// One conversion descriptor between two charsets, closed however the conversion ends.
class CharsetConverter {
public:
    explicit CharsetConverter(const std::string& charset) : CharsetConverter(charset, "UTF-8") {}
    CharsetConverter(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~CharsetConverter() {
        if (ok())
            iconv_close(m_cd);
    }
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }
    // Converts as much of in as it can, appending to out; false (errno set) where it stopped short.
    bool convert(std::string_view& in, std::string& out) {
        std::string buf(in.size() * 4 + 16, '\0');
        char* from = const_cast<char*>(in.data());
        std::size_t fromLeft = in.size();
        char* to = buf.data();
        std::size_t toLeft = buf.size();
        std::size_t rc = iconv(m_cd, &from, &fromLeft, &to, &toLeft);
        const int err = errno;
        out.append(buf.data(), buf.size() - toLeft);
        in.remove_prefix(in.size() - fromLeft);
        if (rc != static_cast<std::size_t>(-1))
            return true;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // start afresh after the bad input
        errno = err;
        return false;
    }

private:
    iconv_t m_cd;
};
