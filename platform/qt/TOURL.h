#pragma once

#include "platform/ScopedOverride.h"

#include <functional>

class AddressOpener;
class QString;

// Opens web addresses and mail links with the desktop's default handler. Neither
// routine lets a failure reach its caller: when the address cannot be opened the
// failure notice is told, and the call returns.
namespace TOURL {

void OpenUrl(const QString& url);
// address is bare; "mailto:" is put directly in front of it.
void OpenMail(const QString& address);

// Told the address that could not be opened, for as long as it lives; the notice before comes back
// when it ends. The windows install one that tells the user in their own words; without one the
// address goes to the error output.
using Notice = std::function<void(const QString& address)>;
class NoticeOverride : public platform::ScopedOverride<Notice> {
public:
    explicit NoticeOverride(Notice notice);
};

// Puts another opener in place of the desktop's (tests use a fake) for as long as it lives.
// The caller keeps ownership.
class OpenerOverride : public platform::ScopedOverride<AddressOpener*> {
public:
    explicit OpenerOverride(AddressOpener& opener);
};

} // namespace TOURL
