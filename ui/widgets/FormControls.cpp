#include "ui/widgets/FormControls.h"

#include "ui/widgets/CodeTextBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/PictureButton.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <algorithm>
#include <string>

namespace {

using layout::Kind;

QPixmap pictureOf(const layout::Control& row) {
    return QPixmap(QStringLiteral(":/pictures/%1.gif").arg(toQString(row.picture)));
}

QPlainTextEdit* scrolledBothWays(QPlainTextEdit* box) {
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

QPlainTextEdit* logBox(QWidget* parent) {
    auto* box = scrolledBothWays(new QPlainTextEdit(parent));
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    return box;
}

QPlainTextEdit* codeBox(const layout::Control& row, QWidget* parent) {
    auto* box = new CodeTextBox(parent);
    box->setCode(toQString(row.caption));
    return scrolledBothWays(box);
}

// Only displays, on the button face; it still takes the focus by Tab so its text can be selected
// and copied, and its lines wrap at its width.
QPlainTextEdit* textBlock(const layout::Control& row, QWidget* parent) {
    auto* block = new QPlainTextEdit(parent);
    block->document()->setDocumentMargin(0);
    block->setReadOnly(true);
    block->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    block->setTabChangesFocus(true);
    block->setFocusPolicy(Qt::StrongFocus);
    block->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    block->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    block->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette p = block->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, p.color(group, QPalette::Button));
        if (row.colour)
            p.setColor(group, QPalette::Text, toQColor(*row.colour));
    }
    block->setPalette(p);
    return block;
}

template <typename Button> Button* ticked(Button* button, const layout::Control& row) {
    button->setChecked(row.on);
    return button;
}

QLabel* image(const layout::Control& row, QWidget* parent) {
    auto* picture = new QLabel(parent);
    picture->setPixmap(pictureOf(row));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return picture;
}

QFrame* line(QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setLineWidth(1);
    return rule;
}

// Captions that keep their design font only while it fits: headings and links.
bool fitted(const layout::Control& row) {
    return (row.kind == Kind::Label && row.font) || row.kind == Kind::Link;
}

QWidget* widgetOf(const layout::Control& row, QWidget* parent) {
    const QString caption = toQString(row.caption);
    switch (row.kind) {
    case Kind::Label:
    case Kind::Link:
        return fitted(row) ? new FittedLabel(caption, toQFont(*row.font), parent)
                           : new QLabel(caption, parent);
    case Kind::TextBox:
        return new QLineEdit(caption, parent);
    case Kind::LogBox:
        return logBox(parent);
    case Kind::CodeBox:
        return codeBox(row, parent);
    case Kind::TextBlock:
        return textBlock(row, parent);
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::Button:
        return new QPushButton(caption, parent);
    case Kind::PictureButton:
        return new PictureButton(caption, pictureOf(row), parent);
    case Kind::Option:
        return ticked(new QRadioButton(caption, parent), row);
    case Kind::CheckBox:
        return ticked(new QCheckBox(caption, parent), row);
    case Kind::Image:
        return image(row, parent);
    case Kind::Line:
        return line(parent);
    case Kind::DriveList:
        return new QComboBox(parent);
    case Kind::FileList:
        return new QListWidget(parent);
    case Kind::DirList:
    case Kind::Timer:
        break;
    }
    return nullptr;
}

} // namespace

FormControls::FormControls(QWidget* window, const layout::Window& design, const Maker& make)
    : m_window(window), m_design(design) {
    for (const layout::Control& row : design.controls)
        m_widgets.push_back(makeRow(row, make));
    chainFocus();
}

QWidget* FormControls::makeRow(const layout::Control& row, const Maker& custom) {
    QWidget* parent = row.frame.empty() ? m_window : find(row.frame);
    if (!parent)
        fail(row.frame); // a frame's row comes before the rows of what stands in it
    QWidget* widget = custom ? custom(row, parent) : nullptr;
    if (!widget)
        widget = widgetOf(row, parent);
    if (widget)
        place(widget, row);
    return widget;
}

// A row that names no font takes the window's, even inside a frame with a font of its own; a
// fitted caption sets its own size.
void FormControls::place(QWidget* widget, const layout::Control& row) const {
    widget->setObjectName(toQString(row.name));
    QRect where = twips(row.place);
    if (row.kind == Kind::Line)
        where.setHeight(1);
    widget->setGeometry(where);
    const std::optional<layout::Font> font = row.font ? row.font : m_design.font;
    if (font && !fitted(row) && row.kind != Kind::Line)
        widget->setFont(toQFont(*font));
    if (row.colour && row.kind != Kind::TextBlock)
        setTextColour(widget, toQColor(*row.colour));
    if (!row.tip.empty())
        widget->setToolTip(toQString(row.tip));
}

void FormControls::chainFocus() const {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < m_widgets.size(); ++i)
        if (m_widgets[i] && m_design.controls[i].tabIndex != layout::kNoTab &&
            (m_widgets[i]->focusPolicy() & Qt::TabFocus))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return m_design.controls[a].tabIndex < m_design.controls[b].tabIndex;
    });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(m_widgets[order[i - 1]], m_widgets[order[i]]);
}

QWidget* FormControls::find(std::string_view name) const {
    for (std::size_t i = 0; i < m_widgets.size(); ++i)
        if (m_design.controls[i].name == name)
            return m_widgets[i];
    return nullptr;
}

void FormControls::fail(std::string_view name) {
    qFatal("the design has no control %s of that kind", std::string(name).c_str());
}
