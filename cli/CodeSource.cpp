#include "cli/CodeSource.h"
#include "platform/System.h"

#include "core/CodeReading.h"
#include "core/ShownNames.h"
#include "platform/Console.h"

#include <system_error>

namespace {

[[noreturn]] void cannotRead(const std::string& from, const std::string& reason) {
    throw CodeUnreadable("cannot read the code from " + from + ": " + reason);
}

std::string readFile(const std::string& path, const char* what = "the code") {
    std::string text;
    if (const std::error_code ec = platform::readFile(path, text))
        throw CodeUnreadable(std::string("cannot read ") + what + " from " +
                             shownPath(path, platform::systemCharsets(), platform::systemPaths()) + ": " +
                             shownUtf8(ec.message()));
    return text;
}

std::string readStandardInput(bool wasClosed) {
    if (wasClosed)
        cannotRead("standard input", "standard input is closed");
    std::string text;
    if (const std::error_code ec = platform::readStream(platform::kStandardInput, text))
        cannotRead("standard input", shownUtf8(ec.message()));
    return text;
}

} // namespace

std::string typedText(const std::string& text) {
    return codeAsUtf8(platform::systemCharsets(), text,
                      platform::argumentsAreUtf8() ? "UTF-8" : platform::systemCharsets().systemCharset(),
                      false);
}

std::optional<std::string> readOldCode(const Options& options) {
    if (options.replace)
        return typedText(*options.replace);
    if (!options.replaceFile)
        return std::nullopt;
    return codeAsUtf8(platform::systemCharsets(), readFile(*options.replaceFile, "the old code"),
                      platform::systemCharsets().systemCharset(), true);
}

std::string readCode(const Options& options, bool stdinWasClosed) {
    // Typed, the code is in the arguments' charset; read, in the system's, unless its mark says otherwise.
    if (options.code)
        return typedText(*options.code);
    std::string text = options.codeFile ? readFile(*options.codeFile) : readStandardInput(stdinWasClosed);
    return codeAsUtf8(platform::systemCharsets(), std::move(text), platform::systemCharsets().systemCharset(),
                      true);
}
