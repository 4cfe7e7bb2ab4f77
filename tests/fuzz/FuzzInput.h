#pragma once

// What the fuzz targets share: taking an input apart, text in a buffer of its exact size (so that
// AddressSanitizer sees a read past its end), and a property that stops the run when it breaks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A broken property is a crash to libFuzzer: it keeps the input that broke it.
inline void require(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

// Reads an input from the front: option bytes, then lengths of parts, then the rest.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_rest(reinterpret_cast<const char*>(data), size) {}
    unsigned byte() {
        if (m_rest.empty())
            return 0;
        const auto b = static_cast<unsigned char>(m_rest[0]);
        m_rest.remove_prefix(1);
        return b;
    }
    std::string_view take(std::size_t n) {
        const std::string_view part = m_rest.substr(0, n);
        m_rest.remove_prefix(part.size());
        return part;
    }
    // Up to the first sep, which is dropped.
    std::string_view upTo(char sep) {
        const std::size_t at = m_rest.find(sep);
        const std::string_view part = m_rest.substr(0, at);
        m_rest.remove_prefix(at == std::string_view::npos ? m_rest.size() : at + 1);
        return part;
    }
    std::string_view rest() const { return m_rest; }

private:
    std::string_view m_rest;
};

// A copy of text in memory of its own, exactly as long.
class Exact {
public:
    explicit Exact(std::string_view text) : m_bytes(new char[text.size()]), m_size(text.size()) {
        std::copy(text.begin(), text.end(), m_bytes.get());
    }
    std::string_view view() const { return {m_bytes.get(), m_size}; }

private:
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_size;
};

// ASCII as the bytes of a text unit by unit: one byte each, or two of UTF-16 in either order.
inline std::string widen(std::string_view ascii, int width, bool bigEndian) {
    if (width == 1)
        return std::string(ascii);
    std::string out;
    for (char c : ascii)
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

// The units of text: bytes, or the 16-bit units of UTF-16 (an odd last byte is none).
inline std::vector<unsigned> unitsOf(std::string_view text, int width, bool bigEndian) {
    std::vector<unsigned> units;
    for (std::size_t i = 0; i + width <= text.size(); i += width) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const unsigned b1 = width == 2 ? static_cast<unsigned char>(text[i + 1]) : 0u;
        units.push_back(width == 1 ? b0 : bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    }
    return units;
}

} // namespace fuzz
