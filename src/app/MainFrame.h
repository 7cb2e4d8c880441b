#pragma once
#include "app/RecentFileList.h"

#include <QMainWindow>
#include <QPointer>

class CChildFrame;
class CSessionContext;
class CTrelliumDoc;
class QAction;
class QMdiArea;
class QMenu;

// The main window: the MDI area with one child frame per session, the menus
// and the recent-file list.
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
    const CRecentFileList& RecentFiles() const { return m_recent; }

    CSessionContext& Context() const { return m_context; }

    static CMainFrame* Instance();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void RefreshMenus();
    void RefreshRecentMenu();
    CChildFrame* AddFrame(std::unique_ptr<CTrelliumDoc> doc);
    void OnFileOpen();
    void OnFileClose();
    void OnFileSave(bool saveAs);
    void OnColors();
    void OnTiming();
    void OnAbout();

    CSessionContext& m_context;
    QMdiArea* m_pMdiArea = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pOptionsMenu = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QAction* m_pCloseAction = nullptr;
    QAction* m_pSaveAction = nullptr;
    QAction* m_pSaveAsAction = nullptr;
    QAction* m_pRecentSeparator = nullptr;
    QAction* m_pHoldAction = nullptr;
    QList<QAction*> m_recentActions;
    CRecentFileList m_recent;
};
