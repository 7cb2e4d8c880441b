#pragma once
#include "platform/Alerts.h"

// Message boxes and the default beep for the desktop program. Called off the
// user-interface thread (a serial reader thread), the message is shown later
// without blocking the caller.
class CGuiAlerts final : public CAlertHandler
{
public:
    void Beep() override;
    void Message(const QString& text, const QString& title, AlertIcon icon) override;
    bool Ask(const QString& text, const QString& title) override;
};
