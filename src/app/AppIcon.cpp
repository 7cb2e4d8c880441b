#include "app/AppIcon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Draw(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A terminal: a dark screen with a green prompt, framed in steel blue.
    const QRectF frame(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    painter.setBrush(QColor(0x2F, 0x4F, 0x6F));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(frame, size * 0.14, size * 0.14);
    const QRectF screen = frame.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(screen, size * 0.06, size * 0.06);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(size * 0.42));
    painter.setFont(font);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    painter.drawText(screen, Qt::AlignCenter, QStringLiteral(">T"));
    return pixmap;
}

} // namespace

QIcon TrelliumIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Draw(size));
    return icon;
}
