#pragma once
#include "platform/Alerts.h"

// The companion's alerts: the message text alone, one line on standard error
// ("Serialize Error"); no beep.
class CCliAlerts final : public CAlertHandler
{
public:
    void Beep() override {}
    void Message(const QString& text, const QString& title, AlertIcon icon) override;
};
