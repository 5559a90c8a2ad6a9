// Twips at 1440 to the logical inch, at the DPI values desktops use.
#include "platform/Twips.h"

#include "support/Qt.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

using platform::Twips;

TEST(Twips, ConvertsAtTheGivenDpi) {
    const Twips standard(96); // 15 twips to the pixel
    EXPECT_EQ(standard.twipsToPixels(1440), 96);
    EXPECT_EQ(standard.twipsToPixels(15), 1);
    EXPECT_EQ(standard.twipsToPixels(7), 0); // 0.47 px
    EXPECT_EQ(standard.twipsToPixels(8), 1); // 0.53 px
    EXPECT_EQ(standard.twipsToPixels(-1000), -67);
    EXPECT_EQ(standard.pixelsToTwips(640), 9600);
    EXPECT_EQ(standard.pixelsToTwips(-2), -30);

    const Twips large(144);                    // 10 twips to the pixel
    EXPECT_EQ(large.twipsToPixels(2355), 236); // 235.5 rounds up
    EXPECT_EQ(large.pixelsToTwips(1), 10);

    const Twips odd(120);               // 12 twips to the pixel
    EXPECT_EQ(odd.twipsToPixels(6), 1); // halves away from zero
    EXPECT_EQ(odd.twipsToPixels(-6), -1);
    EXPECT_EQ(odd.twipsToPixels(5), 0);

    const Twips fractional(109.22); // a monitor's own DPI, not a multiple of anything
    EXPECT_EQ(fractional.twipsToPixels(1440), 109);
    EXPECT_EQ(fractional.pixelsToTwips(109), 1437);

    // A round trip stays within one pixel's worth of twips.
    for (int twips = 0; twips < 20000; twips += 37)
        EXPECT_LE(std::abs(standard.pixelsToTwips(standard.twipsToPixels(twips)) - twips), 7) << twips;

    EXPECT_THROW(Twips(0), std::invalid_argument);
}

TEST(Twips, FollowsTheWidgetsDpiAndMeasuresText) {
    static int argc = 1;
    static char name[] = "platform_TwipsTest";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    const Twips twips = Twips::of(window);
    EXPECT_EQ(twips.dpi(), window.logicalDpiX());
    const int pixels = window.fontMetrics().horizontalAdvance("Lenght of 'NAME' (in character):");
    ASSERT_GT(pixels, 0);
    EXPECT_EQ(Twips::textWidth(window, "Lenght of 'NAME' (in character):"), twips.pixelsToTwips(pixels));
    EXPECT_LT(Twips::textWidth(window, "i"), Twips::textWidth(window, "iiiiiiiiii"));
}
