#include "app/TrelliumApp.h"

#include "net/TCPIPSvr.h"

#include "TrelliumVersion.h"
#include "app/AppIcon.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "base/TrelliumIds.h"
#include "platform/Socket.h"
#include "session/HistorySetting.h"
#include "session/TrelliumDoc.h"

#include <QCommandLineParser>

CTrelliumApp::CTrelliumApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral(TRELLIUM_COMPANY));
    setApplicationName(QStringLiteral(TRELLIUM_PRODUCT_NAME));
    setApplicationVersion(QStringLiteral(TRELLIUM_PRODUCT_VERSION));
    // Lets the desktop match the windows to the installed desktop entry.
    setDesktopFileName(QStringLiteral(TRELLIUM_APP_ID));
    Alerts::SetHandler(&m_alerts);
    setWindowIcon(TrelliumIcon());
    // A TCP server session may hold its full count of clients, each a descriptor.
    Platform::RaiseOpenFileLimit(CTCPIPSvr::kMaxClients + kSpareDescriptors);
    m_context.SetDeliveryFrameMs(kDisplayFrameMs);
    m_context.SetHistoryLines(HistorySetting::Load());
}

CTrelliumApp::~CTrelliumApp()
{
    m_pMainFrame.reset();
    Alerts::SetHandler(nullptr);
}

bool CTrelliumApp::InitInstance()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Communications test utility"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A session file (.trw) to open."));
    const QCommandLineOption online(QStringLiteral("online"),
                                    QStringLiteral("Open the files' sessions online."));
    parser.addOption(online);
    parser.process(*this);

    m_pMainFrame = std::make_unique<CMainFrame>(m_context);
    m_pMainFrame->setWindowIcon(windowIcon());
    m_pMainFrame->show();

    const QStringList files = parser.positionalArguments();
    for (const QString& file : files) {
        CChildFrame* frame = m_pMainFrame->OpenDocument(file);
        // As the Online switch would, for scripts and lab launchers.
        if (frame && parser.isSet(online) && !frame->GetDocument()->IsOnline())
            frame->GetDocument()->ToggleOnline();
    }
    // Command 3008: the workspace comes back once the window is up; a fresh
    // start with nothing restored and no file given opens one new session.
    QMetaObject::invokeMethod(
        m_pMainFrame.get(),
        [this, files] {
            const int restored = m_pMainFrame->RestoreWorkspace();
            if (restored == 0 && files.isEmpty())
                m_pMainFrame->NewDocument();
            // Serial adapters plugged in or pulled from now on refresh the list.
            m_pMainFrame->WatchDevices();
        },
        Qt::QueuedConnection);
    return true;
}
