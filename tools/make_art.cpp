// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Draws Tarvane's own pictures: the window icon, the picture the preview box
// shows before any set is loaded, and the preview maps of the demo sets.
//
//   make_art DIR            writes tarvane.png and design-picture.jpg into DIR
//   make_art --demo ROOT    writes FL#N.jpg into ROOT/FrontLine(N) for N = 1..6
//
// The outputs are committed; run it again only to change the art.

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

namespace {

const QColor Sea(70, 110, 170);
const QColor Land(196, 204, 150);
const QColor Coast(40, 60, 90);

// A rough northern France and the Low Countries on a 640 x 480 canvas.
QPainterPath coastline()
{
    QPainterPath land;
    land.moveTo(0, 300);
    const QPointF points[] = {{40, 290},  {90, 270},  {120, 235}, {150, 250}, {175, 262},
                              {215, 250}, {250, 228}, {275, 205}, {300, 175}, {318, 140},
                              {330, 110}, {360, 96},  {400, 88},  {440, 70},  {470, 48},
                              {500, 30},  {520, 0},   {640, 0},   {640, 480}, {0, 480}};
    for (const QPointF& p : points)
        land.lineTo(p);
    land.closeSubpath();
    return land;
}

void drawTitle(QPainter& painter, const QString& title)
{
    painter.setPen(Qt::black);
    painter.setBrush(QColor(255, 255, 230));
    painter.drawRect(QRectF(440, 430, 190, 40));
    painter.setFont(QFont("Liberation Sans", 16, QFont::Bold));
    painter.drawText(QRectF(440, 430, 190, 40), Qt::AlignCenter, title);
}

void drawMap(QPainter& painter, int setNumber)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 0, 640, 480), Sea);
    painter.setPen(QPen(Coast, 2));
    painter.setBrush(Land);
    painter.drawPath(coastline());

    // Rivers: the Seine and the Somme.
    painter.setPen(QPen(QColor(90, 140, 200), 2));
    painter.setBrush(Qt::NoBrush);
    QPainterPath seine(QPointF(250, 230));
    seine.cubicTo(300, 260, 330, 300, 380, 330);
    seine.cubicTo(420, 350, 470, 340, 520, 380);
    painter.drawPath(seine);
    QPainterPath somme(QPointF(318, 150));
    somme.cubicTo(350, 160, 380, 175, 430, 180);
    painter.drawPath(somme);

    // The design-time picture is the bare map; a set's map has its front.
    if (setNumber == 0)
        return drawTitle(painter, QStringLiteral("Tarvane"));

    // The front line moves east with each set.
    const double shift = (setNumber - 1) * 28.0;
    const auto lineX = [&](double y) { return 380 + shift + 25 * std::sin(y / 45.0 + setNumber); };
    QPainterPath front(QPointF(lineX(0), 0));
    for (int y = 20; y <= 480; y += 20)
        front.lineTo(lineX(y), y);
    painter.setPen(QPen(QColor(200, 20, 20), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setClipPath(coastline());
    painter.drawPath(front);
    painter.setClipping(false);

    // Airfields: Allied circles west of the line, Axis crosses east of it.
    const QPointF fields[] = {{180, 300}, {230, 280}, {290, 330}, {340, 250}, {360, 150},
                              {410, 230}, {450, 300}, {500, 140}, {540, 230}, {580, 330},
                              {470, 420}, {300, 420}, {560, 90},  {400, 380}};
    for (const QPointF& field : fields) {
        if (field.x() < lineX(field.y()) - 10) {
            painter.setPen(QPen(Qt::white, 2));
            painter.setBrush(QColor(30, 60, 200));
            painter.drawEllipse(field, 8, 8);
        } else if (field.x() > lineX(field.y()) + 10) {
            painter.setPen(QPen(Qt::black, 4));
            painter.drawLine(field + QPointF(-7, -7), field + QPointF(7, 7));
            painter.drawLine(field + QPointF(-7, 7), field + QPointF(7, -7));
        }
    }

    drawTitle(painter, QString("Frontline %1").arg(setNumber));
}

bool saveJpeg(const QImage& image, const QString& path)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(false); // baseline
    if (!writer.write(image)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

QImage map(int setNumber)
{
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    drawMap(painter, setNumber);
    return image;
}

// A frontline marker over a green field, in a 16-colour palette.
QImage icon()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setBrush(QColor(0, 128, 0));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(1, 1, 29, 29);
    painter.setPen(QPen(QColor(255, 0, 0), 3));
    painter.drawPolyline(QPolygon({{12, 2}, {18, 10}, {13, 17}, {19, 24}, {15, 30}}));
    painter.setPen(QPen(QColor(0, 0, 255), 2));
    painter.setBrush(QColor(0, 0, 255));
    painter.drawEllipse(QPoint(7, 9), 2, 2);
    painter.drawEllipse(QPoint(6, 22), 2, 2);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(23, 6, 27, 10);
    painter.drawLine(23, 10, 27, 6);
    painter.drawLine(23, 19, 27, 23);
    painter.drawLine(23, 23, 27, 19);
    painter.end();
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--demo") {
        for (int n = 1; n <= 6; ++n) {
            const QString name =
                n == 1 ? QString("FL#1(Default).jpg") : QString("FL#%1.jpg").arg(n);
            if (!saveJpeg(map(n), QString("%1/FrontLine(%2)/%3").arg(args[2]).arg(n).arg(name)))
                return 1;
        }
        return 0;
    }
    if (args.size() == 2) {
        return saveJpeg(map(0), args[1] + "/design-picture.jpg") &&
                       icon().save(args[1] + "/tarvane.png")
                   ? 0
                   : 1;
    }
    std::fprintf(stderr, "usage: make_art DIR | make_art --demo ROOT\n");
    return 2;
}
