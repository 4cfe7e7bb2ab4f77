#pragma once

#include "platform/Charsets.h"

#include <memory>
#include <string>
#include <string_view>

// One conversion between two charsets, as the system's Charsets make it.
class CharsetConverter {
public:
    using Stop = platform::CharsetConversion::Stop;

    CharsetConverter(platform::Charsets& charsets, const std::string& to, const std::string& from)
        : m_conversion(charsets.open(to, from)) {}
    bool ok() const { return m_conversion != nullptr; }
    platform::CharsetConversion& get() { return *m_conversion; }
    // Converts as much of in as it can, appending to out; why it stopped (Done: all of in).
    Stop convert(std::string_view& in, std::string& out) {
        std::string buf(in.size() * 4 + 16, '\0');
        const char* from = in.data();
        std::size_t fromLeft = in.size();
        char* to = buf.data();
        std::size_t toLeft = buf.size();
        const Stop stop = m_conversion->convert(from, fromLeft, to, toLeft);
        out.append(buf.data(), buf.size() - toLeft);
        in.remove_prefix(in.size() - fromLeft);
        if (stop != Stop::Done)
            m_conversion->reset(); // start afresh after the bad input
        return stop;
    }

private:
    std::unique_ptr<platform::CharsetConversion> m_conversion;
};

// Is charset a name of UTF-8?
bool isUtf8Charset(std::string_view charset);
