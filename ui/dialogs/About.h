#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class FittedLabel;
class FormControls;
struct WindowPlace;
class QPushButton;

// The About window: product, company and author, two text blocks, a picture, three
// links and OK. A fixed-size tool window without owner; it puts itself on top of the
// other windows once, when it is created, and is destroyed when closed.
class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    // The process keeps at most one About window: `slot` holds it. Creates the window
    // when the slot is empty (or its window was closed), otherwise shows and raises
    // the existing one without loading it again. The first time beside opener, or where place
    // says the last one was closed.
    static About* showSingle(QPointer<About>& slot, const QWidget* opener = nullptr,
                             WindowPlace* place = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpLinks(const FormControls& controls);

    QPushButton* Command1 = nullptr;
    FittedLabel* Label4 = nullptr;
    FittedLabel* Label6 = nullptr;
    FittedLabel* Label7 = nullptr;

    // Each link opens its own copy of the address its caption shows.
    const QString m_companyUrl;
    const QString m_authorUrl;
    const QString m_authorMail;
};
