#include "app/TrelliumApp.h"

#include "TrelliumVersion.h"
#include "app/MainFrame.h"

#include <QCommandLineParser>

CTrelliumApp::CTrelliumApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral(TRELLIUM_COMPANY));
    setApplicationName(QStringLiteral(TRELLIUM_PRODUCT_NAME));
    setApplicationVersion(QStringLiteral(TRELLIUM_PRODUCT_VERSION));
    Alerts::SetHandler(&m_alerts);
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
    parser.process(*this);

    m_pMainFrame = std::make_unique<CMainFrame>(m_context);
    m_pMainFrame->show();

    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        // A fresh start opens one new session.
        m_pMainFrame->NewDocument();
    } else {
        for (const QString& file : files)
            m_pMainFrame->OpenDocument(file);
    }
    return true;
}
