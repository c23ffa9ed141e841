// The pictures of the main window: the command and status images and the two
// new-mail images of the notification-area icon. All of them are drawn here
// with QPainter, so the program carries no image files, and each is rendered
// at several device-pixel ratios so it stays crisp on high-density screens.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QVector>

/// Which set of pictures an image list holds.
enum class TKivImageSet {
    /// The 27 command and status images; 0 to 11 are the status images.
    Small,
    /// The two images of the new-mail animation.
    NewMail,
};

/// Draws one picture of a set at a device-pixel ratio: a 16 x 16 image made of
/// 16 * ratio device pixels a side, carrying that ratio. An index outside the
/// set gives a transparent image.
QPixmap RenderKivImage(TKivImageSet set, int index, qreal devicePixelRatio);

/// An image list: one icon per index, each holding its picture rendered at
/// every supported device-pixel ratio.
class TKivImageList {
public:
    /// The device-pixel ratios every picture is rendered at.
    static const QVector<qreal> &Ratios();

    explicit TKivImageList(TKivImageSet set);

    /// Number of images in the list.
    int Count() const { return FIcons.size(); }
    /// The icon at an index; a null icon outside the list.
    QIcon Icon(int index) const;
    /// Logical size of every image.
    static QSize ImageSize() { return {16, 16}; }

private:
    QVector<QIcon> FIcons;
};
