#pragma once
#include <QStatusBar>
#include <array>

class CKeyPaneTable;
class QLabel;

// The main window's status bar: one pane for each function key F1 to F12 of
// the active session, drawn from the program's key-pane table: the label, a
// raised border when the key holds data, red lettering while its macro
// repeats, the description and data as a tool tip. A left click on a pane
// asks for command 32772 + key (the key is pressed), a right click for 6001
// + key (its setup). A click on a pane's left edge belongs to that pane, one
// on its right edge to the next. While a menu is open the panes give way to
// the menu prompt.
class CDwStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit CDwStatusBar(CKeyPaneTable& panes, QWidget* parent = nullptr);

    int KeyPaneWidth() const { return m_nKeyPaneWidth; }
    QLabel* KeyPane(int key) const { return m_panes[static_cast<size_t>(key - 1)]; }
    // The key (1..12) whose pane holds x, or 0.
    int KeyAt(int x) const;
    // Redraws the panes from the table.
    void Refresh();
    // A menu opened (true) or the last one closed (false): while a menu is
    // open the key panes give way to its prompts.
    void SetMenuState(bool open);
    bool IsMenuOpen() const { return m_bMenuOpen; }

signals:
    void Command(int id);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    CKeyPaneTable& m_table;
    std::array<QLabel*, 12> m_panes{};
    int m_nKeyPaneWidth = 0;
    bool m_bMenuOpen = false;
};
