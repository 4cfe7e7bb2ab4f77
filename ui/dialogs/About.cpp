#include "ui/dialogs/About.h"

#include "StepwickVersion.h"
#include "forms/Wording.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/FormControls.h"
#include "ui/widgets/WindowSetup.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <tuple>
#include <utility>

namespace {

// Lines are written with CR LF; the box keeps one line per CR LF. The break after the last line
// would only add an empty line below it, and with it a scroll bar.
QString blockText(const std::string& text) {
    QString shown = toQString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    return shown;
}

} // namespace

About::About(QWidget* parent)
    : QWidget(parent), m_companyUrl(QString::fromUtf8(stepwick::kCompanyUrl)),
      m_authorUrl(QString::fromUtf8(stepwick::kAuthorUrl)),
      m_authorMail(QString::fromUtf8(stepwick::kAuthorMail)) {
    setUpToolWindow(this, "About", toQString(layout::kAbout.caption));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(clientSize(layout::kAbout));

    const FormControls controls(this, layout::kAbout);
    Command1 = controls.get<QPushButton>("Command1");
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    // Captions keep their design font unless it would not fit the label; then it gives way so that
    // a caption (a link's address above all) is never cut off.
    for (FittedLabel* label : findChildren<FittedLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    auto* roster = controls.get<QPlainTextEdit>("Text1");
    roster->setPlainText(blockText(layout::rosterText()));
    roster->setAccessibleName(toQString(layout::kRosterName));
    auto* contact = controls.get<QPlainTextEdit>("Text2");
    contact->setPlainText(blockText(layout::contactText()));
    contact->setAccessibleName(toQString(layout::kContactName));
    controls.get<QLabel>("Image1")->setAccessibleName(toQString(layout::kPictureName));
    setUpLinks(controls);

    Command1->setFocus(); // first in the tab order, it holds the focus when the window opens
    clickFocusedButtonsOnEnter(this);
    ApiBAS::SetTopMost(this, true);
}

void About::setUpLinks(const FormControls& controls) {
    const std::tuple<FittedLabel**, const char*, const QString*> links[] = {
        {&Label4, "Label4", &m_companyUrl},
        {&Label6, "Label6", &m_authorUrl},
        {&Label7, "Label7", &m_authorMail}};
    for (const auto& [label, name, address] : links) {
        *label = controls.get<FittedLabel>(name);
        (*label)->setText(toQString(layout::kAbout[name].caption) + *address);
        (*label)->setCursor(Qt::PointingHandCursor);
        (*label)->installEventFilter(this);
    }
    // The two lower links stop short of the OK button beside them; the font gives way instead.
    for (const auto& [link, name] : {std::pair{Label6, "Label6"}, std::pair{Label7, "Label7"}})
        link->resize(twipsToPixels(layout::linkWidthBesideOk(layout::kAbout[name])), link->height());
    FittedLabel::fitTogether({Label4, Label6, Label7});
}

About* About::showSingle(QPointer<About>& slot, const QWidget* opener, WindowPlace* place) {
    if (slot.isNull())
        slot = new About();
    bringUp(slot, opener, place);
    return slot;
}

bool About::eventFilter(QObject* watched, QEvent* event) {
    // A click is a left press released over the same link.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        auto* link = qobject_cast<QLabel*>(watched);
        if (me->button() == Qt::LeftButton && link != nullptr &&
            link->rect().contains(me->position().toPoint())) {
            if (link == Label4)
                TOURL::OpenUrl(m_companyUrl);
            else if (link == Label6)
                TOURL::OpenUrl(m_authorUrl);
            else if (link == Label7)
                TOURL::OpenMail(m_authorMail);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
