#pragma once
#include <QString>

// How the core tells the user something: a message box in the program, a line
// on standard error in the companion. The program installs its own handler at
// start-up; until then (and in the companion) the standard-error one is used.
enum class AlertIcon
{
    None,
    Information,
    Warning,
    Exclamation,
    Question,
};

class CAlertHandler
{
public:
    virtual ~CAlertHandler() = default;
    virtual void Beep() = 0;
    // Shows text with the given title; returns once the user has seen it.
    virtual void Message(const QString& text, const QString& title, AlertIcon icon) = 0;
    // Asks a yes-or-no question; true for yes. User-interface thread. A
    // handler that cannot ask shows the text and answers no.
    virtual bool Ask(const QString& text, const QString& title)
    {
        Message(text, title, AlertIcon::Question);
        return false;
    }
};

namespace Alerts {
// Any thread may call these; the handler must cope with that.
void Beep();
void Message(const QString& text, const QString& title, AlertIcon icon);
// User-interface thread only.
bool Ask(const QString& text, const QString& title);
// The handler is not owned; pass nullptr to return to standard error.
void SetHandler(CAlertHandler* handler);
// The application's name, used as the title of most messages.
QString AppTitle();
} // namespace Alerts
