#pragma once

class QString;

// Hands a web address or a mailto: link to whatever opens it.
class AddressOpener {
public:
    virtual ~AddressOpener() = default;
    // False when nothing could be started for the address.
    virtual bool open(const QString& address) = 0;
};

// The desktop's default handler (xdg-open and its fallbacks, via Qt's desktop
// services). The address is passed as one argument, never through a shell.
class DesktopAddressOpener : public AddressOpener {
public:
    bool open(const QString& address) override;
};
