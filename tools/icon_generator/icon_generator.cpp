// Draws every icon of the station as a flat pictogram in the station's main
// colour and writes them as PNG files into the directory given. With
// --palette it writes the small icons of the libraries' widgets instead.

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {
const QColor mainColor(0, 151, 199);
const QColor darkColor(40, 52, 60);
const QColor okColor(46, 160, 67);
const QColor badColor(214, 50, 48);
const QColor warnColor(240, 170, 0);
const QColor white(255, 255, 255);
const int side = 128;

QPen line(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& color, double width)
{
    p.setPen(line(color, width));
    p.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double head = width * 2.2;
    for (double turn : {2.5, -2.5})
        p.drawLine(to, to + QPointF(std::cos(angle + turn) * head, std::sin(angle + turn) * head));
}

// A cabinet cell: the frame, and its door closed or swung open on its left
// hinge.
// color: the title pictures stand on the main colour, so they are white.
void cell(QPainter& p, bool open, const QColor& color = mainColor)
{
    const QRectF frame = open ? QRectF(46, 16, 70, 96) : QRectF(20, 16, 88, 96);
    p.setPen(line(color, 8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, 6, 6);
    if (!open) {
        p.setBrush(QColor(color.red(), color.green(), color.blue(), 70));
        p.drawRect(frame.adjusted(10, 10, -10, -10));
        p.drawLine(QPointF(frame.right() - 22, 56), QPointF(frame.right() - 22, 72));
        return;
    }
    QPolygonF door;
    door << QPointF(frame.left(), frame.top()) << QPointF(10, frame.top() + 14)
         << QPointF(10, frame.bottom() - 14) << QPointF(frame.left(), frame.bottom());
    p.setPen(line(color, 6));
    p.setBrush(color);
    p.drawPolygon(door);
    p.setPen(Qt::NoPen);
    p.setBrush(color == white ? mainColor : white);
    p.drawEllipse(QPointF(20, 64), 4, 6);
    p.setBrush(Qt::NoBrush);
}

void device(QPainter& p, QRectF body, const QColor& color)
{
    p.setPen(line(color, body.width() / 9.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, body.width() / 6.0, body.width() / 6.0);
    const double m = body.width() / 5.0;
    const QRectF screen(body.left() + m, body.top() + m, body.width() - 2 * m, body.height() * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRect(screen);
    const double dot = body.width() / 9.0;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawEllipse(QPointF(screen.left() + dot + col * (screen.width() - 2 * dot) / 2.0,
                                  screen.bottom() + body.height() * 0.14 + row * body.height() * 0.14),
                          dot * 0.6, dot * 0.6);
}

void padlock(QPainter& p, bool open)
{
    p.setPen(line(mainColor, 12));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    const double lift = open ? 16 : 0;
    shackle.moveTo(40, 62 - (open ? lift : 0));
    shackle.lineTo(40, 44 - lift);
    shackle.arcTo(QRectF(40, 18 - lift, 48, 52), 180, -180);
    shackle.lineTo(88, open ? 36 - lift : 62);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(mainColor);
    p.drawRoundedRect(QRectF(26, 58, 76, 56), 8, 8);
    p.setBrush(white);
    p.drawEllipse(QPointF(64, 80), 7, 7);
    p.drawRect(QRectF(61, 82, 6, 16));
}

void circleMark(QPainter& p, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(10, 10, 108, 108));
}

void cross(QPainter& p, const QColor& color, double inset, double width)
{
    p.setPen(line(color, width));
    p.drawLine(QPointF(inset, inset), QPointF(side - inset, side - inset));
    p.drawLine(QPointF(side - inset, inset), QPointF(inset, side - inset));
}

void led(QPainter& p, const QColor& color)
{
    QRadialGradient glow(QPointF(54, 50), 60);
    glow.setColorAt(0.0, color.lighter(160));
    glow.setColorAt(1.0, color);
    p.setPen(line(color.darker(140), 6));
    p.setBrush(glow);
    p.drawEllipse(QRectF(14, 14, 100, 100));
}

// The station's mark: a cabinet of cells, one of them opened.
void cabinetMark(QPainter& p, QRectF area, const QColor& color)
{
    const double cellW = area.width() / 3.0;
    const double cellH = area.height() / 3.0;
    const double gap = area.width() * 0.06;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const QRectF r(area.left() + col * cellW + gap / 2, area.top() + row * cellH + gap / 2,
                           cellW - gap, cellH - gap);
            if (row == 1 && col == 1) {
                p.setPen(line(color, gap * 0.7));
                p.setBrush(Qt::NoBrush);
                p.drawRect(r);
            } else {
                p.setPen(Qt::NoPen);
                p.setBrush(color);
                p.drawRect(r);
            }
        }
}

void nameText(QPainter& p, QRectF area, const QColor& color, int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(color);
    p.drawText(area, Qt::AlignCenter, QStringLiteral("vesk_station"));
}

using Painter = std::function<void(QPainter&)>;

const std::map<QString, Painter>& squareIcons()
{
    static const std::map<QString, Painter> icons = {
        {"cell-opened", [](QPainter& p) { cell(p, true); }},
        {"open-cell",
         [](QPainter& p) {
             cell(p, true, white);
             arrow(p, QPointF(98, 64), QPointF(58, 64), darkColor, 9);
         }},
        {"close-cell",
         [](QPainter& p) {
             cell(p, false, white);
             arrow(p, QPointF(8, 64), QPointF(54, 64), darkColor, 9);
         }},
        {"devices-pda", [](QPainter& p) { device(p, QRectF(38, 10, 52, 108), mainColor); }},
        {"device-give",
         [](QPainter& p) {
             device(p, QRectF(14, 24, 44, 92), mainColor);
             arrow(p, QPointF(72, 104), QPointF(112, 40), darkColor, 10);
         }},
        {"device-take",
         [](QPainter& p) {
             device(p, QRectF(70, 24, 44, 92), mainColor);
             arrow(p, QPointF(14, 40), QPointF(54, 100), darkColor, 10);
         }},
        {"dialog-ok-apply",
         [](QPainter& p) {
             p.setPen(line(okColor, 18));
             p.drawPolyline(QPolygonF(QVector<QPointF>{QPointF(18, 68), QPointF(50, 100), QPointF(110, 30)}));
         }},
        {"dialog-cancel", [](QPainter& p) { cross(p, badColor, 28, 18); }},
        {"dialog-close",
         [](QPainter& p) {
             circleMark(p, badColor);
             cross(p, white, 40, 14);
         }},
        {"dialog-warning",
         [](QPainter& p) {
             QPainterPath triangle;
             triangle.moveTo(64, 10);
             triangle.lineTo(120, 112);
             triangle.lineTo(8, 112);
             triangle.closeSubpath();
             p.setPen(line(warnColor, 8));
             p.setBrush(warnColor);
             p.drawPath(triangle);
             p.setPen(line(darkColor, 12));
             p.drawLine(QPointF(64, 44), QPointF(64, 80));
             p.drawPoint(QPointF(64, 99));
         }},
        {"dialog-information",
         [](QPainter& p) {
             circleMark(p, mainColor);
             p.setPen(line(white, 14));
             p.drawLine(QPointF(64, 58), QPointF(64, 94));
             p.drawPoint(QPointF(64, 34));
         }},
        {"document-encrypt", [](QPainter& p) { padlock(p, false); }},
        {"document-decrypt", [](QPainter& p) { padlock(p, true); }},
        {"dialog-password",
         [](QPainter& p) {
             p.setPen(line(mainColor, 12));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(14, 30, 44, 44));
             p.drawLine(QPointF(58, 52), QPointF(114, 52));
             p.drawLine(QPointF(100, 52), QPointF(100, 74));
             p.drawLine(QPointF(84, 52), QPointF(84, 68));
         }},
        {"edit-find",
         [](QPainter& p) {
             p.setPen(line(mainColor, 12));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(16, 16, 64, 64));
             p.setPen(line(mainColor, 18));
             p.drawLine(QPointF(78, 78), QPointF(110, 110));
         }},
        {"edit-clear",
         [](QPainter& p) {
             QPainterPath tag;
             tag.moveTo(10, 64);
             tag.lineTo(42, 28);
             tag.lineTo(116, 28);
             tag.lineTo(116, 100);
             tag.lineTo(42, 100);
             tag.closeSubpath();
             p.setPen(Qt::NoPen);
             p.setBrush(mainColor);
             p.drawPath(tag);
             p.setPen(line(white, 10));
             p.drawLine(QPointF(58, 46), QPointF(94, 82));
             p.drawLine(QPointF(94, 46), QPointF(58, 82));
         }},
        {"go-previous",
         [](QPainter& p) {
             circleMark(p, mainColor);
             arrow(p, QPointF(96, 64), QPointF(34, 64), white, 12);
         }},
        {"arrow-left", [](QPainter& p) { arrow(p, QPointF(110, 64), QPointF(20, 64), mainColor, 16); }},
        {"arrow-right", [](QPainter& p) { arrow(p, QPointF(18, 64), QPointF(108, 64), mainColor, 16); }},
        {"led_on", [](QPainter& p) { led(p, okColor); }},
        {"led_off", [](QPainter& p) { led(p, badColor); }},
        {"led_3", [](QPainter& p) { led(p, warnColor); }},
        {"led_gray", [](QPainter& p) { led(p, QColor(150, 150, 150)); }},
        {"progress",
         [](QPainter& p) {
             // A spinner: twelve strokes fading round the circle.
             for (int i = 0; i < 12; ++i) {
                 QColor c = mainColor;
                 c.setAlpha(40 + i * 18);
                 p.save();
                 p.translate(64, 64);
                 p.rotate(i * 30.0);
                 p.setPen(line(c, 12));
                 p.drawLine(QPointF(0, -34), QPointF(0, -54));
                 p.restore();
             }
         }},
        {"quickopen",
         [](QPainter& p) {
             const QPolygonF bolt(QVector<QPointF>{QPointF(74, 6), QPointF(24, 74), QPointF(60, 74),
                                                   QPointF(48, 122), QPointF(104, 48), QPointF(68, 48)});
             p.setPen(line(warnColor.darker(115), 4));
             p.setBrush(warnColor);
             p.drawPolygon(bolt);
         }},
        {"scan-user",
         [](QPainter& p) {
             // A staff card with its holder, and the scanner's beam.
             p.setPen(line(white, 8));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(12, 26, 104, 76), 10, 10);
             p.setPen(Qt::NoPen);
             p.setBrush(white);
             p.drawEllipse(QRectF(26, 40, 28, 28));
             p.drawChord(QRectF(18, 68, 44, 40), 0, 180 * 16);
             p.setPen(line(white, 7));
             p.drawLine(QPointF(70, 48), QPointF(102, 48));
             p.drawLine(QPointF(70, 64), QPointF(102, 64));
             p.drawLine(QPointF(70, 80), QPointF(92, 80));
             p.setPen(line(badColor, 5));
             p.drawLine(QPointF(4, 14), QPointF(124, 14));
         }},
        {"scan-device",
         [](QPainter& p) {
             // The back of a device with its code sticker, and the beam.
             p.setPen(line(white, 8));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(30, 8, 68, 112), 12, 12);
             p.setPen(Qt::NoPen);
             p.setBrush(white);
             const double bars[] = {4, 2, 6, 2, 4, 6, 2, 4};
             double x = 42;
             for (int i = 0; i < 8; ++i) {
                 if (i % 2 == 0)
                     p.drawRect(QRectF(x, 40, bars[i], 40));
                 x += bars[i] + 1.5;
             }
             p.setPen(line(badColor, 5));
             p.drawLine(QPointF(10, 60), QPointF(118, 60));
         }},
        {"screen",
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(darkColor);
             p.drawRoundedRect(QRectF(6, 6, 116, 116), 8, 8);
             p.setBrush(mainColor);
             p.drawRect(QRectF(16, 16, 96, 96));
             p.setBrush(white);
             p.drawRoundedRect(QRectF(30, 70, 68, 14), 4, 4);
             p.drawRoundedRect(QRectF(30, 90, 68, 14), 4, 4);
             cabinetMark(p, QRectF(46, 24, 36, 36), white);
         }},
        {"application-exit",
         [](QPainter& p) {
             p.setPen(line(mainColor, 12));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(18, 20, 92, 92), 120 * 16, 300 * 16);
             p.drawLine(QPointF(64, 10), QPointF(64, 60));
         }},
        {"applications-internet",
         [](QPainter& p) {
             p.setPen(line(mainColor, 7));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(14, 14, 100, 100));
             p.drawEllipse(QRectF(42, 14, 44, 100));
             p.drawLine(QPointF(14, 64), QPointF(114, 64));
             p.drawLine(QPointF(22, 38), QPointF(106, 38));
             p.drawLine(QPointF(22, 90), QPointF(106, 90));
         }},
        {"dots",
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(mainColor);
             for (double y : {28.0, 64.0, 100.0})
                 p.drawEllipse(QPointF(64, y), 12, 12);
         }},
        {"table",
         [](QPainter& p) {
             p.setPen(line(mainColor, 7));
             p.setBrush(Qt::NoBrush);
             p.drawRect(QRectF(14, 20, 100, 88));
             p.drawLine(QPointF(14, 49), QPointF(114, 49));
             p.drawLine(QPointF(14, 78), QPointF(114, 78));
             p.drawLine(QPointF(47, 20), QPointF(47, 108));
             p.drawLine(QPointF(80, 20), QPointF(80, 108));
         }},
        {"scenes-edit",
         [](QPainter& p) {
             p.setPen(line(mainColor, 10));
             for (double y : {30.0, 56.0, 82.0, 108.0}) {
                 p.drawPoint(QPointF(20, y - 6));
                 p.drawLine(QPointF(40, y - 6), QPointF(112, y - 6));
             }
         }},
        {"legend",
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             const QColor colors[] = {QColor(144, 238, 144), QColor(255, 215, 0), QColor(186, 85, 211)};
             for (int i = 0; i < 3; ++i) {
                 p.setBrush(colors[i]);
                 p.drawRect(QRectF(14, 18 + i * 34, 26, 26));
                 p.setBrush(mainColor);
                 p.drawRect(QRectF(52, 27 + i * 34, 62, 8));
             }
         }},
        {"document-edit",
         [](QPainter& p) {
             p.setPen(line(mainColor, 7));
             p.setBrush(Qt::NoBrush);
             QPainterPath page;
             page.moveTo(20, 10);
             page.lineTo(76, 10);
             page.lineTo(96, 30);
             page.lineTo(96, 118);
             page.lineTo(20, 118);
             page.closeSubpath();
             p.drawPath(page);
             for (double y : {44.0, 62.0, 80.0})
                 p.drawLine(QPointF(34, y), QPointF(72, y));
             p.setPen(line(darkColor, 12));
             p.drawLine(QPointF(116, 50), QPointF(70, 104));
         }},
    };
    return icons;
}

// The on-screen keyboard: a dark board with three rows of keys and a space
// bar, on the 128-unit grid of the other icons.
void keyboard(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(darkColor);
    p.drawRoundedRect(QRectF(4, 22, 120, 84), 12, 12);
    p.setBrush(white);
    const double key = 18;
    const double gap = 6;
    for (int row = 0; row < 3; ++row) {
        const double y = 30 + row * (key + gap) * 0.75;
        const double indent = row == 1 ? key / 2 : 0;
        for (double x = 12 + indent; x + key <= 116; x += key + gap)
            p.drawRoundedRect(QRectF(x, y, key, key * 0.55), 3, 3);
    }
    p.setBrush(mainColor);
    p.drawRoundedRect(QRectF(34, 84, 60, 12), 4, 4);
}

// Icons that widget palettes show beside a library's widgets, 32 pixels
// square.
const std::map<QString, Painter>& paletteIcons()
{
    static const std::map<QString, Painter> icons = {
        {"virtual-keyboard", keyboard},
    };
    return icons;
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    if (!image.save(path, "PNG", 9)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

QImage canvas(int w, int h, const QColor& fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

// A square icon drawn on the 128-unit grid, scaled to its size.
QImage drawIcon(const Painter& paint, int size)
{
    QImage image = canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(size) / side, double(size) / side);
    paint(painter);
    painter.end();
    return image;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool palette = argc == 3 && QByteArray(argv[1]) == "--palette";
    if (argc != 2 && !palette) {
        std::fprintf(stderr, "usage: station_icons [--palette] OUTPUT_DIRECTORY\n");
        return 2;
    }
    const char* output = argv[argc - 1];
    QDir dir(QString::fromLocal8Bit(output));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", output);
        return 1;
    }
    bool ok = true;
    if (palette) {
        for (const auto& [name, paint] : paletteIcons())
            ok = save(drawIcon(paint, 32), dir, name) && ok;
        return ok ? 0 : 1;
    }
    for (const auto& [name, paint] : squareIcons())
        ok = save(drawIcon(paint, side), dir, name) && ok;

    {
        // The window icon: the mark on a tile of the main colour.
        QImage image = canvas(side, side);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(mainColor);
        p.drawRoundedRect(QRectF(4, 4, 120, 120), 20, 20);
        cabinetMark(p, QRectF(24, 24, 80, 80), white);
        p.end();
        ok = save(image, dir, QStringLiteral("logo")) && ok;
    }
    {
        // The start page's logo: white on the page's main colour.
        QImage image = canvas(480, 240);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        cabinetMark(p, QRectF(180, 16, 120, 120), white);
        nameText(p, QRectF(0, 150, 480, 70), white, 52);
        p.end();
        ok = save(image, dir, QStringLiteral("logo-wb")) && ok;
    }
    {
        QImage image = canvas(600, 300, mainColor);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        cabinetMark(p, QRectF(60, 80, 140, 140), white);
        nameText(p, QRectF(210, 100, 370, 100), white, 50);
        p.end();
        ok = save(image, dir, QStringLiteral("splash")) && ok;
    }
    return ok ? 0 : 1;
}
