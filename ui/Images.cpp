#include "ui/Images.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

namespace kx4 {

namespace {

using Drawing = std::function<void(QPainter&)>;

const QColor kInk(40, 40, 40);
const QColor kBlue(30, 90, 190);
const QColor kGreen(20, 150, 40);
const QColor kRed(200, 30, 30);
const QColor kGold(215, 160, 20);
const QColor kGridHeader(120, 160, 220);

QImage draw(int size, const Drawing& drawing) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing(painter);
    painter.end();
    return image;
}

// A small table: header row and grid lines.
void grid(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 1, r.height() / 4), kGridHeader);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (double y = r.top() + r.height() / 4; y < r.bottom() - 1; y += r.height() / 4) {
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
}

void plusBadge(QPainter& p, QPointF c, double half) {
    p.setPen(QPen(kGreen, 2.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c.x() - half, c.y()), QPointF(c.x() + half, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - half), QPointF(c.x(), c.y() + half));
}

void crossBadge(QPainter& p, QPointF c, double half, double width = 2.4) {
    p.setPen(QPen(kRed, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - half, c.y() - half), QPointF(c.x() + half, c.y() + half));
    p.drawLine(QPointF(c.x() - half, c.y() + half), QPointF(c.x() + half, c.y() - half));
}

void arrowHead(QPainter& p, QPointF tip, QPointF direction, const QColor& color, double size) {
    const QPointF normal(-direction.y(), direction.x());
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip - direction * size + normal * size * 0.7);
    head.lineTo(tip - direction * size - normal * size * 0.7);
    head.closeSubpath();
    p.fillPath(head, color);
}

void key(QPainter& p, QPointF ring, double scale) {
    p.setPen(QPen(kInk.lighter(130), 1));
    p.setBrush(kGold);
    p.drawEllipse(ring, 3.2 * scale, 3.2 * scale);
    p.setBrush(Qt::white);
    p.drawEllipse(ring, 1.1 * scale, 1.1 * scale);
    p.setPen(QPen(kGold.darker(130), 2.0 * scale, Qt::SolidLine, Qt::FlatCap));
    const QPointF start = ring + QPointF(3.0 * scale, 0);
    const QPointF end = ring + QPointF(10.0 * scale, 0);
    p.drawLine(start, end);
    p.drawLine(end - QPointF(0.8 * scale, 0), end + QPointF(-0.8 * scale, 2.6 * scale));
    p.drawLine(end - QPointF(3.2 * scale, 0), end + QPointF(-3.2 * scale, 2.2 * scale));
}

void text(QPainter& p, QRectF r, const QString& s, double pixelSize, const QColor& color) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setBold(true);
    p.setFont(font);
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, s);
}

std::vector<QImage> listeImages() {
    const int s = 18;
    std::vector<QImage> images;
    images.push_back(draw(s, [](QPainter& p) {  // field length: a field widened both ways
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 2.5, 9, 6));
        p.setPen(QPen(kBlue, 1.6));
        p.drawLine(QPointF(2.5, 13), QPointF(15.5, 13));
        arrowHead(p, QPointF(1, 13), QPointF(-1, 0), kBlue, 4);
        arrowHead(p, QPointF(17, 13), QPointF(1, 0), kBlue, 4);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // delete field
        grid(p, QRectF(1.5, 1.5, 12, 12));
        crossBadge(p, QPointF(13, 13), 3.5);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // add field
        grid(p, QRectF(1.5, 1.5, 12, 12));
        plusBadge(p, QPointF(13, 13), 4);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // new table: a fresh sheet with a spark
        grid(p, QRectF(4.5, 4.5, 12, 12));
        p.setPen(QPen(kGold.darker(110), 1.6, Qt::SolidLine, Qt::RoundCap));
        const QPointF c(4.5, 4.5);
        for (int i = 0; i < 4; ++i) {
            const double a = i * M_PI / 4;
            const QPointF d(std::cos(a) * 3.8, std::sin(a) * 3.8);
            p.drawLine(c - d, c + d);
        }
    }));
    images.push_back(draw(s, [](QPainter& p) {  // compress: arrows squeezing a table
        grid(p, QRectF(3.5, 6.5, 11, 5));
        p.setPen(QPen(kBlue, 1.6));
        p.drawLine(QPointF(9, 0), QPointF(9, 3.5));
        p.drawLine(QPointF(9, 18), QPointF(9, 14.5));
        arrowHead(p, QPointF(9, 6), QPointF(0, 1), kBlue, 3.5);
        arrowHead(p, QPointF(9, 12), QPointF(0, -1), kBlue, 3.5);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // reorganise indexes: circular arrows
        p.setPen(QPen(kGreen, 2.0, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        const QRectF ring(3, 3, 12, 12);
        p.drawArc(ring, 30 * 16, 150 * 16);
        p.drawArc(ring, 210 * 16, 150 * 16);
        arrowHead(p, QPointF(3.2, 10.2), QPointF(-0.2, 1), kGreen, 4);
        arrowHead(p, QPointF(14.8, 7.8), QPointF(0.2, -1), kGreen, 4);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // create index
        key(p, QPointF(4.5, 6), 1.0);
        plusBadge(p, QPointF(13, 13), 4);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // delete index
        key(p, QPointF(4.5, 6), 1.0);
        crossBadge(p, QPointF(13, 13), 3.5);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // close: leave through the door
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(150, 95, 45));
        p.drawRect(QRectF(2.5, 1.5, 8, 15));
        p.setBrush(kGold);
        p.drawEllipse(QPointF(8.5, 9), 0.9, 0.9);
        p.setPen(QPen(kRed, 2.0));
        p.drawLine(QPointF(9, 9), QPointF(14, 9));
        arrowHead(p, QPointF(17.5, 9), QPointF(1, 0), kRed, 4);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // print
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 9, 7));
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(QRectF(1.5, 7.5, 15, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 11.5, 9, 5));
        p.setPen(QPen(kInk, 0.8));
        p.drawLine(QPointF(6, 13.5), QPointF(12, 13.5));
        p.drawLine(QPointF(6, 15), QPointF(11, 15));
        p.fillRect(QRectF(13.5, 9, 1.5, 1.5), kGreen);
    }));
    images.push_back(draw(s, [](QPainter& p) {  // field type: a typed value
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(255, 250, 220));
        p.drawRoundedRect(QRectF(0.5, 2.5, 17, 13), 2, 2);
        text(p, QRectF(0, 2, 18, 14), QStringLiteral("Ab"), 10, kBlue);
    }));
    images.push_back(draw(s, [](QPainter& p) { crossBadge(p, QPointF(9, 9), 5.5, 3.0); }));
    images.push_back(draw(s, [](QPainter& p) {  // OK: check mark
        QPainterPath check;
        check.moveTo(2.5, 9.5);
        check.lineTo(7, 14);
        check.lineTo(15.5, 3.5);
        p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(check);
    }));
    return images;
}

std::vector<QImage> tableImages() {
    const int s = 16;
    std::vector<QImage> images;
    images.push_back(draw(s, [](QPainter& p) {  // 0: folder (not used by the windows)
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
    }));
    images.push_back(draw(s, [](QPainter& p) {  // 1: the database (tree root)
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(110, 150, 210));
        p.drawRect(QRectF(2.5, 4, 11, 9));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(3, 3.5, 10, 10));
        p.setPen(QPen(kInk, 1));
        p.drawEllipse(QRectF(2.5, 10.5, 11, 4));
        p.setBrush(QColor(160, 190, 235));
        p.drawEllipse(QRectF(2.5, 1.5, 11, 4));
    }));
    images.push_back(draw(s, [](QPainter& p) { grid(p, QRectF(1.5, 2.5, 13, 11)); }));  // 2
    return images;
}

std::vector<QImage> liste2Images() {
    return {draw(16, [](QPainter& p) { key(p, QPointF(4, 8), 0.95); })};
}

}  // namespace

QImage programIcon(int size) {
    return draw(size, [size](QPainter& p) {
        p.scale(size / 16.0, size / 16.0);
        grid(p, QRectF(1.5, 1.5, 13, 11));
        key(p, QPointF(7.5, 12.2), 0.62);
    });
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : kProgramIconSizes) icon.addPixmap(QPixmap::fromImage(programIcon(size)));
    return icon;
}

const TImageList& ListeImg() {
    static const TImageList list(listeImages());
    return list;
}

const TImageList& TableImg() {
    static const TImageList list(tableImages());
    return list;
}

const TImageList& Liste2Img() {
    static const TImageList list(liste2Images());
    return list;
}

}  // namespace kx4
