#include "app/MainFrame.h"

#include "TrelliumVersion.h"
#include "app/AboutBox.h"
#include "app/ChildFrame.h"
#include "app/FileDialogs.h"
#include "app/FlashDrive.h"
#include "app/FrameArranger.h"
#include "app/HelpCommands.h"
#include "app/KeyboardRouter.h"
#include "app/MainMenus.h"
#include "app/MainWorkspace.h"
#include "app/SessionDialogs.h"
#include "app/ToolWindows.h"
#include "base/TrelliumIds.h"
#include "controls/TrelliumView.h"
#include "display/ui/DwStatusBar.h"
#include "display/ui/FindBar.h"
#include "display/ui/RichCtrl.h"
#include "platform/Alerts.h"
#include "platform/Profile.h"
#include "serial/PortList.h"
#include "serial/PortWatcher.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenu>
#include <QUrl>

CMainFrame::CMainFrame(CSessionContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    setWindowTitle(Alerts::AppTitle());
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_pMdiArea);
    m_pStatusBar = new CDwStatusBar(m_context.KeyPanes(), this);
    setStatusBar(m_pStatusBar);
    connect(m_pStatusBar, &CDwStatusBar::Command, this, &CMainFrame::RunCommand);
    m_recent.ReadList();
    m_pArranger = std::make_unique<CFrameArranger>(*this, *m_pMdiArea);
    m_pMenus = new CMainMenus(*this, *m_pStatusBar, m_recent, *m_pMdiArea, *m_pArranger);
    connect(m_pMenus, &CMainMenus::Command, this, &CMainFrame::RunCommand);
    connect(m_pMenus, &CMainMenus::RecentChosen, this, &CMainFrame::OnRecentChosen);
    m_pTools = new CToolWindows(*this);
    m_pFindBar = new CFindBar(this);
    addToolBar(Qt::BottomToolBarArea, m_pFindBar);
    m_pFindBar->hide();
    m_pKeyboard = new CKeyboardRouter(
        *this, [this](int id) { RunCommand(id); },
        [this]() -> QWidget* {
            CChildFrame* frame = ActiveFrame();
            return frame ? frame->GetView()->GetDisplay() : nullptr;
        });
    for (QMenu* menu : m_pMenus->TopMenus())
        m_pKeyboard->WatchMenu(menu);
    // Device changes rebuild the port list once a burst is over; the active
    // session's selector follows (command 3002), as it does when a session
    // marks a port in use.
    m_pPortWatcher = std::make_unique<CPortWatcher>(m_context.Clock(), m_context.Ports(), [this] {
        RefillActivePorts();
        m_context.PortsRebuilt(); // a lost port plugged back in
    });
    m_context.Ports().SetInUseCallback([this] { RefillActivePorts(); });
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnActivated);
    RefreshMenus();

    // A size that shows one whole session, on a 1280x800 screen too, unless
    // the window remembers a size of its own.
    const QByteArray saved =
        Platform::OpenProfile()->value(QStringLiteral("MainFrame/Geometry")).toByteArray();
    if (saved.isEmpty() || !restoreGeometry(saved)) {
        resize(1000, 700);
        m_bFitFirstSession = true;
    }
}

CMainFrame::~CMainFrame()
{
    m_context.Ports().SetInUseCallback({});
    m_context.SetActiveSession(nullptr);
    // The child frames outlive this part of the window; they must not call back.
    for (CChildFrame* frame : findChildren<CChildFrame*>())
        disconnect(frame, nullptr, this, nullptr);
    disconnect(m_pMdiArea, nullptr, this, nullptr);
}

void CMainFrame::OnActivated()
{
    RefreshMenus();
    // The key panes show the active session's macros, and only its.
    CTrelliumDoc* active = ActiveDocument();
    m_context.SetActiveSession(active);
    for (CTrelliumDoc* doc : m_context.Sessions())
        doc->ShowKeysInPanes(doc == active);
    // The chart sends its characters through the active session.
    m_pTools->FollowSession(ActiveFrame());
    // Find searches the active session's display.
    CTrelliumView* view = ActiveFrame() ? ActiveFrame()->GetView() : nullptr;
    m_pFindBar->SetDisplay(view ? view->GetDisplay() : nullptr);
}

QAction* CMainFrame::CommandAction(int id) const
{
    return m_pMenus->Action(id);
}

void CMainFrame::RefreshMenus()
{
    m_pMenus->Refresh(ActiveDocument(), HelpCommands::InstructionsPresent());
}

void CMainFrame::RunCommand(int id)
{
    CChildFrame* frame = ActiveFrame();
    CTrelliumDoc* doc = frame ? frame->GetDocument() : nullptr;
    CTrelliumView* view = frame ? frame->GetView() : nullptr;
    if ((id >= Ids::CmdKeyPressFirst && id < Ids::CmdKeyPressFirst + Ids::KeyCount) ||
        (id >= Ids::CmdFocusPort && id <= Ids::CmdFocusParity) || id == Ids::CmdOnline) {
        if (view)
            view->OnCommand(id);
        return;
    }
    if (id >= Ids::CmdKeySetupFirst && id < Ids::CmdKeySetupFirst + Ids::KeyCount) {
        SessionDialogs::EditFunctionKey(this, frame, id - Ids::CmdKeySetupFirst, *m_pTools);
        return;
    }
    if (id >= Ids::CmdKeyEditFirst && id < Ids::CmdKeyEditFirst + Ids::KeyCount) {
        SessionDialogs::EditFunctionKey(this, frame, id - Ids::CmdKeyEditFirst, *m_pTools);
        return;
    }
    switch (id) {
    case Ids::CmdFunctionKeys:
        SessionDialogs::EditFunctionKey(this, frame, 0, *m_pTools);
        break;
    case Ids::CmdAsciiChart:
        m_pTools->OpenChart(frame);
        break;
    case Ids::CmdDataConverter:
        m_pTools->OpenConverter();
        break;
    case Ids::CmdCaptureOptions:
        SessionDialogs::CaptureOptions(this, frame);
        break;
    case Ids::CmdFileNew:
        NewDocument();
        break;
    case Ids::CmdFileOpen:
        if (const QString path = FileDialogs::AskOpenPath(this); !path.isEmpty())
            OpenDocument(path);
        break;
    case Ids::CmdFileClose:
        if (frame)
            frame->close();
        break;
    case Ids::CmdFileSave:
    case Ids::CmdFileSaveAs:
        if (frame)
            frame->DoSave(id == Ids::CmdFileSaveAs);
        break;
    case Ids::CmdFilePrint:
        if (view)
            view->Print();
        break;
    case Ids::CmdAppExit:
        close();
        break;
    case Ids::CmdColors:
        SessionDialogs::Colors(this, frame);
        break;
    case Ids::CmdTiming:
        SessionDialogs::Timing(this, frame);
        break;
    case Ids::CmdEchoSetting:
        SessionDialogs::EchoSetting(this, frame);
        break;
    case Ids::CmdFind:
        m_pFindBar->SetDisplay(view ? view->GetDisplay() : nullptr);
        m_pFindBar->Open();
        break;
    case Ids::CmdHistory:
        SessionDialogs::History(this, m_context);
        break;
    case Ids::CmdClear:
        if (doc)
            doc->ClearDisplay();
        break;
    case Ids::CmdSendBreak:
        if (doc)
            doc->SendBreak(SessionDialogs::BreakLength());
        break;
    case Ids::CmdBreakLength:
        SessionDialogs::AskBreakLength(this);
        break;
    case Ids::CmdHold:
        if (doc)
            doc->ToggleHold();
        RefreshMenus();
        break;
    case Ids::CmdStartCapture:
        SessionDialogs::StartCapture(frame);
        RefreshMenus();
        break;
    case Ids::CmdEndCapture:
        if (doc)
            doc->EndCapture();
        RefreshMenus();
        break;
    case Ids::CmdPortsChanged:
        OnPortsChanged();
        break;
    case Ids::CmdInstallToDrive:
        FlashDrive::InstallTo(this, HelpCommands::InstructionsPath());
        break;
    case Ids::CmdInstructions:
        HelpCommands::OpenInstructions(this);
        break;
    case Ids::CmdWebSite:
        QDesktopServices::openUrl(QUrl(QStringLiteral(TRELLIUM_WEBSITE)));
        break;
    case Ids::CmdAppAbout: {
        CAboutBox box(windowIcon(), this);
        box.exec();
        break;
    }
    default:
        break;
    }
}

CChildFrame* CMainFrame::AddFrame(std::unique_ptr<CTrelliumDoc> doc)
{
    auto* frame = new CChildFrame(std::move(doc));
    m_pMdiArea->addSubWindow(frame);
    frame->setWindowIcon(windowIcon());
    connect(frame, &CChildFrame::DocumentSaved, this, [this](const QString& path) {
        m_recent.Add(path);
        m_pMenus->RefreshRecent();
    });
    connect(frame, &QObject::destroyed, this, [this] { RefreshMenus(); });
    // Queued: the sub-window finishes minimising (and takes the focus to its
    // icon) before the keyboard is handed on.
    connect(
        frame, &QMdiSubWindow::windowStateChanged, this,
        [this, frame](Qt::WindowStates, Qt::WindowStates state) {
            OnFrameStateChanged(frame, state);
        },
        Qt::QueuedConnection);
    connect(frame->GetDocument(), &CTrelliumDoc::TitleChanged, this, [this] { RefreshMenus(); });
    m_pArranger->PlaceNewFrame(frame);
    frame->show();
    if (m_bFitFirstSession) {
        m_bFitFirstSession = false;
        m_pArranger->FitToSession(frame->size());
    }
    m_pKeyboard->GoFirst();
    RefreshMenus();
    return frame;
}

void CMainFrame::OnFrameStateChanged(CChildFrame* frame, Qt::WindowStates state)
{
    if (!(state & Qt::WindowMinimized) || m_pMdiArea->activeSubWindow() != frame)
        return;
    const QList<QMdiSubWindow*> stacked = m_pMdiArea->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stacked.rbegin(); it != stacked.rend(); ++it) {
        if (*it != frame && !(*it)->isMinimized() && (*it)->isVisible()) {
            m_pMdiArea->setActiveSubWindow(*it);
            // Activation alone leaves the keyboard with the minimised frame.
            if (auto* next = qobject_cast<CChildFrame*>(*it))
                next->GetView()->GetDisplay()->setFocus();
            return;
        }
    }
}

CChildFrame* CMainFrame::NewDocument()
{
    CChildFrame* frame = AddFrame(std::make_unique<CTrelliumDoc>(m_context));
    frame->GetDocument()->OnNewDocument();
    return frame;
}

CChildFrame* CMainFrame::OpenDocument(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    for (CChildFrame* frame : Frames()) {
        if (QFileInfo(frame->GetDocument()->GetPathName()).absoluteFilePath() == full) {
            m_pMdiArea->setActiveSubWindow(frame);
            return frame;
        }
    }
    auto doc = std::make_unique<CTrelliumDoc>(m_context);
    CTrelliumDoc* raw = doc.get();
    CChildFrame* frame = AddFrame(std::move(doc));
    if (!raw->OnOpenDocument(full)) {
        frame->GetDocument()->SetModifiedFlag(false);
        frame->close();
        return nullptr;
    }
    m_recent.Add(full);
    m_pMenus->RefreshRecent();
    return frame;
}

void CMainFrame::OnRecentChosen(const QString& path)
{
    if (!OpenDocument(path))
        m_recent.Remove(path);
    m_pMenus->RefreshRecent();
}

CChildFrame* CMainFrame::ActiveFrame() const
{
    return qobject_cast<CChildFrame*>(m_pMdiArea->activeSubWindow());
}

CTrelliumDoc* CMainFrame::ActiveDocument() const
{
    CChildFrame* frame = ActiveFrame();
    return frame ? frame->GetDocument() : nullptr;
}

QList<CChildFrame*> CMainFrame::Frames() const
{
    QList<CChildFrame*> frames;
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* frame = qobject_cast<CChildFrame*>(window))
            frames.append(frame);
    }
    return frames;
}

void CMainFrame::OnPortsChanged()
{
    m_pPortWatcher->PortsChanged();
}

bool CMainFrame::WatchDevices()
{
    return m_pPortWatcher->WatchDevices();
}

void CMainFrame::RefillActivePorts()
{
    if (CChildFrame* frame = ActiveFrame())
        frame->GetView()->OnCommand(Ids::CmdRefillPorts);
}

bool CMainFrame::SaveWorkspace()
{
    return MainWorkspace::Save(m_context, Frames());
}

int CMainFrame::RestoreWorkspace()
{
    return MainWorkspace::Restore(*m_pMdiArea,
                                  [this](const QString& path) { return OpenDocument(path); });
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    const QList<CChildFrame*> frames = Frames();
    for (CChildFrame* frame : frames) {
        if (!frame->SaveModified()) {
            event->ignore();
            return;
        }
    }
    // Written after the questions, so that a session saved in answer to one
    // is recorded with its file; one that cannot be written never keeps the
    // window open.
    SaveWorkspace();
    Platform::OpenProfile()->setValue(QStringLiteral("MainFrame/Geometry"), saveGeometry());
    for (CChildFrame* frame : frames) {
        frame->GetDocument()->SetModifiedFlag(false);
        frame->close();
    }
    event->accept();
}
