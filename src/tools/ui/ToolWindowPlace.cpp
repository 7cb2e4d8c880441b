#include "tools/ui/ToolWindowPlace.h"

#include "platform/Profile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace {

// The outer size of a window: before the window manager has framed it, its
// own size and room for a caption and borders, so that a window placed at
// the bottom of the screen keeps its bottom edge on it once framed.
QSize OuterSize(const QWidget* window)
{
    const QRect outer = window->frameGeometry();
    if (outer.size() != window->geometry().size())
        return outer.size();
    const int caption = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return window->size() + QSize(8, caption + 8);
}

QPoint Clamped(const QWidget* window, QPoint at)
{
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return at;
    const QRect room = screen->availableGeometry();
    const QSize size = OuterSize(window);
    at.setX(
        std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
    at.setY(
        std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
    return at;
}

} // namespace

namespace ToolWindowPlace {

void Restore(QWidget* window, const QString& section)
{
    auto profile = Platform::OpenProfile();
    const QVariant x = profile->value(section + QStringLiteral("/X"));
    QPoint at;
    if (x.isValid()) {
        at = QPoint(x.toInt(), profile->value(section + QStringLiteral("/Y")).toInt());
    } else if (const QWidget* owner = window->parentWidget()) {
        // First opened: over the middle of the window that opened it.
        const QRect over = owner->window()->frameGeometry();
        const QSize size = OuterSize(window);
        at = over.center() - QPoint(size.width() / 2, size.height() / 2);
    } else {
        return;
    }
    window->move(Clamped(window, at));
}

void KeepOnScreen(QWidget* window)
{
    const QPoint at = Clamped(window, window->pos());
    if (at != window->pos())
        window->move(at);
}

void Save(const QWidget* window, const QString& section)
{
    auto profile = Platform::OpenProfile();
    profile->setValue(section + QStringLiteral("/X"), window->pos().x());
    profile->setValue(section + QStringLiteral("/Y"), window->pos().y());
}

} // namespace ToolWindowPlace
