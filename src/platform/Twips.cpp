// Lengths in twips, 1440 to the logical inch, converted to and from pixels at a given DPI.
#include "platform/Twips.h"

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <stdexcept>

namespace platform {

Twips::Twips(double dpi) : m_dpi(dpi) {
    if (!(dpi > 0)) throw std::invalid_argument("Twips: the DPI must be above 0");
}

Twips Twips::of(const QWidget& widget) {
    return Twips(widget.logicalDpiX());
}

Twips Twips::of(const QScreen& screen) {
    return Twips(screen.logicalDotsPerInchX());
}

int Twips::twipsToPixels(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpi / perInch));
}

int Twips::pixelsToTwips(int pixels) const {
    return static_cast<int>(std::lround(pixels * perInch / m_dpi));
}

int Twips::textWidth(const QWidget& widget, const QString& text) {
    return of(widget).pixelsToTwips(widget.fontMetrics().horizontalAdvance(text));
}

} // namespace platform
