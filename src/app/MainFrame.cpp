#include "app/MainFrame.h"

#include "TrelliumVersion.h"
#include "app/ChildFrame.h"
#include "app/FileDialogs.h"
#include "controls/TrelliumView.h"
#include "display/ui/ColorDlg.h"
#include "display/ui/RichCtrl.h"
#include "display/ui/TimingDlg.h"
#include "platform/Alerts.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/TrelliumIds.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

namespace {
CMainFrame* g_mainFrame = nullptr;
}

CMainFrame* CMainFrame::Instance()
{
    return g_mainFrame;
}

CMainFrame::CMainFrame(CSessionContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    g_mainFrame = this;
    setWindowTitle(Alerts::AppTitle());
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_pMdiArea);
    statusBar();
    m_recent.ReadList();
    CreateMenus();
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] { RefreshMenus(); });
    RefreshMenus();
    resize(1000, 700);
}

CMainFrame::~CMainFrame()
{
    // The child frames outlive this part of the window; they must not call back.
    for (CChildFrame* frame : findChildren<CChildFrame*>())
        disconnect(frame, nullptr, this, nullptr);
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
}

namespace {

// One menu command: its text, status-bar prompt and optional shortcut.
template <typename Slot>
QAction* AddCommand(QMenu* menu, const QString& text, const QString& prompt, CMainFrame* frame,
                    Slot slot, const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(text, frame, slot);
    action->setStatusTip(prompt);
    action->setShortcut(shortcut);
    return action;
}

} // namespace

void CMainFrame::CreateMenus()
{
    m_pFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    AddCommand(
        m_pFileMenu, QStringLiteral("&New"), QStringLiteral("Create a new port session"), this,
        [this] { NewDocument(); }, QKeySequence::New);
    AddCommand(
        m_pFileMenu, QStringLiteral("&Open..."), QStringLiteral("Open an existing session file"),
        this, [this] { OnFileOpen(); }, QKeySequence::Open);
    m_pCloseAction =
        AddCommand(m_pFileMenu, QStringLiteral("&Close"),
                   QStringLiteral("Close the active session"), this, [this] { OnFileClose(); });
    m_pSaveAction = AddCommand(
        m_pFileMenu, QStringLiteral("&Save"), QStringLiteral("Save the active session"), this,
        [this] { OnFileSave(false); }, QKeySequence::Save);
    m_pSaveAsAction = AddCommand(m_pFileMenu, QStringLiteral("Save &As..."),
                                 QStringLiteral("Save the active session with a new name"), this,
                                 [this] { OnFileSave(true); });
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
    AddCommand(m_pFileMenu, QStringLiteral("E&xit"),
               QStringLiteral("Quit the application; prompts to save sessions"), this,
               [this] { close(); });

    m_pOptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    AddCommand(m_pOptionsMenu, QStringLiteral("Colors..."),
               QStringLiteral("Set character colors for selected terminal window"), this,
               [this] { OnColors(); })
        ->setData(Ids::CmdColors);
    AddCommand(m_pOptionsMenu, QStringLiteral("Timing..."),
               QStringLiteral("Enable or disable time between data display"), this,
               [this] { OnTiming(); })
        ->setData(Ids::CmdTiming);
    m_pOptionsMenu->addSeparator();
    AddCommand(
        m_pOptionsMenu, QStringLiteral("&Clear"), QStringLiteral("Clear the terminal window"), this,
        [this] {
            if (CTrelliumDoc* doc = ActiveDocument())
                doc->ClearDisplay();
        },
        QKeySequence(Qt::ALT | Qt::Key_C));
    m_pHoldAction = AddCommand(
        m_pOptionsMenu, QStringLiteral("&Hold"),
        QStringLiteral("Stop showing received data until Hold is turned off"), this,
        [this] {
            if (CTrelliumDoc* doc = ActiveDocument())
                doc->ToggleHold();
            RefreshMenus();
        },
        QKeySequence(Qt::ALT | Qt::Key_H));
    m_pHoldAction->setCheckable(true);

    m_pWindowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    m_pWindowMenu->addAction(QStringLiteral("&Cascade"), m_pMdiArea, &QMdiArea::cascadeSubWindows);
    m_pWindowMenu->addAction(QStringLiteral("&Tile"), m_pMdiArea, &QMdiArea::tileSubWindows);
    m_pWindowMenu->addAction(QStringLiteral("&Arrange Icons"), m_pMdiArea,
                             &QMdiArea::tileSubWindows);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Trellium..."), this, [this] { OnAbout(); });

    RefreshRecentMenu();
}

void CMainFrame::RefreshMenus()
{
    CTrelliumDoc* doc = ActiveDocument();
    const bool hasSession = doc != nullptr;
    m_pCloseAction->setVisible(hasSession);
    m_pSaveAction->setVisible(hasSession);
    m_pSaveAsAction->setVisible(hasSession);
    m_pOptionsMenu->menuAction()->setVisible(hasSession);
    m_pWindowMenu->menuAction()->setVisible(hasSession);
    m_pHoldAction->setChecked(hasSession && doc->IsHold());
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

CChildFrame* CMainFrame::AddFrame(std::unique_ptr<CTrelliumDoc> doc)
{
    auto* frame = new CChildFrame(std::move(doc));
    m_pMdiArea->addSubWindow(frame);
    connect(frame, &CChildFrame::DocumentSaved, this, [this](const QString& path) {
        m_recent.Add(path);
        RefreshRecentMenu();
    });
    connect(frame, &QObject::destroyed, this, [this] { RefreshMenus(); });
    frame->show();
    RefreshMenus();
    return frame;
}

CChildFrame* CMainFrame::NewDocument()
{
    auto doc = std::make_unique<CTrelliumDoc>(m_context);
    CChildFrame* frame = AddFrame(std::move(doc));
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

void CMainFrame::OnFileOpen()
{
    const QString path = FileDialogs::AskOpenPath(this);
    if (!path.isEmpty())
        OpenDocument(path);
}

void CMainFrame::OnFileClose()
{
    if (CChildFrame* frame = ActiveFrame())
        frame->close();
}

void CMainFrame::OnFileSave(bool saveAs)
{
    if (CChildFrame* frame = ActiveFrame())
        frame->DoSave(saveAs);
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

void CMainFrame::OnAbout()
{
    QMessageBox::about(this, QStringLiteral("About Trellium"),
                       QStringLiteral("%1 Version %2\n%3")
                           .arg(QStringLiteral(TRELLIUM_PRODUCT_NAME),
                                QStringLiteral(TRELLIUM_PRODUCT_VERSION),
                                QStringLiteral(TRELLIUM_LEGAL_NOTICE)));
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
    for (CChildFrame* frame : frames) {
        frame->GetDocument()->SetModifiedFlag(false);
        frame->close();
    }
    event->accept();
}
