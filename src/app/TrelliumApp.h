#pragma once
#include "app/GuiAlerts.h"
#include "session/SessionContext.h"

#include <QApplication>
#include <memory>

class CMainFrame;

// The desktop program: profile location, main frame, the session file named
// on the command line.
class CTrelliumApp : public QApplication
{
    Q_OBJECT
public:
    CTrelliumApp(int& argc, char** argv);
    ~CTrelliumApp() override;

    // False when the program should end at once.
    bool InitInstance();
    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

private:
    CGuiAlerts m_alerts;
    CSessionContext m_context;
    std::unique_ptr<CMainFrame> m_pMainFrame;
};
