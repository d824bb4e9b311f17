#include "window/main_window.h"

#include <QIcon>
#include <QImage>
#include <gtest/gtest.h>

#include <set>

namespace veltrin::testing {
namespace {

TEST(Assets, WindowIconShowsTheFullColourImages) {
    MainWindow window;
    const QIcon icon = window.windowIcon();
    for (const int size : {24, 32, 48, 64, 256}) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.width(), size);
        // Soft edges exist only in the 32-bit images: the paletted ones are either on or off.
        bool softEdge = false;
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb pixel = image.pixel(x, y);
                softEdge = softEdge || (qAlpha(pixel) > 0 && qAlpha(pixel) < 255);
                colours.insert(pixel);
            }
        }
        EXPECT_TRUE(softEdge) << size;
        EXPECT_GT(colours.size(), 16U) << size;
    }
}

} // namespace
} // namespace veltrin::testing
