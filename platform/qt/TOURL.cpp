#include "platform/qt/TOURL.h"

#include "platform/qt/AddressOpener.h"

#include <QString>
#include <QtGlobal>
#include <utility>

namespace TOURL {
namespace {
DesktopAddressOpener g_desktop;
AddressOpener* g_opener = &g_desktop;

void noticeOnErrorOutput(const QString& address) { qWarning("cannot open %s", qUtf8Printable(address)); }
Notice g_notice = noticeOnErrorOutput;

void open(const QString& address) {
    if (g_opener->open(address))
        return;
    g_notice(address);
}
} // namespace

void OpenUrl(const QString& url) { open(url); }

void OpenMail(const QString& address) { open(QStringLiteral("mailto:") + address); }

NoticeOverride::NoticeOverride(Notice notice)
    : ScopedOverride(g_notice, notice ? std::move(notice) : Notice(noticeOnErrorOutput)) {}

OpenerOverride::OpenerOverride(AddressOpener& opener) : ScopedOverride(g_opener, &opener) {}

} // namespace TOURL
