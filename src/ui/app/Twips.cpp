#include "ui/app/Twips.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>
#include <cmath>

namespace twips {

namespace {

// 8-point MS Sans Serif at 96 dots per inch: the mean advance of the alphabet and the line height.
constexpr double designCharWidth = 5.75;
constexpr double designLineHeight = 13.0;
constexpr double twipsPerPixel = 15.0;

QScreen *screenOf(const QWidget *window)
{
    if (const QWidget *parent = window->parentWidget())
        if (QScreen *screen = parent->window()->screen()) return screen;
    if (QScreen *screen = window->screen()) return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace

double scale()
{
    const QFontMetricsF metrics(QApplication::font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double width = metrics.horizontalAdvance(alphabet) / alphabet.size() / designCharWidth;
    const double height = metrics.height() / designLineHeight;
    // Never smaller than the original: its controls were sized for its own texts.
    return std::max({1.0, width, height}) / twipsPerPixel;
}

int px(int twips)
{
    return static_cast<int>(std::lround(twips * scale()));
}

QRect rect(int x, int y, int width, int height)
{
    const double s = scale();
    const auto p = [s](int v) { return static_cast<int>(std::lround(v * s)); };
    // Right and bottom edges rounded on their own, so that adjacent controls stay adjacent.
    const int left = p(x);
    const int top = p(y);
    return QRect(left, top, p(x + width) - left, p(y + height) - top);
}

QSize roomOnScreen(const QWidget *window)
{
    QScreen *screen = screenOf(window);
    if (!screen) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // Room for the frame the window manager adds (a frameless window keeps a small margin).
    const QSize frame = window->windowFlags().testFlag(Qt::FramelessWindowHint) ? QSize(4, 4) : QSize(16, 40);
    return screen->availableGeometry().size() - frame;
}

void shrinkHeight(QWidget *stretch, int pixels)
{
    if (pixels <= 0) return;
    const int bottom = stretch->geometry().bottom();
    if (QWidget *parent = stretch->parentWidget()) {
        const QList<QWidget *> siblings = parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *sibling : siblings)
            if (sibling != stretch && !sibling->isWindow() && sibling->y() > bottom)
                sibling->move(sibling->x(), sibling->y() - pixels);
    }
    stretch->resize(stretch->width(), std::max(0, stretch->height() - pixels));
}

void fitToScreen(QWidget *window)
{
    QScreen *screen = screenOf(window);
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QSize room = roomOnScreen(window);
    const QSize designed = window->size();
    if (designed.width() > room.width() || designed.height() > room.height()) {
        const QSize fitted = designed.boundedTo(room);
        const bool fixed = window->minimumSize() == window->maximumSize();
        if (fixed && !window->layout()) {
            // The controls keep their places on a canvas of the designed size that scrolls.
            auto *canvas = new QWidget;
            canvas->setObjectName(QStringLiteral("twipsCanvas"));
            canvas->setFixedSize(designed);
            const QList<QWidget *> children = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
            for (QWidget *child : children) {
                if (child->isWindow()) continue;
                const QRect geometry = child->geometry();
                const bool hidden = child->isHidden();
                child->setParent(canvas);
                child->setGeometry(geometry);
                child->setHidden(hidden);
            }
            auto *area = new QScrollArea(window);
            area->setObjectName(QStringLiteral("twipsScrollArea"));
            area->setFrameShape(QFrame::NoFrame);
            area->setWidget(canvas);
            window->setFixedSize(fitted);
            area->setGeometry(window->rect());
        } else {
            window->resize(fitted);
        }
    }
    QRect frame(QPoint(), window->size());
    const QWidget *parent = window->parentWidget();
    frame.moveCenter(parent ? parent->window()->geometry().center() : available.center());
    // Kept on the screen even when the parent is near its edge.
    frame.moveLeft(std::clamp(frame.left(), available.left(),
                              std::max(available.left(), available.right() - frame.width())));
    frame.moveTop(std::clamp(frame.top(), available.top(),
                             std::max(available.top(), available.bottom() - frame.height())));
    window->move(frame.topLeft());
}

} // namespace twips
