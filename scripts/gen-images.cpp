// Draws the program's images into res/images: the 27-image toolbar strip (16 x 16
// each, magenta background), the main icon in several sizes, the about-box logo and
// the two drag cursors. Built and run by scripts/gen-images.
//
// Small images are drawn on the pixel grid (1-pixel lines at half-pixel positions)
// so that they stay crisp at their real size.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kInk(0x33, 0x3d, 0x4a);
const QColor kPaper(0xfd, 0xfd, 0xfb);
const QColor kVellum(0xf6, 0xec, 0xcf);
const QColor kVellumEdge(0x9a, 0x7b, 0x45);
const QColor kLine(0x8c, 0x9b, 0xad);
const QColor kBlue(0x2f, 0x6f, 0xc0);
const QColor kBlueLight(0x8d, 0xb8, 0xea);
const QColor kGreen(0x3a, 0x9a, 0x3a);
const QColor kGreenDark(0x1f, 0x62, 0x22);
const QColor kRed(0xd0, 0x3b, 0x32);
const QColor kRedDark(0x86, 0x1d, 0x18);
const QColor kYellow(0xf2, 0xc2, 0x3a);
const QColor kYellowDark(0xa8, 0x7a, 0x12);
const QColor kGrey(0xb8, 0xbe, 0xc6);
const QColor kGreyDark(0x5d, 0x66, 0x70);
const QColor kBrown(0x9b, 0x6a, 0x3c);

QPen pen(const QColor &c, qreal w = 1.0)
{
    QPen p(c, w);
    p.setJoinStyle(Qt::MiterJoin);
    p.setCapStyle(Qt::SquareCap);
    return p;
}

void box(QPainter &p, qreal x, qreal y, qreal w, qreal h, const QColor &fill, const QColor &edge)
{
    p.setPen(pen(edge));
    p.setBrush(fill);
    p.drawRect(QRectF(x + 0.5, y + 0.5, w - 1, h - 1));
}

void hline(QPainter &p, qreal x1, qreal x2, qreal y, const QColor &c)
{
    p.setPen(pen(c));
    p.drawLine(QPointF(x1 + 0.5, y + 0.5), QPointF(x2 + 0.5, y + 0.5));
}

// A page with a folded top-right corner, covering the pixels x..x+w-1, y..y+h-1.
void page(QPainter &p, int x, int y, int w, int h, const QColor &fill, const QColor &edge,
    int fold = 3, int lines = 0)
{
    const qreal l = x + 0.5, t = y + 0.5, r = x + w - 0.5, b = y + h - 0.5;
    QPolygonF shape({ QPointF(l, t), QPointF(r - fold, t), QPointF(r, t + fold), QPointF(r, b),
        QPointF(l, b) });
    p.setPen(pen(edge));
    p.setBrush(fill);
    p.drawPolygon(shape);
    p.setBrush(fill.darker(115));
    p.drawPolygon(
        QPolygonF({ QPointF(r - fold, t), QPointF(r - fold, t + fold), QPointF(r, t + fold) }));
    for (int i = 0; i < lines; ++i) {
        const int ly = y + fold + 2 + 2 * i;
        if (ly >= y + h - 2)
            break;
        hline(p, x + 2, x + w - 3 - (i % 2 ? 2 : 0), ly, kLine);
    }
}

// A bold arrow pointing in direction (0 up, 1 right, 2 down, 3 left).
void arrow(QPainter &p, int direction, const QColor &fill, const QColor &edge)
{
    // Drawn pointing up, then rotated about the centre.
    QPolygonF shape({ QPointF(8, 1.5), QPointF(14.5, 8), QPointF(10.5, 8), QPointF(10.5, 14.5),
        QPointF(5.5, 14.5), QPointF(5.5, 8), QPointF(1.5, 8) });
    p.save();
    p.translate(8, 8);
    p.rotate(90 * direction);
    p.translate(-8, -8);
    p.setPen(pen(edge));
    p.setBrush(fill);
    p.drawPolygon(shape);
    p.setPen(pen(fill.lighter(140)));
    p.drawLine(QPointF(7.0, 3.5), QPointF(3.5, 7.0));
    p.restore();
}

void floppy(QPainter &p)
{
    p.setPen(pen(kInk));
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({ QPointF(1.5, 1.5), QPointF(12.5, 1.5), QPointF(14.5, 3.5),
        QPointF(14.5, 14.5), QPointF(1.5, 14.5) }));
    box(p, 4, 2, 8, 6, kPaper, kInk);
    hline(p, 5, 10, 4, kLine);
    hline(p, 5, 9, 6, kLine);
    box(p, 4, 10, 8, 5, kGrey, kInk);
    box(p, 9, 11, 2, 3, kGreyDark, kGreyDark);
}

void pencil(QPainter &p, qreal ox, qreal oy, qreal len)
{
    // From the tip at (ox, oy) up to the right.
    p.save();
    p.translate(ox, oy);
    p.rotate(-45);
    p.setPen(pen(kInk));
    p.setBrush(kYellow);
    p.drawPolygon(QPolygonF({ QPointF(0, 0), QPointF(3, -1.8), QPointF(len, -1.8),
        QPointF(len, 1.8), QPointF(3, 1.8) }));
    p.setBrush(QColor(0xe8, 0x8a, 0x9a));
    p.drawRect(QRectF(len, -1.8, 2.2, 3.6));
    p.setBrush(kInk);
    p.drawPolygon(QPolygonF({ QPointF(0, 0), QPointF(1.2, -0.7), QPointF(1.2, 0.7) }));
    p.restore();
}

void clipboard(QPainter &p)
{
    p.setPen(pen(kInk));
    p.setBrush(kBrown);
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12), 1, 1);
    box(p, 4, 4, 8, 10, kPaper, kGreyDark);
    for (int y = 7; y <= 12; y += 2)
        hline(p, 5, y == 11 ? 8 : 10, y, kLine);
    box(p, 5, 1, 6, 3, kGrey, kInk);
}

void window(QPainter &p, int x, int y, int w, int h)
{
    box(p, x, y, w, h, kPaper, kInk);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRect(QRectF(x + 1, y + 1, w - 2, 2));
}

void gear(QPainter &p)
{
    QPainterPath path;
    const int teeth = 8;
    QPolygonF outline;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i / qreal(teeth * 4)) * 2 * M_PI;
        const qreal r = (i % 4 == 0 || i % 4 == 1) ? 7.0 : 5.2;
        outline << QPointF(8 + r * qCos(a), 8 + r * qSin(a));
    }
    path.addPolygon(outline);
    path.closeSubpath();
    path.addEllipse(QPointF(8, 8), 2.2, 2.2);
    p.setPen(pen(kInk));
    p.setBrush(kGrey);
    p.drawPath(path);
}

void magnifier(QPainter &p, qreal cx, qreal cy, qreal r)
{
    p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx + r * 0.7, cy + r * 0.7), QPointF(cx + r * 1.9, cy + r * 1.9));
    p.setPen(pen(kInk, 1.2));
    p.setBrush(QColor(0xd6, 0xe9, 0xfb));
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setPen(pen(Qt::white, 1));
    p.drawArc(QRectF(cx - r + 1.5, cy - r + 1.5, 2 * r - 3, 2 * r - 3), 100 * 16, 70 * 16);
}

void cross(QPainter &p, qreal x1, qreal y1, qreal x2, qreal y2, qreal w)
{
    p.setPen(QPen(kRedDark, w + 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    p.drawLine(QPointF(x1, y2), QPointF(x2, y1));
    p.setPen(QPen(kRed, w, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    p.drawLine(QPointF(x1, y2), QPointF(x2, y1));
}

void plus(QPainter &p, int cx, int cy)
{
    // A 7 x 7 green plus centred on pixel (cx, cy), outlined.
    QPolygonF shape;
    const qreal c = cx + 0.5, d = cy + 0.5;
    shape << QPointF(c - 1.5, d - 3.5) << QPointF(c + 1.5, d - 3.5) << QPointF(c + 1.5, d - 1.5)
          << QPointF(c + 3.5, d - 1.5) << QPointF(c + 3.5, d + 1.5) << QPointF(c + 1.5, d + 1.5)
          << QPointF(c + 1.5, d + 3.5) << QPointF(c - 1.5, d + 3.5) << QPointF(c - 1.5, d + 1.5)
          << QPointF(c - 3.5, d + 1.5) << QPointF(c - 3.5, d - 1.5) << QPointF(c - 1.5, d - 1.5);
    p.setPen(pen(kGreenDark));
    p.setBrush(kGreen);
    p.drawPolygon(shape);
}

// A note as the tree shows it: vellum page with text lines.
void note(QPainter &p)
{
    page(p, 2, 1, 12, 14, kVellum, kVellumEdge, 4, 0);
    for (int y = 6; y <= 12; y += 2)
        hline(p, 4, y == 12 ? 8 : 11, y, kVellumEdge.lighter(130));
}

void treeRow(QPainter &p, int x, int y, int w, const QColor &fill, const QColor &edge)
{
    box(p, x, y, w, 5, fill, edge);
    hline(p, x + 2, x + w - 3, y + 2, edge.lighter(150));
}

using Draw = std::function<void(QPainter &)>;

const Draw kToolbar[27] = {
    // 0 New
    [](QPainter &p) {
        page(p, 2, 1, 11, 14, kPaper, kInk, 3, 0);
        p.setPen(pen(kYellowDark));
        p.setBrush(kYellow);
        QPolygonF star;
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * M_PI / 4 - M_PI / 2;
            const qreal r = i % 2 ? 1.6 : 4.2;
            star << QPointF(11.5 + r * qCos(a), 4.5 + r * qSin(a));
        }
        p.drawPolygon(star);
    },
    // 1 Open
    [](QPainter &p) {
        p.setPen(pen(kYellowDark));
        p.setBrush(kYellow.darker(112));
        p.drawPolygon(QPolygonF({ QPointF(0.5, 3.5), QPointF(5.5, 3.5), QPointF(6.5, 4.5),
            QPointF(12.5, 4.5), QPointF(12.5, 13.5), QPointF(0.5, 13.5) }));
        page(p, 3, 2, 8, 8, kPaper, kGreyDark, 2, 0);
        p.setPen(pen(kYellowDark));
        p.setBrush(kYellow);
        p.drawPolygon(QPolygonF(
            { QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(12.5, 13.5), QPointF(0.5, 13.5) }));
    },
    // 2 Save
    [](QPainter &p) { floppy(p); },
    // 3 Save As
    [](QPainter &p) {
        floppy(p);
        pencil(p, 7.5, 15.0, 9);
    },
    // 4 Cut
    [](QPainter &p) {
        p.setPen(QPen(kGreyDark, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 1.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(11.5, 1.5), QPointF(5.5, 10.5));
        p.setPen(pen(kInk, 1.0));
        p.drawLine(QPointF(4.5, 1.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(11.5, 1.5), QPointF(5.5, 10.5));
        p.setPen(pen(kRedDark, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(4.5, 12.5), 2.4, 2.4);
        p.drawEllipse(QPointF(11.5, 12.5), 2.4, 2.4);
        p.setPen(pen(kInk));
        p.setBrush(kInk);
        p.drawEllipse(QPointF(8.0, 6.2), 0.8, 0.8);
    },
    // 5 Copy
    [](QPainter &p) {
        page(p, 1, 1, 9, 11, kPaper, kGreyDark, 2, 3);
        page(p, 6, 4, 9, 11, kPaper, kInk, 2, 3);
    },
    // 6 Paste
    [](QPainter &p) { clipboard(p); },
    // 7 Undo
    [](QPainter &p) {
        QPainterPath path;
        path.moveTo(4.5, 6.5);
        path.cubicTo(7.5, 3.0, 14.0, 4.0, 13.5, 9.5);
        path.cubicTo(13.2, 12.5, 10.5, 14.0, 7.5, 13.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kInk, 3.6, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        p.setPen(QPen(kBlue, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        p.setPen(pen(kInk));
        p.setBrush(kBlue);
        p.drawPolygon(QPolygonF({ QPointF(1.5, 2.5), QPointF(2.0, 10.0), QPointF(8.5, 7.5) }));
    },
    // 8 About
    [](QPainter &p) {
        p.setPen(pen(kInk));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 7, 2, 5));
        p.drawRect(QRectF(6, 7, 1, 1));
        p.drawRect(QRectF(6, 11, 4, 1));
        p.drawEllipse(QRectF(6.8, 3.6, 2.4, 2.4));
    },
    // 9 Exit: an open door and the way out
    [](QPainter &p) {
        box(p, 1, 1, 9, 14, kGrey, kInk);
        p.setPen(pen(kInk));
        p.setBrush(kBrown);
        p.drawPolygon(QPolygonF(
            { QPointF(1.5, 1.5), QPointF(6.5, 3.5), QPointF(6.5, 15.5), QPointF(1.5, 14.5) }));
        p.setBrush(kYellow);
        p.drawRect(QRectF(4.5, 8.5, 1, 1));
        p.setBrush(kGreen);
        p.setPen(pen(kGreenDark));
        p.drawPolygon(QPolygonF({ QPointF(8.5, 6.5), QPointF(11.5, 6.5), QPointF(11.5, 3.5),
            QPointF(15.5, 8.0), QPointF(11.5, 12.5), QPointF(11.5, 9.5), QPointF(8.5, 9.5) }));
    },
    // 10 Options
    [](QPainter &p) { gear(p); },
    // 11 Print
    [](QPainter &p) {
        box(p, 4, 1, 8, 6, kPaper, kInk);
        p.setPen(pen(kInk));
        p.setBrush(kGrey);
        p.drawRoundedRect(QRectF(0.5, 5.5, 15, 7), 1.5, 1.5);
        box(p, 3, 10, 10, 5, kPaper, kInk);
        hline(p, 5, 10, 12, kLine);
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawRect(QRectF(12, 7, 2, 1));
    },
    // 12 Search and replace
    [](QPainter &p) {
        page(p, 1, 1, 10, 13, kPaper, kGreyDark, 3, 4);
        magnifier(p, 9.5, 8.5, 3.5);
    },
    // 13 Restore
    [](QPainter &p) {
        window(p, 5, 1, 10, 9);
        window(p, 1, 5, 10, 10);
    },
    // 14 Hide
    [](QPainter &p) {
        window(p, 1, 1, 14, 10);
        box(p, 3, 13, 10, 2, kBlue, kInk);
        p.setPen(pen(kGreenDark));
        p.setBrush(kGreen);
        p.drawPolygon(QPolygonF({ QPointF(6.5, 4.5), QPointF(9.5, 4.5), QPointF(9.5, 7.5),
            QPointF(11.5, 7.5), QPointF(8.0, 11.0), QPointF(4.5, 7.5), QPointF(6.5, 7.5) }));
    },
    // 15 Exit from the tray menu: close
    [](QPainter &p) {
        p.setPen(pen(kRedDark));
        p.setBrush(kRed);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(5.5, 10.5), QPointF(10.5, 5.5));
    },
    // 16 Add note
    [](QPainter &p) {
        note(p);
        plus(p, 11, 11);
    },
    // 17 Note
    [](QPainter &p) { note(p); },
    // 18 Delete note
    [](QPainter &p) {
        page(p, 1, 1, 11, 14, kVellum, kVellumEdge, 3, 0);
        cross(p, 7.0, 7.0, 13.5, 13.5, 2.0);
    },
    // 19 Move up
    [](QPainter &p) { arrow(p, 0, kGreen, kGreenDark); },
    // 20 Move down
    [](QPainter &p) { arrow(p, 2, kGreen, kGreenDark); },
    // 21 Move right (one level deeper)
    [](QPainter &p) { arrow(p, 1, kBlue, kInk); },
    // 22 Paste as sibling: a new row at the same level
    [](QPainter &p) {
        p.setPen(pen(kGreyDark));
        p.drawLine(QPointF(2.5, 2.5), QPointF(2.5, 11.5));
        p.drawLine(QPointF(2.5, 3.5), QPointF(4.5, 3.5));
        p.drawLine(QPointF(2.5, 11.5), QPointF(4.5, 11.5));
        treeRow(p, 5, 1, 11, kPaper, kGreyDark);
        treeRow(p, 5, 9, 11, QColor(0xc9, 0xeb, 0xc4), kGreenDark);
    },
    // 23 Paste as child: a new row one level deeper
    [](QPainter &p) {
        treeRow(p, 1, 1, 11, kPaper, kGreyDark);
        p.setPen(pen(kGreyDark));
        p.drawLine(QPointF(3.5, 6.5), QPointF(3.5, 11.5));
        p.drawLine(QPointF(3.5, 11.5), QPointF(5.5, 11.5));
        treeRow(p, 6, 9, 10, QColor(0xc9, 0xeb, 0xc4), kGreenDark);
    },
    // 24 Rename
    [](QPainter &p) {
        box(p, 0, 9, 11, 6, kPaper, kGreyDark);
        p.setPen(pen(kInk));
        p.drawLine(QPointF(2.5, 11.5), QPointF(2.5, 12.5));
        hline(p, 4, 7, 12, kInk);
        pencil(p, 6.5, 13.0, 10);
    },
    // 25 Move left (one level up)
    [](QPainter &p) { arrow(p, 3, kBlue, kInk); },
    // 26 Note link
    [](QPainter &p) {
        p.setBrush(Qt::NoBrush);
        p.save();
        p.translate(8, 8);
        p.rotate(-45);
        for (qreal dx : { -3.2, 3.2 }) {
            const QRectF link(dx - 4.2, -2.4, 8.4, 4.8);
            p.setPen(QPen(kInk, 2.8));
            p.drawRoundedRect(link, 2.4, 2.4);
            p.setPen(QPen(dx < 0 ? kBlue : kBlueLight, 1.4));
            p.drawRoundedRect(link, 2.4, 2.4);
        }
        p.restore();
    },
};

// The main icon: a vellum sheet with a small tree of notes on it. Drawn in a 64-unit
// square; Small is the pixel-fitted design for 16 x 16.
void mainIcon(QPainter &p, int size)
{
    if (size <= 16) {
        page(p, 1, 0, 14, 16, kVellum, kVellumEdge, 4, 0);
        p.setPen(pen(kGreenDark));
        p.drawLine(QPointF(4.5, 5.5), QPointF(4.5, 12.5));
        p.drawLine(QPointF(4.5, 8.5), QPointF(7.5, 8.5));
        p.drawLine(QPointF(4.5, 12.5), QPointF(7.5, 12.5));
        box(p, 3, 3, 4, 3, kGreen, kGreenDark);
        box(p, 7, 7, 6, 3, kBlue, kInk);
        box(p, 7, 11, 6, 3, kBlue, kInk);
        return;
    }
    p.scale(size / 64.0, size / 64.0);
    const qreal edge = 2.0;
    QPainterPath sheet;
    sheet.moveTo(8, 3);
    sheet.lineTo(44, 3);
    sheet.lineTo(58, 17);
    sheet.lineTo(58, 61);
    sheet.lineTo(8, 61);
    sheet.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawPath(sheet.translated(1.5, 1.5));
    QLinearGradient vellum(0, 0, 64, 64);
    vellum.setColorAt(0, kVellum.lighter(104));
    vellum.setColorAt(1, kVellum.darker(108));
    p.setPen(QPen(kVellumEdge, edge, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(vellum);
    p.drawPath(sheet);
    p.setBrush(kVellum.darker(120));
    p.drawPolygon(QPolygonF({ QPointF(44, 3), QPointF(44, 17), QPointF(58, 17) }));

    // Branches
    p.setPen(QPen(kGreenDark, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath branches;
    branches.moveTo(17, 17);
    branches.lineTo(17, 51.5);
    branches.moveTo(17, 26.5);
    branches.lineTo(25, 26.5);
    branches.moveTo(17, 51.5);
    branches.lineTo(25, 51.5);
    branches.moveTo(31, 31);
    branches.lineTo(31, 40.5);
    branches.lineTo(36, 40.5);
    p.drawPath(branches);

    auto node = [&](const QRectF &r, const QColor &fill, const QColor &line) {
        p.setPen(QPen(line, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(fill);
        p.drawRoundedRect(r, 2.5, 2.5);
        p.setPen(QPen(fill.lighter(160), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(
            QPointF(r.left() + 3.5, r.center().y()), QPointF(r.right() - 3.5, r.center().y()));
    };
    node(QRectF(10, 8, 24, 9), kGreen, kGreenDark);
    node(QRectF(25, 22, 27, 9), kBlue, kInk);
    node(QRectF(36, 36, 17, 9), kBlueLight.darker(112), kInk);
    node(QRectF(25, 47, 27, 9), kBlue, kInk);
}

// scale draws the same picture at a multiple of its size, for screens of that pixel
// ratio: a line on the half-pixel grid then covers whole pixels and stays crisp.
QImage drawnImage(int w, int h, const QColor &background,
    const std::function<void(QPainter &)> &draw, int scale = 1)
{
    QImage image(w * scale, h * scale, QImage::Format_ARGB32);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(scale, scale);
    draw(p);
    p.end();
    return image;
}

// Magenta marks transparency in the strip: antialiased edges must not blend into it,
// so each image is drawn on transparency and its pixels made opaque or magenta.
QImage onMagenta(const QImage &drawn)
{
    QImage out(drawn.size(), QImage::Format_RGB32);
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QColor c = drawn.pixelColor(x, y);
            if (c.alpha() < 96) {
                out.setPixelColor(x, y, kMagenta);
            } else {
                // Partly covered edge pixels are blended toward a light background.
                const qreal a = c.alphaF();
                const QColor bg(0xf0, 0xf0, 0xf0);
                out.setPixelColor(x, y,
                    QColor::fromRgbF(c.redF() * a + bg.redF() * (1 - a),
                        c.greenF() * a + bg.greenF() * (1 - a),
                        c.blueF() * a + bg.blueF() * (1 - a)));
            }
        }
    }
    return out;
}

// Arrow pointer with a small note beside it; Nest adds a child row under the note.
QImage cursorImage(bool nest, int scale)
{
    return drawnImage(32, 32, Qt::transparent, [nest](QPainter &p) {
        QPolygonF pointer({ QPointF(1, 1), QPointF(1, 17), QPointF(5, 13.2), QPointF(8, 20),
            QPointF(10.5, 19), QPointF(7.6, 12.2), QPointF(12.8, 12.2) });
        p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::white);
        p.drawPolygon(pointer);
        p.translate(12, 14);
        if (!nest) {
            box(p, 0, 0, 14, 6, kVellum, kVellumEdge.darker(130));
            hline(p, 2, 10, 2, kVellumEdge);
            box(p, 2, 8, 14, 6, kVellum, kVellumEdge.darker(130));
            hline(p, 4, 12, 10, kVellumEdge);
        } else {
            box(p, 0, 0, 14, 6, kVellum, kVellumEdge.darker(130));
            hline(p, 2, 10, 2, kVellumEdge);
            p.setPen(pen(kInk));
            p.drawLine(QPointF(3.5, 6.5), QPointF(3.5, 11.5));
            p.drawLine(QPointF(3.5, 11.5), QPointF(6.5, 11.5));
            box(p, 7, 9, 12, 6, QColor(0xc9, 0xeb, 0xc4), kGreenDark);
            hline(p, 9, 15, 11, kGreenDark);
        }
    }, scale);
}

bool save(const QImage &image, const QString &path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen-images OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + u'/';
    bool ok = true;

    // The strip and the cursors at their size and at twice it, for 2x screens.
    for (int scale : { 1, 2 }) {
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@2x");
        const int side = 16 * scale;
        QImage strip(side * 27, side, QImage::Format_RGB32);
        QPainter sp(&strip);
        for (int i = 0; i < 27; ++i) {
            sp.drawImage(side * i, 0,
                onMagenta(drawnImage(16, 16, Qt::transparent, kToolbar[i], scale)));
        }
        sp.end();
        ok &= save(strip, out + QStringLiteral("toolbar%1.png").arg(suffix));
        ok &= save(cursorImage(false, scale), out + QStringLiteral("move%1.png").arg(suffix));
        ok &= save(cursorImage(true, scale), out + QStringLiteral("copy%1.png").arg(suffix));
    }

    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        ok &= save(
            drawnImage(size, size, Qt::transparent, [size](QPainter &p) { mainIcon(p, size); }),
            out + QStringLiteral("vellumtree-%1.png").arg(size));
    }
    ok &= save(drawnImage(96, 96, Qt::transparent, [](QPainter &p) { mainIcon(p, 96); }),
        out + QStringLiteral("logo.png"));
    return ok ? 0 : 1;
}
