#include "platform/qt/TOURL.h"

#include "platform/qt/AddressOpener.h"

#include <QString>
#include <QtGlobal>
#include <utility>

namespace TOURL {
namespace {
DesktopAddressOpener g_desktop;
AddressOpener* g_opener = &g_desktop;

void noticeOnErrorOutput(const QString& text) { qWarning("%s", qUtf8Printable(text)); }
std::function<void(const QString&)> g_notice = noticeOnErrorOutput;

void open(const QString& address) {
    if (g_opener->open(address))
        return;
    g_notice(failureText());
}
} // namespace

void OpenUrl(const QString& url) { open(url); }

void OpenMail(const QString& address) { open(QStringLiteral("mailto:") + address); }

QString failureText() {
    return QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。");
}

NoticeOverride::NoticeOverride(std::function<void(const QString& text)> notice)
    : m_previous(std::move(g_notice)) {
    g_notice = notice ? std::move(notice) : std::function<void(const QString&)>(noticeOnErrorOutput);
}

NoticeOverride::~NoticeOverride() { g_notice = std::move(m_previous); }

OpenerOverride::OpenerOverride(AddressOpener& opener) : m_previous(g_opener) { g_opener = &opener; }

OpenerOverride::~OpenerOverride() { g_opener = m_previous; }

} // namespace TOURL
