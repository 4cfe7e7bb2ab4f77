#include "ui/dialogs/About.h"

#include "StepwickVersion.h"
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

namespace {

// From the links' left edge to a few pixels before the OK button.
constexpr int kLinkRoomBesideOk = 4920 - 90 - 1680;

QFont designFont(const QString& family, qreal points, bool bold = false, bool underline = false) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

// Captions keep their design font unless it would not fit the label; then it gives way
// so that a caption (a link's address above all) is never cut off.
FittedLabel* label(QWidget* parent, const char* name, const QString& caption, const QRect& place,
                   const QFont& f, const QColor& colour) {
    auto* l = new FittedLabel(caption, f, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(place);
    setTextColour(l, colour);
    return l;
}

// A text block that only displays: button-face background, dark green text. It
// still takes the focus by Tab so its text can be selected and copied.
QPlainTextEdit* textBlock(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(QLatin1String(name));
    t->setGeometry(place);
    // The window font of the desktop this layout was drawn for: with it the boxes hold
    // all their lines, so they need no scroll bars.
    t->setFont(designFont(QStringLiteral("宋体"), 9));
    t->document()->setDocumentMargin(0);
    // Lines are written with CR LF; the box keeps one line per CR LF. The break after the
    // last line would only add an empty line below it, and with it a scroll bar.
    QString shown = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
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
        p.setColor(group, QPalette::Text, kDarkGreen);
    }
    t->setPalette(p);
    return t;
}

QString rosterText() {
    return QStringLiteral("Morlend 高层名单：\r\n"
                          "董事长：张三 副董事长：李四、王五\r\n"
                          "总经理：赵六 副总经理：孙七\r\n");
}

QString contactText() {
    return QStringLiteral("Harnel\r\n"
                          "MSN:harnel@msn.example\r\n"
                          "QQ:00000000\r\n"
                          "欢迎来我的主页和我一起交流经验！如果你对软件的源代码感兴趣，也可以找我的。\r\n");
}

} // namespace

About::About(QWidget* parent)
    : QWidget(parent), m_companyUrl(QString::fromUtf8(stepwick::kCompanyUrl)),
      m_authorUrl(QString::fromUtf8(stepwick::kAuthorUrl)),
      m_authorMail(QString::fromUtf8(stepwick::kAuthorMail)) {
    setUpToolWindow(this, "About", QStringLiteral("关于本软件 & Morlend Inc."));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsSize(5910, 4920));

    const QString song = QStringLiteral("宋体");
    const QString arial = QStringLiteral("Arial");

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(4920, 4440, 855, 375));
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);

    // The heading's design font is larger than its box: the box stays, the font gives way.
    Label1 = label(this, "Label1", QStringLiteral("Stepwick!"), twips(1560, 240, 2535, 975),
                   designFont(arial, 42, true), kDarkGreen);
    l2 = label(this, "l2", QStringLiteral("把文本添加到一堆文件中去"), twips(2160, 1080, 2895, 255),
               designFont(song, 12), kDarkGreen);
    Label2 = label(this, "Label2", QStringLiteral("Morlend Inc."), twips(1320, 120, 2775, 375),
                   designFont(arial, 12), kDarkGreen);
    Label3 = label(this, "Label3", QStringLiteral("关于Morlend Inc."), twips(360, 1440, 5055, 375),
                   designFont(arial, 12), kDarkGreen);
    Text1 = textBlock(this, "Text1", rosterText(), twips(720, 1920, 4815, 615));
    Text1->setAccessibleName(QStringLiteral("Morlend 高层名单"));

    const QFont link = designFont(song, 9, false, true);
    Label4 = label(this, "Label4", QStringLiteral("Morlend 官方主页： ") + m_companyUrl,
                   twips(1080, 2640, 3495, 255), link, kBlue);
    Label5 = label(this, "Label5", QStringLiteral("关于Harnel."), twips(360, 3000, 5055, 375),
                   designFont(arial, 12), kDarkGreen);
    Text2 = textBlock(this, "Text2", contactText(), twips(1680, 3240, 3615, 975));
    Text2->setAccessibleName(QStringLiteral("Harnel 联系方式"));
    // The two lower links stop short of the OK button beside them; the font gives way instead.
    Label6 = label(this, "Label6", QStringLiteral("Harnel主页： ") + m_authorUrl,
                   twips(1680, 4320, kLinkRoomBesideOk, 255), link, kBlue);
    Label7 = label(this, "Label7", QStringLiteral("给我写信： ") + m_authorMail,
                   twips(1680, 4560, kLinkRoomBesideOk, 255), link, kBlue);
    Label8 = label(this, "Label8", QStringLiteral("Second Version"), twips(3720, 1320, 1455, 255),
                   designFont(arial, 9), kGrey);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("Harnel 的图片"));
    Image1->setGeometry(twips(240, 3360, 1290, 1350));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/about.gif")));

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
