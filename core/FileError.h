#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

// Why a file was left alone when the system itself reported no error (or a misleading one).
// Front ends word these in their own language; refusalText() gives the English text.
enum class Refusal {
    None,             // the system's error says it all
    ReadOnly,         // the owner may not write the file
    SymbolicLink,     // a link is never followed
    NotRegular,       // a FIFO, a device, a socket ...
    ChangedDuringRun, // another program changed or replaced the file while this run worked on it
    OwnOutput,        // the file is where this run writes its log
    CannotReplace,    // the folder lets entries be added but not renamed over or removed
    PartialCode,      // a failed write could not be cut back: the file may end with part of the code
    AnotherRun,       // another run is changing the same folder
    NotUtf8Text,      // not UTF-8 where the locale is, with a code beyond ASCII: its charset is unknown
    HoldsNul,         // NUL bytes without a byte-order mark: UTF-16 without its mark, or not text
    NoMarker,         // the marker the code goes beside is not in the file (subject names it)
};

std::string_view refusalText(Refusal refusal);

// A failed file operation: what was being done, to which path, and why.
class FileError : public std::system_error {
public:
    FileError(std::error_code error, std::string operation, std::string path,
              Refusal refusal = Refusal::None);
    FileError(std::errc error, std::string operation, std::string path, Refusal refusal = Refusal::None)
        : FileError(std::make_error_code(error), std::move(operation), std::move(path), refusal) {}
    // A refusal about something in the file, named by subject (the marker not found).
    FileError(std::errc error, std::string operation, std::string path, Refusal refusal, std::string subject)
        : FileError(std::make_error_code(error), std::move(operation), std::move(path), refusal) {
        m_subject = std::move(subject);
    }

    const std::string& operation() const { return m_operation; }
    const std::string& path() const { return m_path; }
    Refusal refusal() const { return m_refusal; }
    const std::string& subject() const { return m_subject; }
    const std::error_code& error() const { return code(); }
    // As the log shows it: the refusal's text, else the system's description of the error.
    std::string reason() const;

private:
    std::string m_operation;
    std::string m_path;
    Refusal m_refusal;
    std::string m_subject;
};

// A code that cannot be written in the encoding a file needs (the locale's, usually).
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
