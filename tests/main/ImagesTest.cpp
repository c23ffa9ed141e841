// The drawn pictures: present at every ratio, crisp, and the status pictures
// told apart by colour and by shape at their smallest size.
#include "gui/KivImages.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QImage Rendered(TKivImageSet set, int index, qreal ratio)
{
    return RenderKivImage(set, index, ratio).toImage().convertToFormat(QImage::Format_ARGB32);
}

int OpaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 127)
                ++count;
    return count;
}

// Average colour of the picture, weighted by coverage.
std::array<double, 3> MeanColour(const QImage &image)
{
    double r = 0, g = 0, b = 0, weight = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            const double a = c.alphaF();
            r += c.red() * a;
            g += c.green() * a;
            b += c.blue() * a;
            weight += a;
        }
    return {r / weight, g / weight, b / weight};
}

int ShapeDifference(const QImage &a, const QImage &b)
{
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((qAlpha(a.pixel(x, y)) > 127) != (qAlpha(b.pixel(x, y)) > 127))
                ++differ;
    return differ;
}

} // namespace

TEST(KivImages, ListsHoldEveryPictureAtEveryRatio)
{
    const TKivImageList small(TKivImageSet::Small);
    const TKivImageList newMail(TKivImageSet::NewMail);
    ASSERT_EQ(small.Count(), 27);
    ASSERT_EQ(newMail.Count(), 2);
    EXPECT_TRUE(small.Icon(27).isNull());
    EXPECT_EQ(OpaquePixels(Rendered(TKivImageSet::NewMail, 2, 2.0)), 0);
    EXPECT_NE(Rendered(TKivImageSet::NewMail, 0, 1.0), Rendered(TKivImageSet::NewMail, 1, 1.0));

    for (const auto &[set, list] :
         {std::pair{TKivImageSet::Small, &small}, std::pair{TKivImageSet::NewMail, &newMail}}) {
        for (int i = 0; i < list->Count(); ++i) {
            for (qreal ratio : TKivImageList::Ratios()) {
                // The icon hands out the picture drawn for that ratio, not a rescaled one.
                const QPixmap fromIcon = list->Icon(i).pixmap(QSize(16, 16), ratio);
                const int side = qRound(16 * ratio);
                EXPECT_EQ(fromIcon.size(), QSize(side, side)) << "image " << i << " at " << ratio;
                EXPECT_DOUBLE_EQ(fromIcon.devicePixelRatio(), ratio);
                const QImage drawn = Rendered(set, i, ratio);
                EXPECT_EQ(fromIcon.toImage().convertToFormat(QImage::Format_ARGB32), drawn)
                    << "image " << i << " at " << ratio;
                // Something is drawn, and not just a filled square.
                const int opaque = OpaquePixels(drawn);
                EXPECT_GT(opaque, side * side / 10) << "image " << i;
                EXPECT_LT(opaque, side * side) << "image " << i;
            }
            // The dense picture is drawn anew, not the plain one enlarged.
            EXPECT_NE(Rendered(set, i, 2.0), Rendered(set, i, 1.0).scaled(32, 32)) << "image " << i;
        }
    }
}

TEST(KivImages, StatusPicturesDifferInColourAndShape)
{
    std::vector<QImage> status;
    for (int i = 0; i <= 11; ++i)
        status.push_back(Rendered(TKivImageSet::Small, i, 1.0));

    for (size_t a = 0; a < status.size(); ++a)
        for (size_t b = a + 1; b < status.size(); ++b) {
            const auto ca = MeanColour(status[a]);
            const auto cb = MeanColour(status[b]);
            const double distance = std::hypot(ca[0] - cb[0], ca[1] - cb[1], ca[2] - cb[2]);
            EXPECT_GT(distance, 40.0) << "colours of " << a << " and " << b;
            // A tenth of the square at least, so the outline alone tells them apart.
            EXPECT_GE(ShapeDifference(status[a], status[b]), 26) << "shapes of " << a << " and " << b;
        }
}
