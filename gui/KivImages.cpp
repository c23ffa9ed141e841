#include "gui/KivImages.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <QtMath>

#include <array>
#include <functional>

namespace {

// Every picture is drawn in a 16 x 16 logical square; the painter is scaled to
// the device pixels of the ratio being rendered, so nothing is ever resampled.
constexpr int SmallCount = 27;
constexpr int NewMailCount = 2;

const QColor Outline(40, 40, 40);

// The status pictures (0 to 11) each have a colour and a silhouette of their
// own, so that they can be told apart at 16 x 16 even by someone who cannot
// tell some of the colours apart.
const QColor Orange(225, 105, 15);
const QColor Green(40, 160, 60);
const QColor Gold(250, 215, 40);
const QColor Red(210, 30, 30);
const QColor Brown(140, 90, 45);
const QColor Purple(125, 60, 152);
const QColor Cyan(0, 170, 200);
const QColor Blue(30, 80, 200);
const QColor DarkGrey(60, 60, 60);
const QColor Magenta(220, 50, 160);
const QColor Lime(150, 200, 30);
const QColor LightGrey(170, 170, 170);

QPen OutlinePen(const QColor &fill, qreal width = 1.0)
{
    QPen pen(fill.darker(170), width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void Fill(QPainter &p, const QPainterPath &path, const QColor &colour)
{
    p.setPen(OutlinePen(colour));
    p.setBrush(colour);
    p.drawPath(path);
}

void Stroke(QPainter &p, const QPainterPath &path, const QColor &colour, qreal width)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

QPainterPath Polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QVector<QPointF>(points)));
    path.closeSubpath();
    return path;
}

QPainterPath Ellipse(qreal x, qreal y, qreal w, qreal h)
{
    QPainterPath path;
    path.addEllipse(QRectF(x, y, w, h));
    return path;
}

QPainterPath RoundRect(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath Star(QPointF centre, qreal outer, qreal inner, int points)
{
    QPainterPath path;
    for (int i = 0; i < points * 2; ++i) {
        const qreal radius = (i % 2 == 0) ? outer : inner;
        const qreal angle = -M_PI / 2 + i * M_PI / points;
        const QPointF point(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

// An envelope seen from the front, with its flap drawn as a V.
void Envelope(QPainter &p, const QRectF &r, const QColor &paper)
{
    Fill(p, RoundRect(r.x(), r.y(), r.width(), r.height(), 1.0), paper);
    QPainterPath flap;
    flap.moveTo(r.left() + 0.8, r.top() + 0.8);
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.58);
    flap.lineTo(r.right() - 0.8, r.top() + 0.8);
    Stroke(p, flap, paper.darker(200), 1.0);
}

void ArrowHead(QPainter &p, QPointF tip, qreal angleDegrees, qreal size, const QColor &colour)
{
    const qreal a = qDegreesToRadians(angleDegrees);
    const QPointF back(tip.x() - size * std::cos(a), tip.y() - size * std::sin(a));
    const QPointF side(-std::sin(a) * size * 0.6, std::cos(a) * size * 0.6);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({tip, back + side, back - side}));
}

// ---- status pictures -------------------------------------------------------

void AtLunch(QPainter &p) // a cup on a saucer, with steam
{
    QPainterPath handle;
    handle.addEllipse(QRectF(9.0, 6.5, 5.0, 4.5));
    Stroke(p, handle, Orange.darker(130), 1.6);
    Fill(p, RoundRect(2.0, 5.0, 9.0, 8.0, 2.0), Orange);
    QPainterPath saucer;
    saucer.moveTo(1.0, 14.5);
    saucer.lineTo(13.0, 14.5);
    Stroke(p, saucer, Orange.darker(170), 1.4);
    QPainterPath steam;
    steam.moveTo(5.0, 4.0);
    steam.cubicTo(4.0, 3.0, 6.0, 2.0, 5.0, 0.8);
    steam.moveTo(8.0, 4.0);
    steam.cubicTo(7.0, 3.0, 9.0, 2.0, 8.0, 0.8);
    Stroke(p, steam, Orange.darker(120), 1.0);
}

void Available(QPainter &p) // a disc with a tick
{
    Fill(p, Ellipse(1.0, 1.0, 14.0, 14.0), Green);
    QPainterPath tick;
    tick.moveTo(4.3, 8.2);
    tick.lineTo(7.0, 10.9);
    tick.lineTo(11.8, 5.2);
    Stroke(p, tick, Qt::white, 2.0);
}

void AwayFromDesk(QPainter &p) // an hourglass
{
    Fill(p, Polygon({{3.5, 2.0}, {12.5, 2.0}, {8.6, 8.0}, {12.5, 14.0}, {3.5, 14.0}, {7.4, 8.0}}), Gold);
    QPainterPath frame;
    frame.moveTo(2.0, 1.5);
    frame.lineTo(14.0, 1.5);
    frame.moveTo(2.0, 14.5);
    frame.lineTo(14.0, 14.5);
    Stroke(p, frame, Gold.darker(220), 1.6);
}

void DoNotDisturb(QPainter &p) // an octagon with a bar cut through it
{
    QPainterPath sign = Polygon(
        {{5.3, 1.0}, {10.7, 1.0}, {15.0, 5.3}, {15.0, 10.7}, {10.7, 15.0}, {5.3, 15.0}, {1.0, 10.7}, {1.0, 5.3}});
    QPainterPath bar;
    bar.addRect(QRectF(3.5, 6.7, 9.0, 2.6));
    Fill(p, sign.subtracted(bar), Red);
}

void GoneHome(QPainter &p) // a house
{
    Fill(p, Polygon({{3.0, 7.5}, {13.0, 7.5}, {13.0, 15.0}, {3.0, 15.0}}), Brown);
    Fill(p, Polygon({{0.8, 8.5}, {8.0, 1.2}, {15.2, 8.5}}), Brown.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 230, 170));
    p.drawRect(QRectF(6.5, 10.0, 3.0, 5.0));
}

void InMeeting(QPainter &p) // two people side by side
{
    const QColor back = Purple.lighter(140);
    Fill(p, Ellipse(8.6, 1.5, 5.0, 5.0), back);
    Fill(p, RoundRect(7.5, 7.5, 8.0, 8.0, 3.0), back);
    Fill(p, Ellipse(2.4, 2.5, 5.0, 5.0), Purple);
    Fill(p, RoundRect(0.5, 8.5, 9.0, 7.0, 3.0), Purple);
}

void OnHoliday(QPainter &p) // a beach umbrella
{
    QPainterPath pole;
    pole.moveTo(8.0, 7.0);
    pole.lineTo(8.0, 13.5);
    pole.quadTo(8.0, 15.0, 6.3, 14.8);
    Stroke(p, pole, DarkGrey, 1.3);
    QPainterPath dome;
    dome.moveTo(0.8, 8.0);
    dome.arcTo(QRectF(0.8, 1.0, 14.4, 14.0), 180.0, -180.0);
    dome.quadTo(13.4, 6.6, 11.6, 8.0);
    dome.quadTo(9.8, 6.6, 8.0, 8.0);
    dome.quadTo(6.2, 6.6, 4.4, 8.0);
    dome.quadTo(2.6, 6.6, 0.8, 8.0);
    Fill(p, dome, Cyan);
}

void OutOfOffice(QPainter &p) // an arrow going out to the right
{
    Fill(p, Polygon({{1.0, 5.5}, {8.0, 5.5}, {8.0, 1.5}, {15.0, 8.0}, {8.0, 14.5}, {8.0, 10.5}, {1.0, 10.5}}), Blue);
}

void FileExit(QPainter &p) // the power symbol
{
    QPainterPath ring;
    // Counter-clockwise from 120 degrees round to 60, leaving the gap at the top.
    ring.arcMoveTo(QRectF(2.0, 2.5, 12.0, 12.0), 120.0);
    ring.arcTo(QRectF(2.0, 2.5, 12.0, 12.0), 120.0, 300.0);
    Stroke(p, ring, DarkGrey, 2.2);
    QPainterPath bar;
    bar.moveTo(8.0, 1.2);
    bar.lineTo(8.0, 8.0);
    Stroke(p, bar, DarkGrey, 2.2);
}

void CustomStatus(QPainter &p) // a five-pointed star
{
    Fill(p, Star({8.0, 8.6}, 7.6, 3.2, 5), Magenta);
}

void OffSick(QPainter &p) // a medical cross
{
    Fill(p,
         Polygon({{5.5, 1.0},
                  {10.5, 1.0},
                  {10.5, 5.5},
                  {15.0, 5.5},
                  {15.0, 10.5},
                  {10.5, 10.5},
                  {10.5, 15.0},
                  {5.5, 15.0},
                  {5.5, 10.5},
                  {1.0, 10.5},
                  {1.0, 5.5},
                  {5.5, 5.5}}),
         Lime);
}

void Offline(QPainter &p) // an empty ring
{
    Stroke(p, Ellipse(2.2, 2.2, 11.6, 11.6), LightGrey, 2.6);
}

// ---- command pictures ------------------------------------------------------

void Comment(QPainter &p) // a speech bubble
{
    QPainterPath bubble = RoundRect(1.0, 1.5, 14.0, 9.5, 2.5);
    bubble = bubble.united(Polygon({{3.5, 10.0}, {3.5, 14.8}, {8.0, 10.0}}));
    Fill(p, bubble, QColor(250, 250, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(DarkGrey);
    for (qreal x : {4.5, 8.0, 11.5})
        p.drawEllipse(QPointF(x, 6.2), 1.0, 1.0);
}

void Note(QPainter &p) // a page with a folded corner
{
    Fill(p, Polygon({{3.0, 1.0}, {10.0, 1.0}, {13.5, 4.5}, {13.5, 15.0}, {3.0, 15.0}}), QColor(255, 245, 190));
    QPainterPath lines;
    for (qreal y : {6.5, 9.0, 11.5}) {
        lines.moveTo(5.0, y);
        lines.lineTo(11.5, y);
    }
    Stroke(p, lines, QColor(150, 140, 100), 0.9);
}

void Settings(QPainter &p) // a gear wheel
{
    QPainterPath gear = Ellipse(2.6, 2.6, 10.8, 10.8);
    for (int i = 0; i < 8; ++i) {
        QTransform turn;
        turn.translate(8.0, 8.0);
        turn.rotate(i * 45.0);
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.5, -7.6, 3.0, 3.0));
        gear = gear.united(turn.map(tooth));
    }
    gear = gear.subtracted(Ellipse(5.5, 5.5, 5.0, 5.0));
    Fill(p, gear, QColor(140, 150, 160));
}

void Users(QPainter &p) // one person
{
    const QColor steel(70, 110, 160);
    Fill(p, Ellipse(5.0, 1.0, 6.0, 6.0), steel);
    Fill(p, RoundRect(2.0, 8.0, 12.0, 7.5, 3.5), steel);
}

void Departments(QPainter &p) // an organisation chart
{
    const QColor box(60, 140, 120);
    QPainterPath links;
    links.moveTo(8.0, 5.5);
    links.lineTo(8.0, 8.0);
    links.moveTo(3.5, 10.5);
    links.lineTo(3.5, 8.0);
    links.lineTo(12.5, 8.0);
    links.lineTo(12.5, 10.5);
    Stroke(p, links, DarkGrey, 1.0);
    Fill(p, RoundRect(5.0, 1.0, 6.0, 4.5, 0.8), box);
    Fill(p, RoundRect(0.8, 10.5, 5.5, 4.5, 0.8), box.lighter(130));
    Fill(p, RoundRect(9.7, 10.5, 5.5, 4.5, 0.8), box.lighter(130));
}

void Statuses(QPainter &p) // a list with coloured bullets
{
    const std::array<QColor, 3> bullets{Green, Red, Gold};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 3.0 + i * 5.0;
        p.setPen(OutlinePen(bullets[static_cast<size_t>(i)]));
        p.setBrush(bullets[static_cast<size_t>(i)]);
        p.drawEllipse(QPointF(3.0, y), 1.9, 1.9);
        QPainterPath line;
        line.moveTo(6.5, y);
        line.lineTo(14.5, y);
        Stroke(p, line, DarkGrey, 1.4);
    }
}

void SendMessage(QPainter &p) // an envelope going out
{
    Envelope(p, QRectF(0.8, 2.5, 12.0, 8.5), QColor(250, 250, 250));
    QPainterPath shaft;
    shaft.moveTo(7.5, 13.5);
    shaft.lineTo(13.0, 13.5);
    Stroke(p, shaft, Green, 2.0);
    ArrowHead(p, {15.5, 13.5}, 0.0, 3.5, Green);
}

void Reply(QPainter &p) // an envelope with an arrow coming back
{
    Envelope(p, QRectF(3.2, 2.5, 12.0, 8.5), QColor(250, 250, 250));
    QPainterPath shaft;
    shaft.moveTo(9.0, 13.5);
    shaft.lineTo(3.0, 13.5);
    Stroke(p, shaft, Blue, 2.0);
    ArrowHead(p, {0.5, 13.5}, 180.0, 3.5, Blue);
}

void Delete(QPainter &p) // a waste bin
{
    const QColor bin(120, 130, 140);
    Fill(p, Polygon({{3.5, 4.5}, {12.5, 4.5}, {11.5, 15.0}, {4.5, 15.0}}), bin);
    Fill(p, RoundRect(2.0, 2.5, 12.0, 2.0, 0.8), bin.darker(120));
    QPainterPath ribs;
    for (qreal x : {6.3, 8.0, 9.7}) {
        ribs.moveTo(x, 6.5);
        ribs.lineTo(x, 13.0);
    }
    Stroke(p, ribs, bin.darker(160), 0.9);
}

void InBox(QPainter &p) // a tray with a letter dropping in
{
    Fill(p,
         Polygon(
             {{1.0, 9.0}, {5.0, 9.0}, {6.0, 11.0}, {10.0, 11.0}, {11.0, 9.0}, {15.0, 9.0}, {15.0, 15.0}, {1.0, 15.0}}),
         QColor(90, 120, 170));
    QPainterPath shaft;
    shaft.moveTo(8.0, 1.0);
    shaft.lineTo(8.0, 6.0);
    Stroke(p, shaft, Green, 2.0);
    ArrowHead(p, {8.0, 9.5}, 90.0, 3.8, Green);
}

void FilterDepartment(QPainter &p) // a funnel
{
    Fill(p, Polygon({{1.0, 1.5}, {15.0, 1.5}, {9.5, 8.0}, {9.5, 14.5}, {6.5, 12.5}, {6.5, 8.0}}), QColor(70, 130, 200));
}

void Refresh(QPainter &p) // a circular arrow
{
    QPainterPath arc;
    arc.arcMoveTo(QRectF(2.0, 2.0, 12.0, 12.0), 90.0);
    arc.arcTo(QRectF(2.0, 2.0, 12.0, 12.0), 90.0, 280.0);
    Stroke(p, arc, Green, 2.0);
    ArrowHead(p, {12.6, 1.6}, 10.0, 4.2, Green);
}

void HelpOnKiv(QPainter &p) // a question mark in a disc
{
    Fill(p, Ellipse(1.0, 1.0, 14.0, 14.0), QColor(40, 110, 200));
    QPainterPath mark;
    mark.moveTo(5.6, 6.2);
    mark.cubicTo(5.6, 3.0, 10.6, 3.0, 10.6, 6.0);
    mark.cubicTo(10.6, 7.9, 8.0, 8.0, 8.0, 10.0);
    Stroke(p, mark, Qt::white, 1.8);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8.0, 12.5), 1.1, 1.1);
}

void Information(QPainter &p) // an "i" in a square
{
    Fill(p, RoundRect(1.5, 1.5, 13.0, 13.0, 2.5), QColor(0, 140, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8.0, 4.6), 1.3, 1.3);
    p.drawRect(QRectF(6.9, 6.8, 2.2, 5.8));
}

void Alert(QPainter &p) // a bell
{
    QPainterPath bell;
    bell.moveTo(2.0, 12.5);
    bell.quadTo(4.0, 11.0, 4.0, 7.0);
    bell.cubicTo(4.0, 2.0, 12.0, 2.0, 12.0, 7.0);
    bell.quadTo(12.0, 11.0, 14.0, 12.5);
    bell.closeSubpath();
    Fill(p, bell, QColor(245, 180, 30));
    p.setPen(OutlinePen(QColor(245, 180, 30)));
    p.setBrush(QColor(245, 180, 30).darker(140));
    p.drawEllipse(QPointF(8.0, 14.0), 1.6, 1.4);
    p.drawEllipse(QPointF(8.0, 2.0), 1.0, 1.0);
}

// ---- new-mail pictures -----------------------------------------------------

void NewMailPlain(QPainter &p) // a yellow envelope
{
    Envelope(p, QRectF(1.0, 3.0, 14.0, 10.0), QColor(255, 220, 80));
}

void NewMailFlash(QPainter &p) // the same envelope, lit up red with a badge
{
    Envelope(p, QRectF(1.0, 3.0, 14.0, 10.0), QColor(230, 60, 50));
    p.setPen(OutlinePen(Qt::white));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(13.0, 3.0), 2.6, 2.6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 60, 50));
    p.drawRect(QRectF(12.4, 1.2, 1.2, 2.4));
    p.drawRect(QRectF(12.4, 4.0, 1.2, 0.9));
}

using TPainterFn = void (*)(QPainter &);

// Index to picture. Entries 13, 19, 20 and 25 are not used by the main window;
// they keep the numbering of the list, and the dialogs may use them.
const std::array<TPainterFn, SmallCount> SmallPictures{
    AtLunch,     Available,    AwayFromDesk, DoNotDisturb, GoneHome, InMeeting, OnHoliday,        OutOfOffice,
    FileExit,    CustomStatus, OffSick,      Offline,      Comment,  Note,      Settings,         Users,
    Departments, Statuses,     SendMessage,  Reply,        Delete,   InBox,     FilterDepartment, Refresh,
    HelpOnKiv,   Information,  Alert,
};

const std::array<TPainterFn, NewMailCount> NewMailPictures{NewMailPlain, NewMailFlash};

} // namespace

QPixmap RenderKivImage(TKivImageSet set, int index, qreal devicePixelRatio)
{
    const int side = qMax(1, qRound(16.0 * devicePixelRatio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    TPainterFn draw = nullptr;
    if (set == TKivImageSet::Small && index >= 0 && index < SmallCount)
        draw = SmallPictures[static_cast<size_t>(index)];
    else if (set == TKivImageSet::NewMail && index >= 0 && index < NewMailCount)
        draw = NewMailPictures[static_cast<size_t>(index)];

    if (draw != nullptr) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 16.0, side / 16.0);
        draw(painter);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(side / 16.0);
    return pixmap;
}

const QVector<qreal> &TKivImageList::Ratios()
{
    static const QVector<qreal> ratios{1.0, 1.25, 1.5, 2.0, 3.0};
    return ratios;
}

TKivImageList::TKivImageList(TKivImageSet set)
{
    const int count = (set == TKivImageSet::Small) ? SmallCount : NewMailCount;
    FIcons.reserve(count);
    for (int i = 0; i < count; ++i) {
        QIcon icon;
        for (qreal ratio : Ratios())
            icon.addPixmap(RenderKivImage(set, i, ratio));
        FIcons.append(icon);
    }
}

QIcon TKivImageList::Icon(int index) const
{
    if (index < 0 || index >= FIcons.size())
        return {};
    return FIcons.at(index);
}
