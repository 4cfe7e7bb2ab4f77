#pragma once

#include "platform/ScopedOverride.h"

#include <functional>
#include <string>
#include <string_view>

// Opens web addresses and mail links with the system's handler for them. Neither routine lets a
// failure reach its caller: when the address cannot be opened the notice is told, and the call
// returns.
namespace TOURL {

void OpenUrl(std::wstring_view url);
// address is bare; "mailto:" is put directly in front of it.
void OpenMail(std::wstring_view address);

// What opens an address; the system's by default. Returns false when it could not.
class AddressOpener {
public:
    virtual ~AddressOpener() = default;
    virtual bool open(std::wstring_view address) = 0;
};

// Puts another opener in place of the system's (tests record the addresses instead) for as long
// as it lives. The caller keeps ownership.
class OpenerOverride : public platform::ScopedOverride<AddressOpener*> {
public:
    explicit OpenerOverride(AddressOpener& opener);
};

// Told the address that could not be opened; the windows install one that tells the user in their
// own words, without one it goes to the debugger's output. Another notice takes its place for as
// long as the override lives.
using Notice = std::function<void(std::wstring_view address)>;
class NoticeOverride : public platform::ScopedOverride<Notice> {
public:
    explicit NoticeOverride(Notice replacement);
};

} // namespace TOURL
