#include "platform/Alerts.h"

#include "TrelliumVersion.h"

#include <atomic>
#include <cstdio>

namespace {

class CStderrAlerts final : public CAlertHandler
{
public:
    void Beep() override {}
    void Message(const QString& text, const QString& title, AlertIcon) override
    {
        const QByteArray line =
            (title.isEmpty() ? text : title + QStringLiteral(": ") + text).toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
        std::fflush(stderr);
    }
};

CStderrAlerts g_stderrAlerts;
std::atomic<CAlertHandler*> g_handler{&g_stderrAlerts};

} // namespace

namespace Alerts {

void Beep()
{
    g_handler.load()->Beep();
}

void Message(const QString& text, const QString& title, AlertIcon icon)
{
    g_handler.load()->Message(text, title, icon);
}

bool Ask(const QString& text, const QString& title)
{
    return g_handler.load()->Ask(text, title);
}

void SetHandler(CAlertHandler* handler)
{
    g_handler.store(handler ? handler : &g_stderrAlerts);
}

QString AppTitle()
{
    return QStringLiteral(TRELLIUM_PRODUCT_NAME);
}

} // namespace Alerts
