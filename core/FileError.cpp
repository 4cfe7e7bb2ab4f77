#include "core/FileError.h"

#include "core/ShownNames.h"

std::string_view refusalText(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
        break;
    case Refusal::ReadOnly:
        return "read-only file";
    case Refusal::SymbolicLink:
        return "symbolic link, not followed";
    case Refusal::NotRegular:
        return "not a regular file";
    case Refusal::ChangedDuringRun:
        return "changed during the run";
    case Refusal::OwnOutput:
        return "it is this run's own output";
    case Refusal::CannotReplace:
        return "files in this folder cannot be replaced (it only lets entries be added)";
    case Refusal::PartialCode:
        return "the file may end with part of the code";
    case Refusal::AnotherRun:
        return "another run is changing this folder";
    case Refusal::NotUtf8Text:
        return "not UTF-8 text: name its encoding with --encoding";
    case Refusal::HoldsNul:
        return "holds NUL bytes: perhaps UTF-16 without a byte-order mark, or not text";
    case Refusal::NoMarker:
        return "the marker is not found";
    }
    return {};
}

namespace {

std::string describe(const std::error_code& error, Refusal refusal) {
    // The platform's error codes describe themselves in UTF-8; only the escapes are left to add.
    std::string system = shownUtf8(error.message());
    if (refusal == Refusal::None)
        return system;
    std::string text(refusalText(refusal));
    // The system's reason still matters when a write went wrong half-way.
    if (refusal == Refusal::PartialCode && error)
        text += " (" + system + ")";
    return text;
}

} // namespace

FileError::FileError(std::error_code error, std::string operation, std::string path, Refusal refusal)
    // system_error adds the system's description behind this text.
    : std::system_error(error,
                        "cannot " + operation + " " + path +
                            (refusal == Refusal::None ? "" : ": " + std::string(refusalText(refusal)))),
      m_operation(std::move(operation)), m_path(std::move(path)), m_refusal(refusal) {}

std::string FileError::reason() const {
    if (m_refusal == Refusal::NoMarker && !m_subject.empty())
        return "no " + m_subject + " found";
    return describe(code(), m_refusal);
}
