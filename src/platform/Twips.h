// Lengths in twips, 1440 to the logical inch, converted to and from pixels at a given DPI.
#pragma once

#include <QString>

class QScreen;
class QWidget;

namespace platform {

class Twips {
public:
    static constexpr int perInch = 1440;

    // dpi: logical dots per inch, above 0 (96 on most desktops: 15 twips to the pixel).
    explicit Twips(double dpi);
    // The logical DPI the widget is drawn at (its screen's).
    static Twips of(const QWidget& widget);
    static Twips of(const QScreen& screen);

    double dpi() const { return m_dpi; }
    // Both round to the nearest whole unit, halves away from zero; negative lengths convert
    // symmetrically, because layout arithmetic can go below zero before it is clamped.
    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

    // Width of `text` as the widget would draw it in its current font, in twips.
    static int textWidth(const QWidget& widget, const QString& text);

private:
    double m_dpi;
};

} // namespace platform
