// The graph window on a screen with two device pixels per logical pixel (QT_SCALE_FACTOR=2,
// set by CTest): twips still map through the logical DPI, and the surface's image is
// allocated at the device pixel ratio, so its lines stay one crisp logical pixel wide.
#include "GraphWindowHost.h"
#include "PictureBox.h"
#include "WindowTestSupport.h"
#include "frmGraph1D.h"

#include <QSet>

namespace veltrane {
namespace {

QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b) & RGB_MASK;
}

class HighDpiGraphWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::runTwoBranchInto(store, "0.3");
        host.show_spectrum();
        window = host.window();
        ASSERT_NE(window, nullptr);
    }

    Module1 store;
    test::FakePrinter printer;
    test::RecordingMessages messages;
    GraphWindowHost host{store, printer, messages};
    frmGraph1D* window = nullptr;
};

TEST_F(HighDpiGraphWindow, KeepsTheLayoutInLogicalPixels) {
    ASSERT_EQ(window->devicePixelRatioF(), 2.0);
    EXPECT_EQ(window->twipsScale().dpi(), 96.0);
    EXPECT_EQ(window->size(), QSize(753, 497));
    EXPECT_EQ(window->picBlackboard().Width(), 8175.0F);
    EXPECT_EQ(window->picBlackboard().Height(), 4935.0F);
}

TEST_F(HighDpiGraphWindow, SurfaceImageHasTwiceTheDevicePixelsAndOnlyPureColours) {
    const QImage image = window->picBlackboard().image();
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    EXPECT_EQ(image.size(), window->picBlackboard().contentsRect().size() * 2);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y) & RGB_MASK);
        }
    }
    // No blended edge pixel anywhere: anti-aliasing is off.
    EXPECT_EQ(colours,
              (QSet<QRgb>{rgb(255, 255, 255), rgb(0, 0, 0), rgb(0, 255, 0), rgb(255, 0, 0)}));
}

TEST_F(HighDpiGraphWindow, BaselineIsTwoDeviceRowsOfBlack) {
    const QImage image = window->picBlackboard().image();
    // 4865 twips is 324.33 logical pixels: device rows 648 and 649.
    int blackRows = 0;
    for (int y = 640; y < image.height(); ++y) {
        int black = 0;
        for (int x = 120; x < 1000; ++x) {
            black += (image.pixel(x, y) & RGB_MASK) == rgb(0, 0, 0) ? 1 : 0;
        }
        blackRows += black > 800 ? 1 : 0;
    }
    EXPECT_EQ(blackRows, 2);
}

} // namespace
} // namespace veltrane
