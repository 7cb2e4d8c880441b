#pragma once
#include "app/RecentFileList.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class CChildFrame;
class CASCIIWnd;
class CConverterWnd;
class CDwStatusBar;
class CPortWatcher;
class CSessionContext;
class CTrelliumDoc;
class QAction;
class QMdiArea;
class QMenu;
class QToolBar;

// The main window: the MDI area with one child frame per session, the
// toolbar, the menus of both states (no session / sessions open), the
// status bar with the function-key panes, the Alt accelerators, the
// workspace written on close and restored at start, and the port-change
// debounce.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    // `context` is shared by every session of the window and must outlive it.
    explicit CMainFrame(CSessionContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // File commands; the dialog-free parts are public for start-up and tests.
    CChildFrame* NewDocument();
    // Activates the frame when the file is open already; nullptr on failure.
    CChildFrame* OpenDocument(const QString& path);
    CChildFrame* ActiveFrame() const;
    CTrelliumDoc* ActiveDocument() const;
    QList<CChildFrame*> Frames() const;
    QMdiArea* MdiArea() const { return m_pMdiArea; }
    CDwStatusBar* KeyBar() const { return m_pStatusBar; }
    const CRecentFileList& RecentFiles() const { return m_recent; }
    CSessionContext& Context() const { return m_context; }

    // Restores the sessions of the workspace file (command 3008); returns
    // how many were opened.
    int RestoreWorkspace();
    // Writes the workspace file; false when it could not be written.
    bool SaveWorkspace();

    // Runs a command as the menus, accelerators and status bar do.
    void RunCommand(int id);
    // The action of a menu command id, or nullptr.
    QAction* CommandAction(int id) const;

    // Command 3047: the serial ports changed; one rebuild 2000 ms later.
    void OnPortsChanged();
    // Watches the system's serial devices from now on (the end of start-up).
    bool WatchDevices();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void RefreshMenus();
    void RefreshRecentMenu();
    void RefreshWindowMenu();
    CChildFrame* AddFrame(std::unique_ptr<CTrelliumDoc> doc);
    void PlaceNewFrame(CChildFrame* frame);
    void FitToSession(const QSize& session);
    // A minimised active frame hands the keyboard to the frame shown on top.
    void OnFrameStateChanged(CChildFrame* frame, Qt::WindowStates state);
    void Cascade();
    void ArrangeIcons();
    // Opens the ASCII chart (or restores / raises the open one) with the
    // active session's pane as its listener.
    CASCIIWnd* OpenAsciiChart();
    CConverterWnd* OpenConverter();
    // The function-key setup dialog of the active session on key 0..11.
    void EditFunctionKey(int key);
    void OnFileOpen();
    void OnColors();
    void OnTiming();
    void OnEchoSetting();
    void OnStartCapture();
    void OnAbout();
    void OnInstructions();
    void OnInstallToDrive();
    void RefillActivePorts();
    QAction* AddCommand(QMenu* menu, int id, const QString& text, const QString& prompt);
    int AcceleratorCommand(const QKeyEvent* event) const;

    CSessionContext& m_context;
    QMdiArea* m_pMdiArea = nullptr;
    QToolBar* m_pToolBar = nullptr;
    CDwStatusBar* m_pStatusBar = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pViewMenu = nullptr;
    QMenu* m_pOptionsMenu = nullptr;
    QMenu* m_pCaptureMenu = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QMenu* m_pToolsMenu = nullptr;
    QPointer<CASCIIWnd> m_pChart;
    QPointer<CConverterWnd> m_pConverter;
    QMenu* m_pHelpMenu = nullptr;
    QAction* m_pRecentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QMap<int, QAction*> m_commands;
    CRecentFileList m_recent;
    std::unique_ptr<CPortWatcher> m_pPortWatcher;
    int m_nNewFrames = 0;
    bool m_bFitFirstSession = false;
    int m_nOpenMenus = 0;
};
