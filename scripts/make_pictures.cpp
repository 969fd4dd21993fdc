// Draws the pictures that the About and Help windows show and writes them into
// resources/pictures/. Run by scripts/make_pictures.sh; the results are kept in
// the repository, so the program never runs this at start-up.
//
//   help_panel.bmp   347 x 300, 24-bit: the real control panel, drawn offscreen
//   help_led.bmp     256 x 192, 4-bit: the sample image as a red LED panel
//   about_banner.bmp 478 x 128, 24-bit
//   about_icon.png   64 x 64, also the windows' icon
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QtEndian>
#include <array>
#include <cstdio>

#include "app/Application.h"
#include "app/Unit4.h"
#include "icon_artwork.h"
#include "raster/render.h"

namespace {

// The sixteen colours of the classic 4-bit palette; black is 0 and red 9.
constexpr std::array<QRgb, 16> kPalette = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFF808080,
    0xFFC0C0C0, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

int NearestPaletteIndex(QRgb colour) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 16; ++i) {
        const long dr = qRed(colour) - qRed(kPalette[i]), dg = qGreen(colour) - qGreen(kPalette[i]),
                   db = qBlue(colour) - qBlue(kPalette[i]);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) bestDistance = distance, best = i;
    }
    return best;
}

// Qt writes no 4-bit bitmaps, so this one is laid out by hand: bottom-up rows,
// two pixels a byte, high nibble first, rows padded to four bytes.
bool Write4BitBitmap(const QImage& image, const QString& path) {
    const int width = image.width(), height = image.height();
    const int stride = ((width + 1) / 2 + 3) / 4 * 4;
    const int offset = 14 + 40 + 16 * 4;
    QByteArray data(offset + stride * height, '\0');
    auto put16 = [&](int at, quint16 v) { qToLittleEndian(v, data.data() + at); };
    auto put32 = [&](int at, quint32 v) { qToLittleEndian(v, data.data() + at); };
    data[0] = 'B';
    data[1] = 'M';
    put32(2, static_cast<quint32>(data.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<quint32>(width));
    put32(22, static_cast<quint32>(height));
    put16(26, 1);
    put16(28, 4);
    put32(34, static_cast<quint32>(stride * height));
    put32(38, 3780);  // 96 dots per inch
    put32(42, 3780);
    put32(46, 16);
    for (int i = 0; i < 16; ++i) put32(54 + 4 * i, kPalette[i] & 0x00FFFFFF);
    for (int y = 0; y < height; ++y) {
        char* row = data.data() + offset + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const int index = NearestPaletteIndex(image.pixel(x, y));
            row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? index : index << 4));
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Runs our own render pipeline over an image: the same bytes the image window
// would show for these settings.
QImage RenderThroughEngine(const QImage& source, const RenderSettings& settings) {
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    TWin sourceRaster(rgb.width(), rgb.height());
    TWin workRaster(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            std::uint8_t* p = sourceRaster.PixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(qBlue(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qRed(c));
        }
    RenderPipeline(workRaster, sourceRaster, settings);
    QImage out(rgb.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const std::uint8_t* p = workRaster.PixelAddress(x, y);
            out.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    return out;
}

RenderSettings RedLeds(int pattern) {
    RenderSettings settings;
    settings.Pattern = pattern;
    return settings;  // detector 160, red 255, no green or blue
}

// The control panel as the user sees it, inside a plain frame with a caption
// bar. The panel is drawn at its own size, its client area's top-left corner at
// (4, 42) of the picture, where the Help window's lines meet the sliders, the
// pattern label and the buttons they name.
QImage HelpPanelPicture() {
    Form4->setAttribute(Qt::WA_DontShowOnScreen);
    Form4->show();
    Form4->Label1->setText(QStringLiteral("Lumarq ") + QString::number(Form4->ScrollBar1->value()));
    const QPixmap panel = Form4->grab();
    const int menuHeight = Form4->centralWidget()->y();
    Form4->hide();

    const QPoint clientOrigin(4, 42);
    const QPoint panelOrigin(clientOrigin.x(), clientOrigin.y() - menuHeight);
    QImage picture(347, 300, QImage::Format_RGB32);
    picture.fill(Form4->palette().color(QPalette::Window));
    QPainter painter(&picture);
    const QRect window(panelOrigin.x() - 1, 2, panel.width() + 2, panelOrigin.y() + panel.height() - 1);
    const int captionTop = window.top() + 1, captionHeight = panelOrigin.y() - captionTop;
    painter.fillRect(window, QColor(0x40, 0x40, 0x40));
    if (captionHeight > 0) {
        const QRect caption(panelOrigin.x(), captionTop, panel.width(), captionHeight);
        QLinearGradient shade(caption.topLeft(), caption.topRight());
        shade.setColorAt(0, QColor(0x1C, 0x3A, 0x78));
        shade.setColorAt(1, QColor(0x6A, 0x8C, 0xC8));
        painter.fillRect(caption, shade);
        QFont font = Form4->font();
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(caption.adjusted(4, 0, -20, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Lumarq"));
        // The tool window's close box.
        const QRect close(caption.right() - 14, caption.top() + (captionHeight - 11) / 2, 11, 11);
        painter.fillRect(close, Form4->palette().color(QPalette::Button));
        painter.setPen(Qt::black);
        painter.drawLine(close.topLeft() + QPoint(3, 3), close.bottomRight() - QPoint(3, 3));
        painter.drawLine(close.topRight() + QPoint(-3, 3), close.bottomLeft() + QPoint(3, -3));
    }
    painter.drawPixmap(panelOrigin, panel);
    painter.end();
    return picture;
}

QImage LoadSample(const QString& root) {
    QImage sample(root + QStringLiteral("/resources/samples/sample.bmp"));
    if (sample.isNull()) std::fprintf(stderr, "make_pictures: cannot read the sample image\n");
    return sample;
}

// Renders through the engine and blacks out the margins that the fixed-pitch
// panels leave as they were: found as what a white source does not light.
QImage LedPanel(const QImage& source, const RenderSettings& settings) {
    QImage panel = RenderThroughEngine(source, settings);
    QImage white(source.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    const QImage cells = RenderThroughEngine(white, settings);
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x)
            if (cells.pixel(x, y) == qRgb(255, 255, 255)) panel.setPixel(x, y, qRgb(0, 0, 0));
    return panel;
}

// The sample shrunk to the picture's size, then lit as an LED panel of 5-pixel
// cells with black lines between them.
QImage HelpLedPicture(const QImage& sample) {
    const QImage small = sample.scaled(256, 192, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    RenderSettings settings = RedLeds(43);
    settings.Detector = 200;  // the sun, its glow and the lit windows
    return LedPanel(small, settings);
}

QImage AboutBanner(const QImage& sample) {
    // The sun and the hills, as 4-pixel LEDs, with the program's name over them.
    const QImage wide = sample.scaledToWidth(478, Qt::SmoothTransformation);
    const QImage strip = wide.copy(0, (wide.height() - 128) / 2 + 20, 478, 128);
    RenderSettings settings = RedLeds(42);
    settings.Detector = 190;
    settings.Green = 140;
    QImage banner = LedPanel(strip, settings);
    QPainter painter(&banner);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(56);
    font.setBold(true);
    QPainterPath title;
    title.addText(24, 84, font, QStringLiteral("Lumarq"));
    painter.setPen(QPen(Qt::black, 6));
    painter.drawPath(title);
    painter.fillPath(title, Qt::white);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(15);
    painter.setFont(small);
    painter.setPen(Qt::white);
    painter.drawText(28, 110, QStringLiteral("patterns, mosaics and LED panels from your bitmaps"));
    painter.end();
    return banner;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const QString out = root + QStringLiteral("/resources/pictures/");
    QDir().mkpath(out);

    lumarq::Windows windows(QStringList{});
    const QImage sample = LoadSample(root);
    if (sample.isNull()) return 1;

    bool ok = HelpPanelPicture().save(out + QStringLiteral("help_panel.bmp"), "BMP");
    ok = Write4BitBitmap(HelpLedPicture(sample), out + QStringLiteral("help_led.bmp")) && ok;
    ok = AboutBanner(sample).convertToFormat(QImage::Format_RGB32).save(out + QStringLiteral("about_banner.bmp"), "BMP") && ok;
    ok = DrawIcon(64).save(out + QStringLiteral("about_icon.png"), "PNG") && ok;
    if (!ok) std::fprintf(stderr, "make_pictures: could not write every picture\n");
    return ok ? 0 : 1;
}
