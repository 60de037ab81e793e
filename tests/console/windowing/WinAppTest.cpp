// The program's icon as the application hands it to every window: icon 128
// with both of its images, read from the resources compiled into the program.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "console/windowing/qt/QtWindows.h"

namespace {

// The same picture: equal transparency everywhere, equal colour where opaque.
void ExpectSamePicture(const QImage& a, const QImage& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y);
            const QRgb pb = b.pixel(x, y);
            ASSERT_EQ(qAlpha(pa), qAlpha(pb)) << what << " at " << x << "," << y;
            if (qAlpha(pa) == 255) {
                ASSERT_EQ(qRed(pa) << 16 | qGreen(pa) << 8 | qBlue(pa),
                          qRed(pb) << 16 | qGreen(pb) << 8 | qBlue(pb))
                    << what << " at " << x << "," << y;
            }
        }
    }
}

// Both images of the icon, as every window gets them: the right size,
// transparent in the corner where the desktop shows round the disc, opaque in
// the middle, and the same picture as the PNG copy that stands in for the .ico
// and that the desktop menu shows.
TEST(WinApp, TheMainIconHasItsSmallAndLargeImage) {
    const QIcon icon = AfxLoadMainIcon();
    ASSERT_FALSE(icon.isNull()) << "icon 128 is not compiled in";
    const std::pair<int, const char*> images[] = {
        {32, ":/resources/icon128.png"},
        {16, ":/resources/icon128-16.png"},
    };
    for (const auto& [size, pngPath] : images) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;

        const QImage png(QString::fromLatin1(pngPath));
        ASSERT_FALSE(png.isNull()) << pngPath;
        ExpectSamePicture(image, png, pngPath);
    }
}

}  // namespace
