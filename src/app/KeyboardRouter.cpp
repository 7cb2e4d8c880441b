#include "app/KeyboardRouter.h"

#include "base/TrelliumIds.h"
#include "display/ui/RichCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

namespace {

struct CAccelerator
{
    int key;
    int command;
};
constexpr CAccelerator kAccelerators[] = {
    {Qt::Key_B, Ids::CmdFocusBaud},     {Qt::Key_C, Ids::CmdClear},
    {Qt::Key_D, Ids::CmdFocusDataBits}, {Qt::Key_H, Ids::CmdHold},
    {Qt::Key_L, Ids::CmdFocusFlow},     {Qt::Key_M, Ids::CmdFocusMode},
    {Qt::Key_N, Ids::CmdOnline},        {Qt::Key_P, Ids::CmdFocusPort},
    {Qt::Key_R, Ids::CmdFocusParity},   {Qt::Key_S, Ids::CmdFocusStopBits},
};

} // namespace

CKeyboardRouter::CKeyboardRouter(QMainWindow& window, std::function<void(int)> run,
                                 std::function<QWidget*()> display)
    : QObject(&window), m_window(window), m_run(std::move(run)), m_display(std::move(display))
{
    qApp->installEventFilter(this);
}

CKeyboardRouter::~CKeyboardRouter()
{
    qApp->removeEventFilter(this);
}

void CKeyboardRouter::GoFirst()
{
    qApp->removeEventFilter(this);
    qApp->installEventFilter(this);
}

int CKeyboardRouter::AcceleratorCommand(const QKeyEvent* event)
{
    if (event->modifiers() != Qt::AltModifier)
        return 0;
    const int key = event->key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return Ids::CmdKeySetupFirst + (key - Qt::Key_F1);
    for (const CAccelerator& accelerator : kAccelerators) {
        if (accelerator.key == key)
            return accelerator.command;
    }
    return 0;
}

void CKeyboardRouter::WatchMenu(QMenu* menu)
{
    // The bar takes the keyboard once its menu has gone; the display takes
    // it back on the next turn, unless another menu of the bar opened.
    connect(menu, &QMenu::aboutToHide, this,
            [this] { QTimer::singleShot(0, this, &CKeyboardRouter::ReturnKeyboard); });
}

void CKeyboardRouter::ReturnKeyboard()
{
    if (QApplication::activePopupWidget() || !m_window.menuBar()->hasFocus())
        return;
    if (QWidget* display = m_display ? m_display() : nullptr)
        display->setFocus(Qt::OtherFocusReason);
    else
        m_window.setFocus(Qt::OtherFocusReason);
}

bool CKeyboardRouter::eventFilter(QObject* watched, QEvent* event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!key)
        return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    // Ctrl+Tab in a display is a tab for the port, not the next window.
    auto* display = qobject_cast<CRichCtrl*>(watched);
    if (display && (keyEvent->modifiers() & Qt::ControlModifier) &&
        (keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab)) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            display->TypeKey(keyEvent);
        return true;
    }
    // The Alt accelerators come before the menus' mnemonics, as Alt+C clears
    // and Alt+H holds; the menus open with Alt pressed and released first.
    if (QApplication::activeWindow() == &m_window && !QApplication::activePopupWidget()) {
        const int command = AcceleratorCommand(keyEvent);
        if (command) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                m_run(command);
            return true;
        }
    }
    return false;
}
