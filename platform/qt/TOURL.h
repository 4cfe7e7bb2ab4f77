#pragma once

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

// Shows failureText() to the user. The windows install one that puts up a message
// box; until then the text goes to the error output.
void setFailureNotice(std::function<void(const QString& text)> notice);

// Replaces the desktop's opener (tests use a fake); nullptr restores it. The caller
// keeps ownership.
void setOpener(AddressOpener* opener);

} // namespace TOURL
