#include "app/MainMenus.h"

#include "app/ChildFrame.h"
#include "app/FrameArranger.h"
#include "app/RecentFileList.h"
#include "base/TrelliumIds.h"
#include "display/ui/DwStatusBar.h"
#include "session/TrelliumDoc.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <algorithm>

CMainMenus::CMainMenus(QMainWindow& window, CDwStatusBar& bar, CRecentFileList& recent,
                       QMdiArea& area, CFrameArranger& arranger)
    : QObject(&window), m_window(window), m_bar(bar), m_recent(recent), m_area(area),
      m_arranger(arranger)
{
    CreateActions();
    CreateMenus();
}

QAction* CMainMenus::AddCommand(QMenu* menu, int id, const QString& text, const QString& prompt)
{
    QAction* action = m_commands.value(id);
    if (!action) {
        action = new QAction(text, &m_window);
        action->setStatusTip(prompt);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { emit Command(id); });
        m_commands.insert(id, action);
    }
    if (menu)
        menu->addAction(action);
    return action;
}

void CMainMenus::CreateActions()
{
    const auto icon = [this](QStyle::StandardPixmap pixmap) {
        return m_window.style()->standardIcon(pixmap);
    };
    AddCommand(nullptr, Ids::CmdFileNew, QStringLiteral("&New"),
               QStringLiteral("Create a new port session"))
        ->setIcon(icon(QStyle::SP_FileIcon));
    AddCommand(nullptr, Ids::CmdFileOpen, QStringLiteral("&Open..."),
               QStringLiteral("Open an existing session file"))
        ->setIcon(icon(QStyle::SP_DialogOpenButton));
    AddCommand(nullptr, Ids::CmdFileSave, QStringLiteral("&Save"),
               QStringLiteral("Save the active session"))
        ->setIcon(icon(QStyle::SP_DialogSaveButton));
    AddCommand(nullptr, Ids::CmdFilePrint, QStringLiteral("&Print..."),
               QStringLiteral("Print the active session's window"))
        ->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    AddCommand(nullptr, Ids::CmdAppAbout, QStringLiteral("&About Trellium..."),
               QStringLiteral("Display program information, version number and copyright"))
        ->setIcon(icon(QStyle::SP_MessageBoxInformation));
    // No key opens it: every key a display takes is the port's.
    AddCommand(nullptr, Ids::CmdFind, QStringLiteral("&Find..."),
               QStringLiteral("Find in the active session's display"))
        ->setIcon(icon(QStyle::SP_FileDialogContentsView));
}

void CMainMenus::CreateMenus()
{
    m_pToolBar = m_window.addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("Toolbar"));
    for (int id : {Ids::CmdFileNew, Ids::CmdFileOpen, Ids::CmdFileSave, Ids::CmdFilePrint,
                   Ids::CmdFind, Ids::CmdAppAbout})
        m_pToolBar->addAction(Action(id));
    QMenuBar* menus = m_window.menuBar();

    m_pFileMenu = menus->addMenu(QStringLiteral("&File"));
    AddCommand(m_pFileMenu, Ids::CmdFileNew, {}, {});
    AddCommand(m_pFileMenu, Ids::CmdFileOpen, {}, {});
    AddCommand(m_pFileMenu, Ids::CmdFileClose, QStringLiteral("&Close"),
               QStringLiteral("Close the active session"));
    AddCommand(m_pFileMenu, Ids::CmdFileSave, {}, {});
    AddCommand(m_pFileMenu, Ids::CmdFileSaveAs, QStringLiteral("Save &As..."),
               QStringLiteral("Save the active session with a new name"));
    m_pFileMenu->addSeparator();
    AddCommand(m_pFileMenu, Ids::CmdFilePrint, {}, {});
    m_pRecentSeparator = m_pFileMenu->addSeparator();
    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* action = m_pFileMenu->addAction(QString(), this, [this, i] {
            if (i < m_recent.Files().size())
                emit RecentChosen(m_recent.Files().at(i));
        });
        action->setData(Ids::CmdFileMruFirst + i);
        m_recentActions.append(action);
    }
    m_pFileMenu->addSeparator();
    AddCommand(m_pFileMenu, Ids::CmdInstallToDrive, QStringLiteral("Install to Flash Drive..."),
               QStringLiteral("Copy Trellium to a flash drive for portable use without "
                              "installation"));
    AddCommand(m_pFileMenu, Ids::CmdAppExit, QStringLiteral("E&xit"),
               QStringLiteral("Quit the application; prompts to save sessions"));

    QMenu* view = menus->addMenu(QStringLiteral("&View"));
    QAction* toolbar = m_pToolBar->toggleViewAction();
    toolbar->setText(QStringLiteral("&Toolbar"));
    toolbar->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    view->addAction(toolbar);
    view->addAction(Action(Ids::CmdFind));
    QAction* bar = view->addAction(QStringLiteral("&Status Bar"));
    bar->setCheckable(true);
    bar->setChecked(true);
    bar->setStatusTip(QStringLiteral("Show or hide the status bar"));
    connect(bar, &QAction::toggled, &m_bar, &QWidget::setVisible);

    m_pOptionsMenu = menus->addMenu(QStringLiteral("&Options"));
    AddCommand(m_pOptionsMenu, Ids::CmdFunctionKeys, QStringLiteral("Function Keys..."),
               QStringLiteral("Set up the function-key macros of the selected session"));
    AddCommand(m_pOptionsMenu, Ids::CmdColors, QStringLiteral("Colors..."),
               QStringLiteral("Set character colors for selected terminal window"));
    AddCommand(m_pOptionsMenu, Ids::CmdTiming, QStringLiteral("Timing..."),
               QStringLiteral("Enable or disable time between data display"));
    AddCommand(m_pOptionsMenu, Ids::CmdEchoSetting, QStringLiteral("Echo &Setting..."), {});
    AddCommand(m_pOptionsMenu, Ids::CmdHistory, QStringLiteral("H&istory..."),
               QStringLiteral("Choose how many lines each session keeps"));
    m_pOptionsMenu->addSeparator();
    // Alt+N: no menu's mnemonic and no port key; a session opened from a
    // file goes online without the mouse.
    AddCommand(m_pOptionsMenu, Ids::CmdOnline, QStringLiteral("O&nline\tAlt+N"),
               QStringLiteral("Open or close the active session's connection"))
        ->setCheckable(true);
    AddCommand(m_pOptionsMenu, Ids::CmdSendBreak, QStringLiteral("Send &Break"),
               QStringLiteral("Hold the serial line in a break for the break length"));
    AddCommand(m_pOptionsMenu, Ids::CmdBreakLength, QStringLiteral("Break &Length..."),
               QStringLiteral("Set how long Send Break holds the line"));
    AddCommand(m_pOptionsMenu, Ids::CmdClear, QStringLiteral("&Clear\tAlt+C"),
               QStringLiteral("Clear the terminal window"));
    AddCommand(m_pOptionsMenu, Ids::CmdHold, QStringLiteral("&Hold\tAlt+H"),
               QStringLiteral("Stop showing received data until Hold is turned off"))
        ->setCheckable(true);

    m_pCaptureMenu = menus->addMenu(QStringLiteral("&Capture"));
    AddCommand(m_pCaptureMenu, Ids::CmdStartCapture, QStringLiteral("&Start Capture"),
               QStringLiteral("Specify a filename to capture received data"));
    AddCommand(m_pCaptureMenu, Ids::CmdEndCapture, QStringLiteral("&End Capture"),
               QStringLiteral("Stop saving received data to capture file"));
    AddCommand(m_pCaptureMenu, Ids::CmdCaptureOptions, QStringLiteral("&Options..."),
               QStringLiteral("Set options for file capture"));

    QMenu* tools = menus->addMenu(QStringLiteral("&Tools"));
    AddCommand(tools, Ids::CmdAsciiChart, QStringLiteral("&ASCII Chart..."),
               QStringLiteral("Display an ASCII chart; characters may be clicked to send to "
                              "selected view"));
    AddCommand(tools, Ids::CmdDataConverter, QStringLiteral("&Data Converter..."),
               QStringLiteral("Convert floating point IEEE-754 values to or from hexadecimal "
                              "representation"));

    m_pWindowMenu = menus->addMenu(QStringLiteral("&Window"));
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMainMenus::RefreshWindowMenu);
    RefreshWindowMenu();

    QMenu* help = menus->addMenu(QStringLiteral("&Help"));
    AddCommand(help, Ids::CmdWebSite, QStringLiteral("Trellium on the &Web"),
               QStringLiteral("Open the Trellium web site"));
    AddCommand(help, Ids::CmdInstructions, QStringLiteral("Instructions"),
               QStringLiteral("Open the instructions document"));
    AddCommand(help, Ids::CmdAppAbout, {}, {});
    RefreshRecent();

    // The status bar shows menu prompts instead of the key panes for as long
    // as a menu of the bar is open, whether or not an item is highlighted.
    for (QMenu* menu : TopMenus()) {
        connect(menu, &QMenu::aboutToShow, this, [this] {
            ++m_nOpenMenus;
            m_bar.SetMenuState(true);
        });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            m_nOpenMenus = std::max(0, m_nOpenMenus - 1);
            if (m_nOpenMenus == 0)
                m_bar.SetMenuState(false);
        });
    }
}

QList<QMenu*> CMainMenus::TopMenus() const
{
    QList<QMenu*> menus;
    for (QAction* action : m_window.menuBar()->actions()) {
        if (action->menu())
            menus.append(action->menu());
    }
    return menus;
}

void CMainMenus::RefreshWindowMenu()
{
    m_pWindowMenu->clear();
    m_pWindowMenu->addAction(QStringLiteral("&Cascade"), this, [this] { m_arranger.Cascade(); })
        ->setStatusTip(QStringLiteral("Arrange windows so they overlap"));
    m_pWindowMenu->addAction(QStringLiteral("&Tile"), &m_area, &QMdiArea::tileSubWindows)
        ->setStatusTip(QStringLiteral("Arrange windows as non-overlapping tiles"));
    m_pWindowMenu
        ->addAction(QStringLiteral("&Arrange Icons"), this, [this] { m_arranger.ArrangeIcons(); })
        ->setStatusTip(QStringLiteral("Arrange icons at the bottom of the window"));
    QList<CChildFrame*> frames;
    for (QMdiSubWindow* window : m_area.subWindowList(QMdiArea::CreationOrder)) {
        if (auto* frame = qobject_cast<CChildFrame*>(window))
            frames.append(frame);
    }
    if (!frames.isEmpty())
        m_pWindowMenu->addSeparator();
    QMap<QString, int> seen;
    for (int i = 0; i < frames.size(); ++i) {
        CChildFrame* frame = frames[i];
        // Sessions with the same title (two new ones) are told apart.
        QString title = frame->windowTitle().trimmed();
        const int earlier = seen[title]++;
        if (earlier > 0)
            title += QStringLiteral(" :%1").arg(earlier + 1);
        QAction* action =
            m_pWindowMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title), this,
                                     [this, frame] { m_area.setActiveSubWindow(frame); });
        action->setCheckable(true);
        action->setChecked(frame == m_area.activeSubWindow());
    }
}

void CMainMenus::Refresh(const CTrelliumDoc* doc, bool instructionsPresent)
{
    const bool hasSession = doc != nullptr;
    for (int id : {Ids::CmdFileClose, Ids::CmdFileSave, Ids::CmdFileSaveAs, Ids::CmdFilePrint})
        Action(id)->setVisible(hasSession);
    m_pOptionsMenu->menuAction()->setVisible(hasSession);
    m_pCaptureMenu->menuAction()->setVisible(hasSession);
    m_pWindowMenu->menuAction()->setVisible(hasSession);
    Action(Ids::CmdHold)->setChecked(hasSession && doc->IsHold());
    Action(Ids::CmdOnline)->setChecked(hasSession && doc->IsOnline());
    Action(Ids::CmdSendBreak)
        ->setEnabled(hasSession && doc->IsOnline() && doc->Info().m_nConnectionType == ConnSerial);
    Action(Ids::CmdStartCapture)->setEnabled(hasSession && !doc->IsCapturing());
    Action(Ids::CmdEndCapture)->setEnabled(hasSession && doc->IsCapturing());
    Action(Ids::CmdFunctionKeys)->setEnabled(hasSession);
    Action(Ids::CmdInstructions)->setEnabled(instructionsPresent);
}

void CMainMenus::RefreshRecent()
{
    const QStringList& files = m_recent.Files();
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions.at(i);
        if (i < files.size()) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files.at(i)));
            action->setVisible(true);
        } else {
            action->setVisible(false);
        }
    }
    m_pRecentSeparator->setVisible(!files.isEmpty());
}
