#include "ui/dialogs/About.h"

#include "StepwickVersion.h"
#include "forms/Wording.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/WindowSetup.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <utility>

namespace {

const layout::Control& design(const char* name) { return layout::kAbout[name]; }

// Captions keep their design font unless it would not fit the label; then it gives way
// so that a caption (a link's address above all) is never cut off.
FittedLabel* label(QWidget* parent, const char* name, const QString& caption = {}) {
    const layout::Control& d = design(name);
    auto* l = new FittedLabel(toQString(d.caption) + caption, toQFont(*d.font), parent);
    l->setObjectName(toQString(d.name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(twips(d.place));
    setTextColour(l, toQColor(*d.colour));
    return l;
}

// A text block that only displays: button-face background, dark green text. It
// still takes the focus by Tab so its text can be selected and copied.
QPlainTextEdit* textBlock(QWidget* parent, const char* name, const std::string& text) {
    const layout::Control& d = design(name);
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(toQString(d.name));
    t->setGeometry(twips(d.place));
    t->setFont(toQFont(*d.font));
    t->document()->setDocumentMargin(0);
    // Lines are written with CR LF; the box keeps one line per CR LF. The break after the
    // last line would only add an empty line below it, and with it a scroll bar.
    QString shown = toQString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    t->setPlainText(shown);
    t->setReadOnly(true);
    t->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    t->setTabChangesFocus(true);
    t->setFocusPolicy(Qt::StrongFocus);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette p = t->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, p.color(group, QPalette::Button));
        p.setColor(group, QPalette::Text, toQColor(*d.colour));
    }
    t->setPalette(p);
    return t;
}

} // namespace

About::About(QWidget* parent)
    : QWidget(parent), m_companyUrl(QString::fromUtf8(stepwick::kCompanyUrl)),
      m_authorUrl(QString::fromUtf8(stepwick::kAuthorUrl)),
      m_authorMail(QString::fromUtf8(stepwick::kAuthorMail)) {
    setUpToolWindow(this, "About", toQString(layout::kAbout.caption));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(clientSize(layout::kAbout));

    Command1 = new QPushButton(toQString(design("Command1").caption), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(design("Command1").place));
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);

    // The heading's design font is larger than its box: the box stays, the font gives way.
    Label1 = label(this, "Label1");
    l2 = label(this, "l2");
    Label2 = label(this, "Label2");
    Label3 = label(this, "Label3");
    Text1 = textBlock(this, "Text1", layout::rosterText());
    Text1->setAccessibleName(toQString(layout::kRosterName));
    Label4 = label(this, "Label4", m_companyUrl);
    Label5 = label(this, "Label5");
    Text2 = textBlock(this, "Text2", layout::contactText());
    Text2->setAccessibleName(toQString(layout::kContactName));
    Label6 = label(this, "Label6", m_authorUrl);
    Label7 = label(this, "Label7", m_authorMail);
    // The two lower links stop short of the OK button beside them; the font gives way instead.
    for (const auto& [link, name] : {std::pair{Label6, "Label6"}, std::pair{Label7, "Label7"}})
        link->resize(twipsToPixels(layout::linkWidthBesideOk(design(name))), link->height());
    Label8 = label(this, "Label8");

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(toQString(layout::kPictureName));
    Image1->setGeometry(twips(design("Image1").place));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/%1.gif").arg(toQString(design("Image1").picture))));

    FittedLabel::fitTogether({Label4, Label6, Label7});
    for (QLabel* l : {Label4, Label6, Label7}) {
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }

    // The controls were created in the layout's order, which is the focus chain.
    // Of them only the button and the two text blocks take the focus; the button,
    // first, holds it when the window opens.
    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Text2);
    Command1->setFocus();
    clickFocusedButtonsOnEnter(this);

    ApiBAS::SetTopMost(this, true);
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
