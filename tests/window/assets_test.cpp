#include "window/frm_main.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>

#include <set>

namespace veltrin::testing {
namespace {

struct IconEntry {
    int size;
    int bits;
    bool png;
    bool operator==(const IconEntry&) const = default;
};

TEST(Assets, IconHoldsTheElevenImages) {
    QFile file(QStringLiteral(":/veltrin/veltrin.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(ico.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(ico.constData() + at); };
    ASSERT_GE(ico.size(), 6);
    ASSERT_EQ(u16(2), 1) << "an icon, not a cursor";
    std::vector<IconEntry> entries;
    for (int i = 0; i < u16(4); ++i) {
        const qsizetype at = 6 + 16 * i;
        const int width = static_cast<unsigned char>(ico[at]) == 0 ? 256 : static_cast<unsigned char>(ico[at]);
        const qsizetype offset = u32(at + 12);
        ASSERT_LE(offset + u32(at + 8), ico.size());
        const bool png = ico.mid(offset, 4) == QByteArray("\x89PNG", 4);
        // A bitmap image's own header tells its depth; the directory's word may be left at 0.
        const int bits = png ? 32 : u16(offset + 14);
        entries.push_back({width, bits, png});
    }
    const std::vector<IconEntry> expected{{32, 4, false}, {24, 4, false}, {64, 8, false}, {48, 8, false},
                                          {32, 8, false}, {24, 8, false}, {256, 32, true}, {64, 32, false},
                                          {48, 32, false}, {32, 32, false}, {24, 32, false}};
    EXPECT_EQ(entries, expected);
}

TEST(Assets, WindowIconShowsTheFullColourImages) {
    frmMain window;
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
