#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>

// The windows' design as plain data: every control's place in twips, caption, font, colour and
// tab order. The Qt windows and the Win32 windows both build themselves from these tables.
namespace layout {

enum class Kind : std::uint8_t {
    Label,
    Link,          // a label that opens an address when clicked
    TextBox,       // single line
    LogBox,        // multi-line, scroll bars both ways, only appended to
    CodeBox,       // multi-line, editable, scroll bars both ways: the code
    TextBlock,     // multi-line, only displays: button-face background
    Frame,         // a captioned group box
    Button,        // a command button
    PictureButton, // a command button with its picture above the caption
    Option,        // an option button; the options of one frame form one group
    CheckBox,
    Image,
    Line,
    Timer,
    DriveList,
    DirList,
    FileList,
};

// The character sets by the numbers fonts carry them with.
enum class Charset : std::uint8_t { Western = 0, Gb2312 = 134 };

struct Font {
    std::string_view face;
    double points = 9;
    bool bold = false;
    bool underline = false;
    Charset charset = Charset::Western;
};

inline constexpr Font kSong9{"宋体", 9, false, false, Charset::Gb2312};
inline constexpr Font kSong12{"宋体", 12, false, false, Charset::Gb2312};
inline constexpr Font kSongLink{"宋体", 9, false, true, Charset::Gb2312};
inline constexpr Font kArial9{"Arial", 9};
inline constexpr Font kArial12{"Arial", 12};
inline constexpr Font kArialHeading{"Arial", 42, true};

struct Colour {
    std::uint8_t red, green, blue;
};

// Headings and titles, small print, links.
inline constexpr Colour kDarkGreen{0, 64, 0};
inline constexpr Colour kGrey{128, 128, 128};
inline constexpr Colour kBlue{0, 0, 255};

// A rectangle in twips. A line runs from (left, top) to (left + width, top).
struct Twips {
    int left, top, width, height;
};

// 1440 twips to the inch: 15 twips make one pixel at 96 dots per inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int toPixels(int twips, int dpi = 96) { return twips * dpi / kTwipsPerInch; }

inline constexpr int kNoTab = -1;

struct Control {
    std::string_view name;
    Kind kind;
    std::string_view frame; // the frame it stands in; empty: the window's client area
    std::string_view caption;
    Twips place;                    // relative to its frame, or to the client area
    int tabIndex = kNoTab;          // kNoTab: takes no place in the tab order
    std::optional<Font> font{};     // none: the window's font
    std::optional<Colour> colour{}; // of the caption or the text; none: the system's
    std::string_view picture{};     // resources/pictures/<picture>.gif
    bool on = false;                // option selected, box ticked at start
    std::string_view tip{};         // shown while the pointer rests on it; empty: none
};

struct Window {
    std::string_view name;
    std::string_view caption;
    int width, height; // client area in twips
    bool tool;         // a secondary window: small title bar, no task-bar button
    bool sizable;
    std::optional<Font> font; // none: the system's default window font
    std::span<const Control> controls;

    // The control of that name; a name the table lacks does not compile in a constant expression.
    constexpr const Control& operator[](std::string_view controlName) const {
        for (const Control& c : controls)
            if (c.name == controlName)
                return c;
        throw std::out_of_range("no control of that name");
    }
};

} // namespace layout
