#pragma once

// Stand-ins for the desktop services, recording what the windows ask of them.
#include "platform/qt/AddressOpener.h"
#include "platform/qt/WindowStacking.h"

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

} // namespace windowtest
