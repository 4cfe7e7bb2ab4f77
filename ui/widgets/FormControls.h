#pragma once

#include "forms/WindowDesign.h"

#include <QWidget>
#include <functional>
#include <string_view>
#include <vector>

// A window's controls made from its design table, as the Win32 windows make theirs: one widget per
// row of the kind the row says, named as the row, placed in its frame, with its caption, font,
// colour and start state; the focus chain follows the rows' tab order. What only one window needs
// (accessible names, signals) that window adds.
class FormControls {
public:
    // The widget for a row of a kind only the window knows (the folder list), or null.
    using Maker = std::function<QWidget*(const layout::Control& row, QWidget* parent)>;

    FormControls(QWidget* window, const layout::Window& design, const Maker& make = {});

    // The widget of the row of that name, as the type the window takes it for; a row without one, or
    // of another type, is a fault of the window's own code and ends the program.
    template <typename W> W* get(std::string_view name) const {
        W* widget = qobject_cast<W*>(find(name));
        if (!widget)
            fail(name);
        return widget;
    }

private:
    QWidget* find(std::string_view name) const;
    [[noreturn]] static void fail(std::string_view name);
    QWidget* makeRow(const layout::Control& row, const Maker& custom);
    void place(QWidget* widget, const layout::Control& row) const;
    void chainFocus() const;

    QWidget* m_window;
    const layout::Window& m_design;
    std::vector<QWidget*> m_widgets; // one per row; null for a row with no widget (the timer)
};
