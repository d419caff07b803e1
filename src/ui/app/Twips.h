#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// The windows keep the original's layout in twips. A twip becomes pixels at the scale of the
// running font: 15 twips to the pixel with the 8-point MS Sans Serif the layout was drawn for,
// proportionally more with a wider or taller font (the screen's dots per inch are already part of
// the font's metrics).
namespace twips {

// Pixels per twip for the application's current font.
double scale();
// A length in twips, in pixels.
int px(int twips);
// A rectangle given in twips, in pixels.
QRect rect(int x, int y, int width, int height);

// Makes a window fit the available area of its screen: a fixed-size window larger than that area
// shows its controls in a scrolling area instead, a resizable one is made smaller. A window with a
// parent opens centred on the parent's window, one without on its screen.
void fitToScreen(QWidget *window);

// The size a window may take on its screen, leaving room for the frame the window manager adds.
QSize roomOnScreen(const QWidget *window);

// Takes `pixels` off the height of `stretch` and moves up the controls of its parent that stand
// below it, for a window that must give back height to fit its screen.
void shrinkHeight(QWidget *stretch, int pixels);

} // namespace twips
