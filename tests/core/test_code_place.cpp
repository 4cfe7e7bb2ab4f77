#include "TestFiles.h"

#include <cstring>
#include <filesystem>
#include <optional>

using namespace std::string_literals;
using namespace testfiles;

namespace {

// Text without a mark is read as UTF-8, as in a UTF-8 locale, on both systems; the ANSI code page
// of a Chinese Windows (936) has rows of its own.
const SystemCharset utf8System("UTF-8");

// ASCII text as UTF-16 with its byte-order mark.
std::string utf16(std::string_view ascii, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii)
        out += little ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}
const auto le = [](std::string_view ascii) { return utf16(ascii, true); };
const auto be = [](std::string_view ascii) { return utf16(ascii, false); };
const std::string kBom8 = "\xEF\xBB\xBF";

struct Options {
    bool head = true; // beside a marker: in front of it
    bool afterPreamble = false;
    LineBreakMode eol = LineBreakMode::CrLf;
    std::string marker{};
};

BatchInput inputFor(const Options& o, std::string code) {
    BatchInput in = input("txt", o.head ? "head" : "foot", code);
    if (o.head && o.afterPreamble)
        in.place = CodeAt::HeadAfterPreamble;
    in.eol = o.eol;
    if (!o.marker.empty()) {
        in.marker = o.marker;
        in.place = o.head ? CodeAt::BeforeMarker : CodeAt::AfterMarker;
    }
    return in;
}

// Runs over dir and returns the log of the run alone.
std::string logOf(const TempDir& dir, const BatchInput& in) {
    return run(dir, in).log.substr(kLogHeader.size());
}

// What a run makes of a file holding old.
std::string afterRun(const std::string& old, const BatchInput& in) {
    TempDir dir;
    writeFile(dir / "f.txt", old);
    logOf(dir, in);
    return readFile(dir / "f.txt");
}

// Adds with once (expecting added), adds again with once (expecting a skip that changes nothing),
// then removes (expecting removed) and removes again (expecting a skip).
void roundTrip(const std::string& old, const Options& o, const std::string& code, const std::string& added,
               const std::string& removed) {
    TempDir dir;
    const std::string file = dir / "f.txt";
    writeFile(file, old);
    BatchInput in = inputFor(o, code);
    in.action = RunAction::AddOnce;
    EXPECT_EQ(logOf(dir, in), "f.txt\r\n\r\n处理了1个文件。\r\n感谢您使用本软件！");
    EXPECT_EQ(readFile(file), added);

    const auto before = std::filesystem::last_write_time(file);
    EXPECT_EQ(logOf(dir, in), "f.txt（已含此代码，未再添加）\r\n\r\n处理了0个文件。\r\n"
                              "有1个文件已含此代码，未再添加。\r\n感谢您使用本软件！");
    EXPECT_EQ(readFile(file), added);
    EXPECT_TRUE(std::filesystem::last_write_time(file) == before) << "a skipped file is not touched";
    std::vector<std::string> lacking; // what a check lists
    EXPECT_EQ(previewBatch(at(dir, in), lacking, systemWith()).outcome, BatchResult::Outcome::Completed);
    EXPECT_TRUE(lacking.empty()) << "a check finds the code where a once run did";

    in.action = RunAction::Remove;
    EXPECT_EQ(logOf(dir, in), "f.txt\r\n\r\n处理了1个文件。\r\n感谢您使用本软件！");
    EXPECT_EQ(readFile(file), removed);
    EXPECT_EQ(logOf(dir, in), "f.txt（未含此代码）\r\n\r\n处理了0个文件。\r\n感谢您使用本软件！");
    EXPECT_EQ(readFile(file), removed);
}

// The round trip of a file as the tables give it: '|' where the code goes with its CR LF, '~' where
// it goes inline; a removal gives back the file. Rows named "UTF-16 LE" or "UTF-16 BE" are ASCII,
// encoded so; rows named "GBK" run with the ANSI code page of a Chinese Windows (936) as the
// system's, their 遊, 隱 and 覽 (each ending in the byte '[') in it.
void roundTripMarked(const std::string& what, const std::string& marked, const Options& o,
                     const std::string& code) {
    std::optional<SystemCharset> gbk;
    if (what.starts_with("GBK"))
        gbk.emplace("CP936");
    auto encode = [&](std::string s) {
        if (what.starts_with("UTF-16"))
            return utf16(s, what.starts_with("UTF-16 LE"));
        for (const auto& [utf8, cp936] : {std::pair{"遊", "\xDF["}, {"隱", "\xEB["}, {"覽", "\xD3["}})
            for (std::size_t at; gbk && (at = s.find(utf8)) != std::string::npos;)
                s.replace(at, std::strlen(utf8), cp936);
        return s;
    };
    const std::size_t at = marked.find_first_of("|~");
    const std::string old = marked.substr(0, at) + marked.substr(at + 1);
    const std::string added = std::string(marked).replace(at, 1, marked[at] == '|' ? code + "\r\n" : code);
    roundTrip(encode(old), o, code, encode(added), encode(old));
}

} // namespace

TEST(CodePlace, FilesThatHoldTheCodeAtItsPlaceAreLeftAloneAndRemovalTakesOneCopy) {
    // What, the file, head or foot, what a once run and a removal each make of the file.
    for (const auto& [what, old, head, added, removed] :
         Rows<const char*, std::string, bool, std::string, std::string>{
             {"head: twice", "C\r\nC\r\nx\r\n", true, "C\r\nC\r\nx\r\n", "C\r\nx\r\n"},
             {"foot: twice", "x\r\nC\r\nC\r\n", false, "x\r\nC\r\nC\r\n", "x\r\nC\r\n"},
             {"foot: on the old last line", "xC\r\n", false, "xC\r\n", "x"},
             {"head: LF instead of CR LF is not the code", "C\nx\n", true, "C\r\nC\nx\n", "C\nx\n"},
             {"head: only in the middle", "x\r\nC\r\n", true, "C\r\nx\r\nC\r\n", "x\r\nC\r\n"},
             {"head: the code as a longer line's start", "Cx\r\n", true, "C\r\nCx\r\n", "Cx\r\n"}}) {
        SCOPED_TRACE(what);
        BatchInput in = inputFor({head}, "C");
        in.action = RunAction::AddOnce;
        EXPECT_EQ(afterRun(old, in), added);
        in.action = RunAction::Remove;
        EXPECT_EQ(afterRun(old, in), removed);
    }
}

TEST(CodePlace, HeadGoesBehindTheLinesThatMustStayFirst) {
    // What, the code, the file with a '|' where the code and a CR LF go in (see roundTripMarked).
    for (const auto& [what, code, marked] : Rows<std::string, std::string, std::string>{
             {"shebang", "C", "#!/bin/sh\n|echo\n"},
             {"XML declaration then DOCTYPE", "C", "<?xml version=\"1.0\"?>\r\n<!DOCTYPE html>\r\n|<html/>"},
             {"shebang, XML declaration, DOCTYPE", "C", "#!x\n<?xml?>\n<!DOCTYPE a>\n|b\n"},
             {"DOCTYPE alone, mixed case", "C", "<!doctype HTML>\r\n|<p>\r\n"},
             {"DOCTYPE over two lines, '>' in quotes", "C",
              "<!DOCTYPE html PUBLIC \"-//a>b//EN\"\n  \"x.dtd\">\n|<html>\n"},
             {"blanks behind a declaration stay on its line", "C", "<?xml version='1.0' ?> \t\r\n|<a/>\r\n"},
             {"a declaration sharing its line: the code right behind it", "C", "<!DOCTYPE html>|<html>\n"},
             {"a DOCTYPE sharing the XML declaration's line", "C",
              "<?xml version=\"1.0\"?> <!DOCTYPE html>\n|<html/>\n"},
             {"after the byte-order mark", "C", kBom8 + "#!/bin/sh\n|"},
             {"UTF-16 LE", "C", "<?xml?>\r\n|b\r\n"},
             {"UTF-16 BE, CR alone", "C", "#!a\r|b\r"},
             {"<?php is no preamble", "C", "|<?php echo 1; ?>\n"},
             {"<?xml-stylesheet is no declaration", "C", "|<?xml-stylesheet href='a'?>\n"},
             {"shebang not at the start", "C", "|\n#!/bin/sh\n"},
             {"unclosed declaration", "C", "|<?xml version='1.0'\n"},
             {"XML declaration after DOCTYPE is not first", "C", "<!DOCTYPE a>\n|<?xml?>\n"},
             {"empty file", "C", "|"},
             {"a line break right behind <?xml", "C", "<?xml\nversion=\"1.0\"?>\n|<a/>\n"},
             {"XML declaration over two lines, then more on its line", "C",
              "<?xml version='1.0'\n  ?>|<a/>\n"},
             {"XML declaration, blank line, comment, DOCTYPE", "C",
              "<?xml version=\"1.0\"?>\n\n<!-- c -->\n<!DOCTYPE a>\n|<a/>\n"},
             {"XML declaration, a comment and no DOCTYPE: behind the declaration", "C",
              "<?xml version=\"1.0\"?>\r\n|<!-- c -->\r\n<a/>\r\n"},
             {"nothing comes before an XML declaration", "C", "|\n<?xml version=\"1.0\"?>\n<!DOCTYPE a>\n"},
             {"blank lines and comments before a DOCTYPE stay in front of the code", "C",
              "\r\n  <!-- a -->\r\n<!--b-->\t<!DOCTYPE html>\r\n|<p>\r\n"},
             {"UTF-16 BE, a comment before a DOCTYPE", "C", "<!-- a -->\r\n<!DOCTYPE html>\r\n|<p>\r\n"},
             {"comments and no DOCTYPE are no preamble", "C", "|\n<!-- a -->\n<p>\n"},
             {"unclosed comment before a DOCTYPE", "C", "|<!-- a\n<!DOCTYPE html>\n"},
             {"internal subset: '>' of its declarations", "C",
              "<!DOCTYPE a [\n<!ELEMENT a (#PCDATA)>\n]>\n|<a/>\n"},
             {"internal subset: ']', '>' and quotes in a comment, an entity and an instruction", "C",
              "<!DOCTYPE a [<!-- it's ]> --><!ENTITY e \"]>'\"><?pi ]> ?>]>\n|<a>&e;</a>\n"},
             // A code that is itself a line of a preamble is found where it went in.
             {"DOCTYPE for a page without one", "<!DOCTYPE html>", "|<html>\n"},
             {"UTF-16 LE, a DOCTYPE for a page", "<!DOCTYPE html>", "|<!-- c -->\r\n<p>\r\n"},
             {"DOCTYPE in front of a comment", "<!DOCTYPE html>", "|<!-- c -->\n<html>\n"},
             {"DOCTYPE behind an XML declaration", "<!DOCTYPE a>", "<?xml version=\"1.0\"?>\n|<a/>\n"},
             {"a second DOCTYPE", "<!DOCTYPE b>", "<!DOCTYPE a>\n|<a/>\n"},
             {"shebang as the code", "#!/bin/sh", "|echo\n"},
             {"XML declaration as the code", "<?xml version=\"1.0\"?>", "|<a/>\n"},
             {"comment behind a DOCTYPE", "<!-- c -->", "<!DOCTYPE html>\n|<p>\n"},
             {"comment first", "<!-- c -->", "|<p>\n"},
             {"the same comment in front of a DOCTYPE is not the code", "<!-- c -->",
              "<!-- c -->\r\n<!DOCTYPE html>\n|<p>\n"},
             // A trail byte '[' opens no internal subset.
             {"GBK: a DOCTYPE's name", "遊", "<!DOCTYPE 遊>\r\n|<p>\r\n"},
             {"GBK: a comment and a system identifier", "遊",
              "<!-- 隱 -->\n<!DOCTYPE a SYSTEM 覽>\n|<a/>\n"}}) {
        SCOPED_TRACE(what);
        roundTripMarked(what, marked, {true, true}, code);
    }
    // A preamble that ends the file without a line break: so does the code.
    roundTrip("#!/bin/sh", {true, true}, "C", "#!/bin/sh\r\nC", "#!/bin/sh");
}

TEST(CodePlace, PreambleIsFoundWhateverItsLengthAndWhereverTheReadEnds) {
    constexpr std::size_t kRead = 64 * 1024;
    for (const std::string& mark : {std::string(), kBom8}) {
        for (std::size_t length = kRead - 2; length <= kRead + 1; ++length) {
            const std::string doctype = "<!DOCTYPE a SYSTEM \"" + std::string(length - 22, 'x') + "\">";
            // What follows the DOCTYPE, what adding makes of the file, what removal leaves.
            for (const auto& [rest, added, removed] : Rows<std::string, std::string, std::string>{
                     {"\r\n<a/>\r\n", "\r\nC\r\n<a/>\r\n", "\r\n<a/>\r\n"},
                     {" <a/>\r\n", "C\r\n <a/>\r\n", " <a/>\r\n"},
                     {"", "\r\nC", ""}}) {
                SCOPED_TRACE(std::to_string(mark.size()) + " + " + std::to_string(length) + " + " + rest);
                roundTrip(mark + doctype + rest, {true, true}, "C", mark + doctype + added,
                          mark + doctype + removed);
            }
        }
    }
    const std::string shebang = "#!/bin/echo " + std::string(kRead + 10, 'x') + "\n";
    roundTrip(shebang + "echo\n", {true, true}, "C", shebang + "C\r\necho\n", shebang + "echo\n");
    const std::string comment = "<!-- " + std::string(kRead + 10, 'x') + " -->\n<p>\n";
    roundTrip(comment, {true, true}, "<!DOCTYPE html>", "<!DOCTYPE html>\r\n" + comment, comment);
}

TEST(CodePlace, LineBreaksAsAskedOrAsTheFileHasThem) {
    using M = LineBreakMode;
    const std::string a(2 * 64 * 1024 - 2, 'a'); // its CR LF split between two reads
    // What, the file, the line-break mode, what a head and a foot make of the file.
    for (const auto& [what, old, eol, head, foot] :
         Rows<const char*, std::string, M, std::string, std::string>{
             {"CR LF: empty file", "", M::CrLf, "1\r\n2\r\n", "1\r\n2\r\n"},
             {"CR LF: a byte-order mark alone", kBom8, M::CrLf, kBom8 + "1\r\n2\r\n", kBom8 + "1\r\n2\r\n"},
             {"CR LF: a shebang is no preamble for a plain head", "#!/bin/sh\necho\n", M::CrLf,
              "1\r\n2\r\n#!/bin/sh\necho\n", "#!/bin/sh\necho\n1\r\n2\r\n"},
             {"CR LF: ends in a lone CR", "a\r", M::CrLf, "1\r\n2\r\na\r", "a\r1\r\n2\r\n"},
             {"LF", "a\r\nb", M::Lf, "1\n2\na\r\nb", "a\r\nb1\n2\n"},
             {"match: LF", "a\nb", M::Match, "1\n2\na\nb", "a\nb1\n2\n"},
             {"match: CR LF behind a long first line", a + "\r\nb\n", M::Match, "1\r\n2\r\n" + a + "\r\nb\n",
              a + "\r\nb\n1\r\n2\r\n"},
             {"match: CR alone", "a\rb", M::Match, "1\r2\ra\rb", "a\rb1\r2\r"},
             {"match: no break at all gives CR LF", "ab", M::Match, "1\r\n2\r\nab", "ab1\r\n2\r\n"},
             {"match: empty file", "", M::Match, "1\r\n2\r\n", "1\r\n2\r\n"},
             {"match: UTF-16 LE, LF", le("a\nb"), M::Match, le("1\n2\na\nb"), le("a\nb1\n2\n")},
             {"match: UTF-16 BE, CR", be("a\r"), M::Match, be("1\r2\ra\r"), be("a\r1\r2\r")}}) {
        SCOPED_TRACE(what);
        roundTrip(old, {true, false, eol}, "1\r\n2", head, old);
        roundTrip(old, {false, false, eol}, "1\r\n2", foot, old);
    }
}

// Files that end without a line break, in every encoding: with any placement option a head leaves
// the end as it was and a removal gives back every byte; only a plain head adds CR LF there, which
// a removal leaves, and a removal from a file that held the code takes out the code alone.
TEST(CodePlace, PlacementOptionsKeepTheEndAndRemovalGivesBackEveryByte) {
    const std::function<std::string(std::string_view)> encodings[] = {
        [](std::string_view t) { return std::string(t); },
        [&](std::string_view t) { return kBom8 + std::string(t); }, le, be};
    const char* bodies[] = {"a",
                            "a\r\nb",
                            "a\nb",
                            "a\rb",
                            "#!/bin/sh",
                            "#!/bin/sh  ",
                            "#!/bin/sh\necho",
                            "<!DOCTYPE a><a/>",
                            "<?xml version=\"1.0\"?>\r\n<a/>"};
    for (const auto& encode : encodings) {
        // Each body in a file of its own, named by its place in the list.
        Contents old, withCode;
        for (std::size_t i = 0; i < std::size(bodies); ++i) {
            old["f" + std::to_string(i) + ".txt"] = encode(bodies[i]);
            withCode["f" + std::to_string(i) + ".txt"] = encode("C\r\n"s + bodies[i]);
        }
        SCOPED_TRACE(::testing::PrintToString(old.begin()->second));
        const std::string crLf = encode("\r\n").substr(encode("").size());
        for (bool afterPreamble : {false, true})
            for (LineBreakMode eol : {LineBreakMode::CrLf, LineBreakMode::Lf, LineBreakMode::Match}) {
                const bool plain = !afterPreamble && eol == LineBreakMode::CrLf;
                SCOPED_TRACE("after preamble " + std::to_string(afterPreamble) + ", eol " +
                             std::to_string(int(eol)));
                TempDir dir;
                writeAll(dir.path(), plain ? withCode : old);
                BatchInput in = inputFor({true, afterPreamble, eol}, "C");
                if (plain) {
                    in.action = RunAction::Remove;
                    logOf(dir, in);
                    EXPECT_EQ(snapshot(dir.path()), old);
                }
                in.action = RunAction::AddOnce;
                logOf(dir, in);
                for (const auto& [name, added] : snapshot(dir.path())) {
                    const char last = added.back() == '\0' ? added[added.size() - 2] : added.back();
                    EXPECT_TRUE(added.size() > old.at(name).size() && (last == '\n') == plain && last != '\r')
                        << added;
                }
                EXPECT_THAT(logOf(dir, in), HasSubstr("有9个文件已含此代码"));
                in.action = RunAction::Remove;
                EXPECT_THAT(logOf(dir, in), HasSubstr("处理了9个文件"));
                for (const auto& [name, bytes] : snapshot(dir.path()))
                    EXPECT_EQ(bytes, old.at(name) + (plain ? crLf : "")) << name;
            }
    }
}

TEST(CodePlace, MarkerPlacesTheCodeOnItsOwnLineOrInlineAndRemovalGivesItBack) {
    // What, the marker, in front of it (else behind), the marked file (see roundTripMarked).
    for (const auto& [what, marker, before, marked] : Rows<std::string, std::string, bool, std::string>{
             {"before </body> on its own line", "</body>", true, "<p>\r\n|</body>\r\n</html>\r\n"},
             {"indented: the code takes the line's start", "</body>", true, "<p>\n|  </body>\n"},
             {"the last of two", "</body>", true, "</body>\n|</body>\n"},
             {"any letter case", "</body>", true, "<p>\n|</BODY >\n"},
             {"inline", "</body>", true, "<p>x~</body></html>"},
             {"at the very start", "</head>", true, "|</head>"},
             {"after <body> with attributes", "<body>", false, "<html>\r\n<body class=\"a>b\">\r\n|<p>\r\n"},
             {"after the first <body>, inline", "<body>", false, "<body>~<p><body>\n"},
             {"marker ending the file: inline", "<body>", false, "<body>~"},
             {"blanks behind the marker stay on its line", "<head>", false, "<head> \t\n|<title>\n"},
             {"<header> is no <head>", "<head>", false, "<header>\n<head>\n|<meta>\n"},
             {"never inside a comment", "</body>", true, "|</body>\n<!-- </body> -->\n"},
             {"an unclosed comment hides the rest", "</body>", true, "|</body>\n<!-- </body>\n"},
             {"any other marker by its exact text", "<!-- ad -->", true, "a\n|<!-- ad -->\n<!-- AD -->\n"},
             {"exact text inside a word", "END", false, "xEND~yz\n"},
             {"after the byte-order mark", "</body>", true, kBom8 + "|</body>"},
             {"marker ending the file, no break", "</body>", true, "<p>\n|</body>"},
             {"CR alone ends the line", "</body>", true, "<p>\r|</body>\r"},
             // A code beside the marker in the form the other placement gives is not the code.
             {"own-line form where it goes inline", "</body>", true, "xC\r\n|</body>"},
             {"inline form where it goes on its line", "</body>", true, "C~</body>"},
             {"inline form behind where it goes on the next line", "<body>", false, "<body>~C\r\n"},
             {"LF file: the code with LF", "</body>", true, "C\n|</body>\n"},
             {"UTF-16 LE", "</body>", true, "<p>\r\n|</body>\r\n"},
             {"UTF-16 BE, inline after", "<body>", false, "<body>~<p>\r\n"},
             {"UTF-16 LE, exact text", "--MARK--", true, "a~--MARK--\n"},
             // A trail byte '[' is no marker's start; the code 遊 ends in one too.
             {"GBK: the code on its line", "</body>", true, "隱\n|</body>\n"},
             {"GBK: exact text", "[x", false, "a隱x[x~z"}}) {
        SCOPED_TRACE(what);
        roundTripMarked(what, marked, {before, false, LineBreakMode::CrLf, marker},
                        what.starts_with("GBK") ? "遊" : "C");
    }
}

// Each template has '|' where the code goes with its line break, '~' where it goes inline.
TEST(CodePlace, ReplaceSwapsTheOldCodeAtItsPlaceOnlyAndReplacingBackGivesEveryByte) {
    for (const auto& [what, o, marked] : Rows<const char*, Options, std::string>{
             {"head", {true}, "|x\r\n"},
             {"foot", {false}, "x\r\n|"},
             {"head behind the preamble", {true, true}, "<!DOCTYPE html>\n|<p>\n"},
             {"before </body>", {true, false, LineBreakMode::Lf, "</body>"}, "<p>\n|</body>\n"},
             {"after <body>, inline", {false, false, LineBreakMode::CrLf, "<body>"}, "<body>~<p>"}}) {
        SCOPED_TRACE(what);
        const std::size_t spot = marked.find_first_of("|~");
        const std::string lineBreak = marked[spot] == '~' ? "" : o.eol == LineBreakMode::Lf ? "\n" : "\r\n";
        auto with = [&](const std::string& code) {
            return code.empty() ? marked.substr(0, spot) + marked.substr(spot + 1)
                                : std::string(marked).replace(spot, 1, code + lineBreak);
        };
        // The old code at its place, the new one there, and neither (the old one elsewhere).
        const Contents old{{"a.txt", with("OLD")}, {"b.txt", with("NEW")}, {"c.txt", with("") + "OLD"}};
        TempDir dir;
        writeAll(dir.path(), old);
        BatchInput in = inputFor(o, "NEW");
        in.action = RunAction::Replace, in.oldCode = "OLD";
        EXPECT_EQ(logOf(dir, in),
                  "a.txt\r\nb.txt（already holds the new code）\r\nc.txt（lacks the old code）\r\n\r\n"
                  "处理了1个文件。\r\n有1个文件已含此代码，未再添加。\r\n1 file lacks the old code."
                  "\r\n感谢您使用本软件！");
        EXPECT_EQ(snapshot(dir.path()),
                  (Contents{{"a.txt", with("NEW")}, {"b.txt", with("NEW")}, {"c.txt", old.at("c.txt")}}));
        EXPECT_THAT(logOf(dir, in), HasSubstr("处理了0个文件。")) << "a second run changes nothing";
        std::vector<std::string> changes; // what a dry run lists
        previewBatch(at(dir, in), changes, systemWith());
        EXPECT_TRUE(changes.empty());
        in = inputFor(o, "OLD");
        in.action = RunAction::Replace, in.oldCode = "NEW";
        logOf(dir, in);
        EXPECT_EQ(snapshot(dir.path()),
                  (Contents{{"a.txt", with("OLD")}, {"b.txt", with("OLD")}, {"c.txt", old.at("c.txt")}}));
    }
}

// One folder of every encoding, each file judged by its start: the code in its encoding, with the
// run's line breaks; a character above U+FFFF as a surrogate pair in UTF-16.
TEST(CodePlace, EachFileGetsTheCodeInItsOwnEncoding) {
    const std::string utf8 = "码\n😀\n", le16 = "\x01\x78\n\0\x3D\xD8\x00\xDE\n\0"s,
                      be16 = "\x78\x01\0\n\xD8\x3D\xDE\x00\0\n"s, start(64 * 1024 - 1, 'a');
    const std::string notUtf8 = "not UTF-8 text: name its encoding with --encoding",
                      nul = "holds NUL bytes: perhaps UTF-16 without a byte-order mark, or not text";
    // The file, its mark's length, the code as it gets it, or the reason it is left alone.
    const Rows<std::string, std::string, std::size_t, std::string, std::string> rows{
        {"a.txt", "old\n", 0, utf8, ""},
        {"b.txt", "中\n", 0, utf8, ""},
        {"c.txt", le("x\n"), 2, le16, ""},
        {"d.txt", be("x\n"), 2, be16, ""},
        {"e.txt", "\xEF\xBB\xBFx\n", 3, utf8, ""},
        {"f.txt", start + "中\n", 0, utf8, ""}, // the start read ends inside a character
        {"g.txt", start + "a\xD6\xD0\n", 0, utf8, ""},
        {"h.txt", "\xD6\xD0\n", 0, "", notUtf8},
        {"i.txt", "x\0\n"s, 0, "", nul},
    };
    for (bool head : {true, false}) {
        SCOPED_TRACE(head ? "head" : "foot");
        TempDir dir;
        for (const auto& [name, old, mark, code, reason] : rows)
            writeFile(dir / name, old);
        BatchInput in = inputFor({head, false, LineBreakMode::Lf}, "码\r\n😀");
        in.action = RunAction::AddOnce;
        for (int pass : {1, 2}) { // the second finds the code everywhere
            const std::string log = logOf(dir, in);
            for (const auto& [name, old, mark, code, reason] : rows) {
                SCOPED_TRACE(name + " pass " + std::to_string(pass));
                EXPECT_EQ(readFile(dir / name), code.empty() ? old
                                                : head       ? old.substr(0, mark) + code + old.substr(mark)
                                                             : old + code);
                if (!reason.empty()) {
                    EXPECT_THAT(log, HasSubstr(name + "（未能处理：" + reason + "）"));
                }
            }
            EXPECT_THAT(log, HasSubstr(pass == 1 ? "处理了7个文件。" : "有7个文件已含此代码，未再添加。"));
        }
        in.action = RunAction::Remove;
        logOf(dir, in);
        for (const auto& [name, old, mark, code, reason] : rows)
            EXPECT_EQ(readFile(dir / name), old) << name << " after removal";
    }
}

// An encoding named for the run serves every file without a mark, NUL bytes or not.
TEST(CodePlace, NamedEncodingServesEveryFileWithoutAMark) {
    // The encoding, the file, what a head makes of it.
    for (const auto& [encoding, old, added] :
         Rows<std::string, std::string, std::string>{{"GBK", "\xD6\xD0\n", "\xC2\xEB\n\xD6\xD0\n"},
                                                     {"GBK", "中\n", "\xC2\xEB\n中\n"},
                                                     {"GBK", "\xEF\xBB\xBFx\n", "\xEF\xBB\xBF码\nx\n"},
                                                     {"UTF-16LE", "x\0\n\0"s, "\x01\x78\n\0x\0\n\0"s},
                                                     {"UTF-16BE", "\0x\0\n"s, "\x78\x01\0\n\0x\0\n"s},
                                                     {"UTF-8", "\xD6\xD0\n", "码\n\xD6\xD0\n"}}) {
        SCOPED_TRACE(encoding + ": " + old);
        BatchInput in = inputFor({true, false, LineBreakMode::Lf}, "码");
        in.encoding = encoding;
        EXPECT_EQ(afterRun(old, in), added);
    }
}

TEST(CodePlace, RecursiveRunTakesVisibleSubfoldersOfItsFileSystemInNameOrder) {
    TempDir dir, outside;
    for (const char* name :
         {"a.txt", "Z/z.txt", "b/a.txt", "b/x.htm", "b/c/c.txt", "b/.h/h.txt", ".git/g.txt", "y/y.txt"}) {
        std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
        writeFile(dir / name, "o\r\n");
    }
    writeFile(outside / "o.txt", "o\r\n");
    const bool links = makeLink(dir / "b", dir / "link") && makeLink(outside.path(), dir / "out");
#ifndef _WIN32
    ASSERT_TRUE(links) << "a symbolic link is never followed: this needs them";
#endif
    (void)links;
    // Another run holds "y".
    platform::FileSystem& fs = realFs();
    platform::FileHandle handle = platform::kNoFile;
    ASSERT_FALSE(fs.openFolder(dir / "y", handle));
    platform::UniqueFile busy(fs, handle);
    ASSERT_FALSE(fs.lockFolder(busy.get(), platform::FileSystem::Lock::Exclusive));

    BatchInput in = inputFor({false}, "X");
    in.recursive = true;
    using Names = std::vector<std::string>;
    auto preview = [&] {
        Names files;
        EXPECT_EQ(previewBatch(at(dir, in), files, systemWith()).outcome, BatchResult::Outcome::Completed);
        return files;
    };
    const Names all{"a.txt", native("b/a.txt"), native("b/c/c.txt"), native("Z/z.txt")};
    EXPECT_EQ(preview(), all);
    EXPECT_EQ(
        logOf(dir, in),
        native("a.txt\r\nb/a.txt\r\nb/c/c.txt\r\ny/（未能处理：another run is changing this folder）\r\n"
               "Z/z.txt\r\n\r\n处理了4个文件。\r\n有1个文件夹未能处理。\r\n感谢您使用本软件！"));
    for (const auto& name : all)
        EXPECT_EQ(readFile(dir / name), "o\r\nX\r\n") << name;
    for (const char* name : {"b/x.htm", "b/.h/h.txt", ".git/g.txt", "y/y.txt"})
        EXPECT_EQ(readFile(dir / name), "o\r\n") << name;
    EXPECT_EQ(readFile(outside / "o.txt"), "o\r\n");
    busy.reset();

    // What a second run would change: with once only what the busy folder kept, with remove the rest.
    in.action = RunAction::AddOnce;
    EXPECT_EQ(preview(), Names{native("y/y.txt")});
    in.action = RunAction::Remove;
    EXPECT_EQ(preview(), all);
    in.recursive = false;
    EXPECT_EQ(preview(), Names{"a.txt"});
}
