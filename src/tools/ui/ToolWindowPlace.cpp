#include "tools/ui/ToolWindowPlace.h"

#include "platform/Profile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ToolWindowPlace {

void Restore(QWidget* window, const QString& section)
{
    auto profile = Platform::OpenProfile();
    const QVariant x = profile->value(section + QStringLiteral("/X"));
    if (!x.isValid())
        return;
    QPoint at(x.toInt(), profile->value(section + QStringLiteral("/Y")).toInt());
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        const QSize size = window->frameGeometry().size();
        at.setX(std::clamp(at.x(), room.left(),
                           std::max(room.left(), room.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), room.top(),
                           std::max(room.top(), room.bottom() + 1 - size.height())));
    }
    window->move(at);
}

void Save(const QWidget* window, const QString& section)
{
    auto profile = Platform::OpenProfile();
    profile->setValue(section + QStringLiteral("/X"), window->pos().x());
    profile->setValue(section + QStringLiteral("/Y"), window->pos().y());
}

} // namespace ToolWindowPlace
