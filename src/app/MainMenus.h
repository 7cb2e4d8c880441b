#pragma once
#include <QMap>
#include <QObject>
#include <QString>

class CDwStatusBar;
class CFrameArranger;
class CRecentFileList;
class CTrelliumDoc;
class QAction;
class QMainWindow;
class QMdiArea;
class QMenu;
class QToolBar;

// The main window's toolbar and menus, of both states (no session / sessions
// open), and the command each item stands for. The status bar shows menu
// prompts in place of the key panes while a menu is open.
class CMainMenus : public QObject
{
    Q_OBJECT
public:
    CMainMenus(QMainWindow& window, CDwStatusBar& bar, CRecentFileList& recent, QMdiArea& area,
               CFrameArranger& arranger);

    // The action of a menu command id, or nullptr.
    QAction* Action(int id) const { return m_commands.value(id); }
    // The menus of the active session's state (nullptr: none open).
    void Refresh(const CTrelliumDoc* doc, bool instructionsPresent);
    void RefreshRecent();
    // The menus of the bar, for the keyboard's return after Escape.
    QList<QMenu*> TopMenus() const;

signals:
    void Command(int id);
    void RecentChosen(const QString& path);

private:
    void CreateActions();
    void CreateMenus();
    void RefreshWindowMenu();
    QAction* AddCommand(QMenu* menu, int id, const QString& text, const QString& prompt);

    QMainWindow& m_window;
    CDwStatusBar& m_bar;
    CRecentFileList& m_recent;
    QMdiArea& m_area;
    CFrameArranger& m_arranger;
    QToolBar* m_pToolBar = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pOptionsMenu = nullptr;
    QMenu* m_pCaptureMenu = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QAction* m_pRecentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QMap<int, QAction*> m_commands;
    int m_nOpenMenus = 0;
};
