#pragma once

#include "platform/ScopedOverride.h"

#include <functional>

class AddressOpener;
class QString;

// Opens web addresses and mail links with the desktop's default handler. Neither
// routine lets a failure reach its caller: when the address cannot be opened the
// failure notice shows the user a message, and the call returns.
namespace TOURL {

void OpenUrl(const QString& url);
// address is bare; "mailto:" is put directly in front of it.
void OpenMail(const QString& address);

// The message shown when an address cannot be opened.
QString failureText();

// Shows failureText() to the user, for as long as it lives; the notice before comes back when it
// ends. The windows install one that puts up a message box; without one the text goes to the
// error output.
using Notice = std::function<void(const QString& text)>;
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
