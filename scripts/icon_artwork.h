// The program's icon, drawn at any size: an L of lit LEDs on a dark panel. At 64
// pixels it is the windows' icon (resources/pictures/about_icon.png); the desktop's
// icon theme gets it at every size it asks for (scripts/make_icons.sh).
#pragma once

#include <QImage>
#include <QPainter>

inline QImage DrawIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-unit grid, so the 64-pixel icon stays exactly as it was.
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x18, 0x18, 0x18));
    painter.drawRoundedRect(QRectF(1, 1, 62, 62), 9, 9);
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 6; ++column) {
            const bool lit = column == 1 || (row == 4 && column >= 1 && column <= 4);
            painter.setBrush(lit ? QColor(0xFF, 0x20, 0x10) : QColor(0x48, 0x08, 0x08));
            painter.drawEllipse(QRectF(6 + column * 9, 6 + row * 9, 7, 7));
        }
    painter.end();
    return icon;
}
