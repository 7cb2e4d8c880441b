#include "app/MainFrame.h"

#include "TrelliumVersion.h"
#include "app/AboutBox.h"
#include "app/ChildFrame.h"
#include "app/FileDialogs.h"
#include "app/FlashDrive.h"
#include "base/TrelliumIds.h"
#include "controls/SettingsDialogs.h"
#include "controls/TrelliumView.h"
#include "display/ui/ColorDlg.h"
#include "display/ui/DwStatusBar.h"
#include "display/ui/RichCtrl.h"
#include "display/ui/TimingDlg.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "send/ui/FKeyDlg.h"
#include "serial/PortList.h"
#include "serial/PortWatcher.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/ui/CapDlg.h"
#include "session/ui/SaveFileDialog.h"
#include "tools/ui/ASCIIWnd.h"
#include "tools/ui/ConverterWnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

namespace {
// The Alt accelerators; everything else a user types belongs to the port.
struct CAccelerator
{
    int key;
    int command;
};
constexpr CAccelerator kAccelerators[] = {
    {Qt::Key_B, Ids::CmdFocusBaud},     {Qt::Key_C, Ids::CmdClear},
    {Qt::Key_D, Ids::CmdFocusDataBits}, {Qt::Key_H, Ids::CmdHold},
    {Qt::Key_L, Ids::CmdFocusFlow},     {Qt::Key_M, Ids::CmdFocusMode},
    {Qt::Key_P, Ids::CmdFocusPort},     {Qt::Key_R, Ids::CmdFocusParity},
    {Qt::Key_S, Ids::CmdFocusStopBits},
};

QString InstructionsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Trelm32.pdf");
}

} // namespace

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
    CreateActions();
    CreateMenus();
    // Device changes rebuild the port list once a burst is over; the active
    // session's selector follows (command 3002), as it does when a session
    // marks a port in use.
    m_pPortWatcher = std::make_unique<CPortWatcher>(m_context.Clock(), m_context.Ports(),
                                                    [this] { RefillActivePorts(); });
    m_context.Ports().SetInUseCallback([this] { RefillActivePorts(); });
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] {
        RefreshMenus();
        // The key panes show the active session's macros.
        if (CTrelliumDoc* doc = ActiveDocument())
            doc->RefreshKeyLabels(false, false);
        // The chart sends its characters through the active session.
        if (m_pChart && ActiveFrame())
            m_pChart->SetListener(ActiveFrame()->GetView(), ActiveFrame()->GetView());
    });
    RefreshMenus();
    qApp->installEventFilter(this);

    // A size that shows one whole session, on a 1280x800 screen too, unless
    // the window remembers a size of its own.
    const QByteArray saved =
        Platform::OpenProfile()->value(QStringLiteral("MainFrame/Geometry")).toByteArray();
    if (saved.isEmpty() || !restoreGeometry(saved)) {
        resize(1000, 700);
        m_bFitFirstSession = true;
    }
}

// A window without a remembered size takes one that shows the first session
// whole, with room to cascade a few more, within the screen.
void CMainFrame::FitToSession(const QSize& session)
{
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    const QSize around = size() - m_pMdiArea->viewport()->size();
    QSize wanted = session + QSize(3 * step, 3 * step) + around;
    const QScreen* shown = screen();
    if (!shown)
        return;
    // The window manager's frame around the window takes some room too.
    const QRect room = shown->availableGeometry().adjusted(8, 8, -8, -40);
    wanted = wanted.boundedTo(room.size());
    resize(wanted);
    move(room.center() - QPoint(wanted.width() / 2, wanted.height() / 2));
}

CMainFrame::~CMainFrame()
{
    m_context.Ports().SetInUseCallback({});
    qApp->removeEventFilter(this);
    // The child frames outlive this part of the window; they must not call back.
    for (CChildFrame* frame : findChildren<CChildFrame*>())
        disconnect(frame, nullptr, this, nullptr);
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const QString& text, const QString& prompt)
{
    QAction* action = m_commands.value(id);
    if (!action) {
        action = new QAction(text, this);
        action->setStatusTip(prompt);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        m_commands.insert(id, action);
    }
    if (menu)
        menu->addAction(action);
    return action;
}

QAction* CMainFrame::CommandAction(int id) const
{
    return m_commands.value(id);
}

void CMainFrame::CreateActions()
{
    const auto icon = [this](QStyle::StandardPixmap pixmap) {
        return style()->standardIcon(pixmap);
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
}

void CMainFrame::CreateMenus()
{
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("Toolbar"));
    for (int id :
         {Ids::CmdFileNew, Ids::CmdFileOpen, Ids::CmdFileSave, Ids::CmdFilePrint, Ids::CmdAppAbout})
        m_pToolBar->addAction(CommandAction(id));

    m_pFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
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
            if (i < m_recent.Files().size()) {
                const QString path = m_recent.Files().at(i);
                if (!OpenDocument(path))
                    m_recent.Remove(path);
                RefreshRecentMenu();
            }
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

    m_pViewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* toolbar = m_pToolBar->toggleViewAction();
    toolbar->setText(QStringLiteral("&Toolbar"));
    toolbar->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    m_pViewMenu->addAction(toolbar);
    QAction* bar = m_pViewMenu->addAction(QStringLiteral("&Status Bar"));
    bar->setCheckable(true);
    bar->setChecked(true);
    bar->setStatusTip(QStringLiteral("Show or hide the status bar"));
    connect(bar, &QAction::toggled, m_pStatusBar, &QWidget::setVisible);

    m_pOptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    AddCommand(m_pOptionsMenu, Ids::CmdFunctionKeys, QStringLiteral("Function Keys..."),
               QStringLiteral("Set up the function-key macros of the selected session"));
    AddCommand(m_pOptionsMenu, Ids::CmdColors, QStringLiteral("Colors..."),
               QStringLiteral("Set character colors for selected terminal window"));
    AddCommand(m_pOptionsMenu, Ids::CmdTiming, QStringLiteral("Timing..."),
               QStringLiteral("Enable or disable time between data display"));
    AddCommand(m_pOptionsMenu, Ids::CmdEchoSetting, QStringLiteral("Echo &Setting..."), {});
    m_pOptionsMenu->addSeparator();
    AddCommand(m_pOptionsMenu, Ids::CmdClear, QStringLiteral("&Clear\tAlt+C"),
               QStringLiteral("Clear the terminal window"));
    AddCommand(m_pOptionsMenu, Ids::CmdHold, QStringLiteral("&Hold\tAlt+H"),
               QStringLiteral("Stop showing received data until Hold is turned off"))
        ->setCheckable(true);

    m_pCaptureMenu = menuBar()->addMenu(QStringLiteral("&Capture"));
    AddCommand(m_pCaptureMenu, Ids::CmdStartCapture, QStringLiteral("&Start Capture"),
               QStringLiteral("Specify a filename to capture received data"));
    AddCommand(m_pCaptureMenu, Ids::CmdEndCapture, QStringLiteral("&End Capture"),
               QStringLiteral("Stop saving received data to capture file"));
    AddCommand(m_pCaptureMenu, Ids::CmdCaptureOptions, QStringLiteral("&Options..."),
               QStringLiteral("Set options for file capture"));

    m_pToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    AddCommand(m_pToolsMenu, Ids::CmdAsciiChart, QStringLiteral("&ASCII Chart..."),
               QStringLiteral("Display an ASCII chart; characters may be clicked to send to "
                              "selected view"));
    AddCommand(m_pToolsMenu, Ids::CmdDataConverter, QStringLiteral("&Data Converter..."),
               QStringLiteral("Convert floating point IEEE-754 values to or from hexadecimal "
                              "representation"));

    m_pWindowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMainFrame::RefreshWindowMenu);
    RefreshWindowMenu();

    m_pHelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    AddCommand(m_pHelpMenu, Ids::CmdWebSite, QStringLiteral("Trellium on the &Web"),
               QStringLiteral("Open the Trellium web site"));
    AddCommand(m_pHelpMenu, Ids::CmdInstructions, QStringLiteral("Instructions"),
               QStringLiteral("Open the instructions document"));
    AddCommand(m_pHelpMenu, Ids::CmdAppAbout, {}, {});
    RefreshRecentMenu();

    // The status bar shows menu prompts instead of the key panes for as long
    // as a menu of the bar is open, whether or not an item is highlighted.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToShow, this, [this] {
            ++m_nOpenMenus;
            m_pStatusBar->SetMenuState(true);
        });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            m_nOpenMenus = std::max(0, m_nOpenMenus - 1);
            if (m_nOpenMenus == 0)
                m_pStatusBar->SetMenuState(false);
        });
    }
}

void CMainFrame::RefreshWindowMenu()
{
    m_pWindowMenu->clear();
    m_pWindowMenu->addAction(QStringLiteral("&Cascade"), this, &CMainFrame::Cascade)
        ->setStatusTip(QStringLiteral("Arrange windows so they overlap"));
    m_pWindowMenu->addAction(QStringLiteral("&Tile"), m_pMdiArea, &QMdiArea::tileSubWindows)
        ->setStatusTip(QStringLiteral("Arrange windows as non-overlapping tiles"));
    m_pWindowMenu->addAction(QStringLiteral("&Arrange Icons"), this, &CMainFrame::ArrangeIcons)
        ->setStatusTip(QStringLiteral("Arrange icons at the bottom of the window"));
    const QList<CChildFrame*> frames = Frames();
    if (!frames.isEmpty())
        m_pWindowMenu->addSeparator();
    for (int i = 0; i < frames.size(); ++i) {
        CChildFrame* frame = frames[i];
        QAction* action = m_pWindowMenu->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(frame->windowTitle()), this,
            [this, frame] { m_pMdiArea->setActiveSubWindow(frame); });
        action->setCheckable(true);
        action->setChecked(frame == ActiveFrame());
    }
}

void CMainFrame::RefreshMenus()
{
    CTrelliumDoc* doc = ActiveDocument();
    const bool hasSession = doc != nullptr;
    for (int id : {Ids::CmdFileClose, Ids::CmdFileSave, Ids::CmdFileSaveAs, Ids::CmdFilePrint})
        CommandAction(id)->setVisible(hasSession);
    m_pOptionsMenu->menuAction()->setVisible(hasSession);
    m_pCaptureMenu->menuAction()->setVisible(hasSession);
    m_pWindowMenu->menuAction()->setVisible(hasSession);
    CommandAction(Ids::CmdHold)->setChecked(hasSession && doc->IsHold());
    CommandAction(Ids::CmdStartCapture)->setEnabled(hasSession && !doc->IsCapturing());
    CommandAction(Ids::CmdEndCapture)->setEnabled(hasSession && doc->IsCapturing());
    CommandAction(Ids::CmdFunctionKeys)->setEnabled(hasSession);
    const QFileInfo instructions(InstructionsPath());
    CommandAction(Ids::CmdInstructions)->setEnabled(instructions.exists() && !instructions.isDir());
}

void CMainFrame::RefreshRecentMenu()
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

int CMainFrame::AcceleratorCommand(const QKeyEvent* event) const
{
    if (event->modifiers() != Qt::AltModifier)
        return 0;
    const int key = event->key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return Ids::CmdKeySetupFirst + (key - Qt::Key_F1);
    for (const CAccelerator& accelerator : kAccelerators) {
        if (accelerator.key == key)
            return accelerator.command;
    }
    return 0;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+Tab in a display is a tab for the port, not the next window.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* display = qobject_cast<CRichCtrl*>(watched);
        if (display && (key->modifiers() & Qt::ControlModifier) &&
            (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                display->TypeKey(key);
            return true;
        }
    }
    // The Alt accelerators come before the menus' mnemonics, as Alt+C clears
    // and Alt+H holds; the menus open with Alt pressed and released first.
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        QApplication::activeWindow() == this && !QApplication::activePopupWidget()) {
        const int command = AcceleratorCommand(static_cast<QKeyEvent*>(event));
        if (command) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                RunCommand(command);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RunCommand(int id)
{
    CChildFrame* frame = ActiveFrame();
    CTrelliumDoc* doc = frame ? frame->GetDocument() : nullptr;
    CTrelliumView* view = frame ? frame->GetView() : nullptr;
    if ((id >= Ids::CmdKeyPressFirst && id < Ids::CmdKeyPressFirst + Ids::KeyCount) ||
        (id >= Ids::CmdFocusPort && id <= Ids::CmdFocusParity)) {
        if (view)
            view->OnCommand(id);
        return;
    }
    if (id >= Ids::CmdKeySetupFirst && id < Ids::CmdKeySetupFirst + Ids::KeyCount) {
        EditFunctionKey(id - Ids::CmdKeySetupFirst);
        return;
    }
    if (id >= Ids::CmdKeyEditFirst && id < Ids::CmdKeyEditFirst + Ids::KeyCount) {
        EditFunctionKey(id - Ids::CmdKeyEditFirst);
        return;
    }
    switch (id) {
    case Ids::CmdFunctionKeys:
        EditFunctionKey(0);
        break;
    case Ids::CmdAsciiChart:
        OpenAsciiChart();
        break;
    case Ids::CmdDataConverter:
        OpenConverter();
        break;
    case Ids::CmdCaptureOptions:
        if (doc) {
            CCapDlg dialog(&doc->m_capture, this);
            if (dialog.exec() == QDialog::Accepted)
                doc->SetModifiedFlag();
        }
        break;
    case Ids::CmdFileNew:
        NewDocument();
        break;
    case Ids::CmdFileOpen:
        OnFileOpen();
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
        OnColors();
        break;
    case Ids::CmdTiming:
        OnTiming();
        break;
    case Ids::CmdEchoSetting:
        OnEchoSetting();
        break;
    case Ids::CmdClear:
        if (doc)
            doc->ClearDisplay();
        break;
    case Ids::CmdHold:
        if (doc)
            doc->ToggleHold();
        RefreshMenus();
        break;
    case Ids::CmdStartCapture:
        OnStartCapture();
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
        OnInstallToDrive();
        break;
    case Ids::CmdInstructions:
        OnInstructions();
        break;
    case Ids::CmdWebSite:
        QDesktopServices::openUrl(QUrl(QStringLiteral(TRELLIUM_WEBSITE)));
        break;
    case Ids::CmdAppAbout:
        OnAbout();
        break;
    default:
        break;
    }
}

void CMainFrame::PlaceNewFrame(CChildFrame* frame)
{
    // Each new frame stands a title bar further down and right than the last,
    // never exactly on top of another.
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame) + 4;
    const int n = m_nNewFrames++ % 8;
    frame->move(n * step, n * step);
}

CChildFrame* CMainFrame::AddFrame(std::unique_ptr<CTrelliumDoc> doc)
{
    auto* frame = new CChildFrame(std::move(doc));
    m_pMdiArea->addSubWindow(frame);
    frame->setWindowIcon(windowIcon());
    connect(frame, &CChildFrame::DocumentSaved, this, [this](const QString& path) {
        m_recent.Add(path);
        RefreshRecentMenu();
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
    PlaceNewFrame(frame);
    frame->show();
    if (m_bFitFirstSession) {
        m_bFitFirstSession = false;
        FitToSession(frame->size());
    }
    // The window's filter goes first again, ahead of the one the
    // multi-document area sets up for its window switching.
    qApp->removeEventFilter(this);
    qApp->installEventFilter(this);
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
    RefreshRecentMenu();
    return frame;
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

void CMainFrame::Cascade()
{
    // Frames keep the size that shows their session; each stands a title bar
    // below and right of the one before, the active one last, in front.
    QList<CChildFrame*> frames = Frames();
    if (CChildFrame* active = ActiveFrame()) {
        frames.removeOne(active);
        frames.append(active);
    }
    int n = 0;
    for (CChildFrame* frame : frames) {
        if (frame->isMinimized())
            continue;
        frame->showNormal();
        const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame) + 4;
        const QSize wanted = frame->SessionSize().boundedTo(m_pMdiArea->viewport()->size());
        frame->setGeometry(n * step, n * step, wanted.width(), wanted.height());
        frame->raise();
        ++n;
    }
}

void CMainFrame::ArrangeIcons()
{
    // Minimised frames in a row along the bottom, left to right.
    int x = 0;
    const int bottom = m_pMdiArea->viewport()->height();
    for (CChildFrame* frame : Frames()) {
        if (!frame->isMinimized())
            continue;
        const QSize size = frame->size();
        if (x + size.width() > m_pMdiArea->viewport()->width())
            x = 0;
        frame->move(x, bottom - size.height());
        x += size.width();
    }
}

namespace {

// A tool window opened again: restored when minimised, else brought to the top.
void BringBack(QWidget* window)
{
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->raise();
        window->activateWindow();
    }
}

} // namespace

CASCIIWnd* CMainFrame::OpenAsciiChart()
{
    if (m_pChart) {
        BringBack(m_pChart);
        return m_pChart;
    }
    m_pChart = new CASCIIWnd(this);
    m_pChart->setWindowIcon(windowIcon());
    if (CChildFrame* frame = ActiveFrame())
        m_pChart->SetListener(frame->GetView(), frame->GetView());
    m_pChart->show();
    return m_pChart;
}

CConverterWnd* CMainFrame::OpenConverter()
{
    if (m_pConverter) {
        BringBack(m_pConverter);
        return m_pConverter;
    }
    m_pConverter = new CConverterWnd(this);
    m_pConverter->setWindowIcon(windowIcon());
    m_pConverter->show();
    return m_pConverter;
}

void CMainFrame::EditFunctionKey(int key)
{
    CChildFrame* frame = ActiveFrame();
    if (!frame)
        return;
    CTrelliumDoc* doc = frame->GetDocument();
    bool accepted = false;
    {
        CFKeyDlg dialog(&doc->m_funcKeys, key, this);
        dialog.SetChartOpener([this] { return OpenAsciiChart(); }, m_pChart);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    // The chart goes back to sending through the session.
    if (m_pChart)
        m_pChart->SetListener(frame->GetView(), frame->GetView());
    if (!accepted)
        return;
    doc->SetModifiedFlag();
    doc->RefreshKeyLabels(false, false);
}

void CMainFrame::OnFileOpen()
{
    const QString path = FileDialogs::AskOpenPath(this);
    if (!path.isEmpty())
        OpenDocument(path);
}

void CMainFrame::OnColors()
{
    CChildFrame* frame = ActiveFrame();
    if (!frame)
        return;
    auto info = frame->GetDocument()->EditInfo();
    CColorDlg dialog(&info->m_colors, this);
    // Colours picked before Cancel stay in the session; the display takes
    // them for new text only when the dialog ends with OK.
    if (dialog.exec() == QDialog::Accepted)
        frame->GetView()->GetDisplay()->UpdateColors();
}

void CMainFrame::OnTiming()
{
    CChildFrame* frame = ActiveFrame();
    if (!frame)
        return;
    auto info = frame->GetDocument()->EditInfo();
    CTimingDlg dialog(&info->m_timing, this);
    dialog.exec();
}

void CMainFrame::OnEchoSetting()
{
    CTrelliumDoc* doc = ActiveDocument();
    if (!doc)
        return;
    bool changed = false;
    {
        auto info = doc->EditInfo();
        CCommSettingsDlg dialog(&*info, this);
        changed = dialog.exec() == QDialog::Accepted && dialog.IsChanged();
    }
    if (changed) {
        doc->SetModifiedFlag();
        doc->UpdateTitle();
    }
}

void CMainFrame::OnStartCapture()
{
    CChildFrame* frame = ActiveFrame();
    if (!frame)
        return;
    const QString path = SaveFileDialog::AskCapture(frame, QStringLiteral("Start Capture"));
    if (path.isEmpty())
        return;
    if (!frame->GetDocument()->StartCapture(path))
        QMessageBox::warning(frame->GetView(), Alerts::AppTitle(),
                             QStringLiteral("Error - Cannot open file [%1] to capture data: %2")
                                 .arg(path, frame->GetDocument()->CaptureProblem()));
    RefreshMenus();
}

void CMainFrame::OnAbout()
{
    CAboutBox box(windowIcon(), this);
    box.exec();
}

void CMainFrame::OnInstructions()
{
    const QFileInfo file(InstructionsPath());
    if (file.exists() && !file.isDir())
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void CMainFrame::OnInstallToDrive()
{
    FlashDrive::InstallTo(this, InstructionsPath());
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
    std::vector<CWorkspaceRecord> records;
    const QList<CChildFrame*> frames = Frames();
    for (CTrelliumDoc* doc : m_context.Sessions()) {
        for (CChildFrame* frame : frames) {
            if (frame->GetDocument() == doc)
                records.push_back(frame->WindowState());
        }
    }
    const QString path = Workspace::FilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!Workspace::Write(file, records)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int CMainFrame::RestoreWorkspace()
{
    QFile file(Workspace::FilePath());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const Workspace::CReadResult workspace = Workspace::Read(file);
    int opened = 0;
    CChildFrame* maximised = nullptr;
    for (const CWorkspaceRecord& record : workspace.records) {
        if (record.path.isEmpty())
            continue;
        const QString path = QFile::decodeName(record.path);
        // A session file that is gone is skipped without a message.
        if (!QFileInfo(path).isFile())
            continue;
        if (CChildFrame* frame = OpenDocument(path)) {
            frame->RestoreWindowState(record);
            if (record.showCommand == CWorkspaceRecord::ShowMaximized)
                maximised = frame;
            ++opened;
        }
    }
    // Opening a frame after a maximised one takes the maximised state over:
    // the maximised frame is made so again last, and is the active one.
    if (maximised) {
        m_pMdiArea->setActiveSubWindow(maximised);
        maximised->showMaximized();
    }
    return opened;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // The workspace is written first; one that cannot be written never keeps
    // the window open.
    SaveWorkspace();
    const QList<CChildFrame*> frames = Frames();
    for (CChildFrame* frame : frames) {
        if (!frame->SaveModified()) {
            event->ignore();
            return;
        }
    }
    Platform::OpenProfile()->setValue(QStringLiteral("MainFrame/Geometry"), saveGeometry());
    for (CChildFrame* frame : frames) {
        frame->GetDocument()->SetModifiedFlag(false);
        frame->close();
    }
    event->accept();
}
