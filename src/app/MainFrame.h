#pragma once
#include "app/RecentFileList.h"

#include <QMainWindow>
#include <memory>

class CChildFrame;
class CDwStatusBar;
class CFindBar;
class CFrameArranger;
class CKeyboardRouter;
class CMainMenus;
class CPortWatcher;
class CSessionContext;
class CToolWindows;
class CTrelliumDoc;
class QAction;
class QMdiArea;

// The main window: the multi-document area with one child frame per
// session, the status bar with the function-key panes, the sessions' files
// and the command of every menu item, accelerator and pane. Its menus
// (CMainMenus), keyboard (CKeyboardRouter), frame placement
// (CFrameArranger), tool windows (CToolWindows) and workspace
// (MainWorkspace) each have a file of their own.
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
    CToolWindows& Tools() const { return *m_pTools; }

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

private:
    void RefreshMenus();
    void OnActivated();
    CChildFrame* AddFrame(std::unique_ptr<CTrelliumDoc> doc);
    // A minimised active frame hands the keyboard to the frame shown on top.
    void OnFrameStateChanged(CChildFrame* frame, Qt::WindowStates state);
    void OnRecentChosen(const QString& path);
    void RefillActivePorts();

    CSessionContext& m_context;
    QMdiArea* m_pMdiArea = nullptr;
    CDwStatusBar* m_pStatusBar = nullptr;
    CRecentFileList m_recent;
    std::unique_ptr<CFrameArranger> m_pArranger;
    CMainMenus* m_pMenus = nullptr;
    CKeyboardRouter* m_pKeyboard = nullptr;
    CToolWindows* m_pTools = nullptr;
    CFindBar* m_pFindBar = nullptr;
    std::unique_ptr<CPortWatcher> m_pPortWatcher;
    bool m_bFitFirstSession = false;
};
