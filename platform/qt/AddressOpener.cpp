#include "platform/qt/AddressOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

bool DesktopAddressOpener::open(const QString& address) {
    // Strict parsing: a malformed address is reported as not opened rather than
    // guessed at. Only the schemes the program hands out are accepted.
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
        scheme != QLatin1String("mailto"))
        return false;
    return QDesktopServices::openUrl(url);
}
