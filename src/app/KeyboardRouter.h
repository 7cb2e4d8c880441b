#pragma once
#include <QObject>
#include <functional>

class QKeyEvent;
class QMainWindow;
class QMenu;
class QWidget;

// The main window's keyboard: the Alt accelerators (ahead of the menus'
// mnemonics), Ctrl+Tab kept for the port in a display, and the keyboard
// handed back to the display as soon as a menu closes with Escape. Every
// other key a user types belongs to the port.
class CKeyboardRouter : public QObject
{
    Q_OBJECT
public:
    // `display` names the widget that should have the keyboard (the active
    // session's display), or nullptr.
    CKeyboardRouter(QMainWindow& window, std::function<void(int)> run,
                    std::function<QWidget*()> display);
    ~CKeyboardRouter() override;

    // The command of an Alt accelerator, or 0.
    static int AcceleratorCommand(const QKeyEvent* event);
    // Installs the filter again so that it goes first (the multi-document
    // area sets up one of its own for its window switching).
    void GoFirst();
    // A menu of the bar closed with Escape leaves the keyboard with the
    // display, not with the menu bar.
    void WatchMenu(QMenu* menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReturnKeyboard();

    QMainWindow& m_window;
    std::function<void(int)> m_run;
    std::function<QWidget*()> m_display;
};
