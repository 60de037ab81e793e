// Turns a dialog layout into Qt widgets: one widget per control, placed at the
// layout's position converted from dialog units with the page font's base
// units, carrying its control ID, each with its CWnd, radio buttons joined into exclusive groups.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <vector>

#include "console/windowing/DlgItem.h"
#include "resources/DialogTemplate.h"

class QWidget;

class CDialogBuilder {
public:
    // The layouts ask for "Fixedsys" at 12 points: an 8 x 16 pixel cell font.
    // Its stand-in is the monospaced WenQuanYi Micro Hei at 14 pixels: Latin
    // letters 8 pixels wide, so the base units stay 8 x 16 and the layouts
    // keep their proportions, and Chinese characters 14 pixels wide, so every
    // text fits the width its layout gives it.
    static QFont DialogFont(const DlgTemplate& tpl);
    // Dialog base units of a font in pixels: average letter width, height.
    static QSize BaseUnits(const QFont& font);
    // x * width / 4 and y * height / 8, rounded to the nearest pixel.
    static QRect MapDialogRect(const QSize& base, int x, int y, int cx, int cy);
    static QSize PageSize(const DlgTemplate& tpl);

    // Builds the controls of tpl as children of page, which gets the
    // layout's font and size. The list follows the layout's order.
    static std::vector<DlgItem> Build(const DlgTemplate& tpl, QWidget* page);
};
