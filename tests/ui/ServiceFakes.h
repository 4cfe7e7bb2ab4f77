#pragma once

// Stand-ins for the desktop services, recording what the windows ask of them.
#include "platform/qt/AddressOpener.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "platform/qt/WindowStacking.h"
#include "ui/dialogs/MessageBox.h"

#include <QList>
#include <QPair>
#include <QStringList>

class QWidget;

namespace windowtest {

class RecordingStacking : public WindowStacking {
public:
    void setTopMost(QWidget* window, bool onTop) override { calls.append({window, onTop}); }
    QList<QPair<QWidget*, bool>> calls;
};

class RecordingOpener : public AddressOpener {
public:
    bool open(const QString& address) override {
        opened << address;
        return succeed;
    }
    QStringList opened;
    bool succeed = true;
};

inline QString box(const QString& title, MessageBox::Icon icon, const QString& text) {
    return QStringLiteral("%1|%2|%3").arg(title).arg(int(icon)).arg(text);
}

// The one message box recorded since the last call, as box() spells it.
inline QString oneBox() {
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    return shown.size() == 1 ? box(shown[0].title, shown[0].icon, shown[0].text)
                             : QStringLiteral("%1 boxes").arg(shown.size());
}

// Both stand-ins in place of the real services, and message boxes recorded, while it lives.
struct FakeServices {
    RecordingStacking stacking;
    RecordingOpener opener;
    ApiBAS::StackingOverride stackingOverride{stacking};
    TOURL::OpenerOverride openerOverride{opener};
    MessageBox::Recording boxes;

    // Empties the records and lets the opener succeed again.
    void reset() {
        stacking.calls.clear();
        opener.opened.clear();
        opener.succeed = true;
        MessageBox::takeShown();
    }
};

} // namespace windowtest
