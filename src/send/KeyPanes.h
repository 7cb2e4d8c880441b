#pragma once
#include <QObject>
#include <QString>
#include <array>
#include <mutex>

// The twelve function-key panes of the main window's status bar, as state:
// label, tool tip, whether the key holds data, whether its macro repeats.
// The status bar draws from this table and redraws when it signals Changed.
// One table per program (see CSessionContext).
// Any thread may call; Changed is delivered to receivers on their own thread.
class CKeyPaneTable : public QObject
{
    Q_OBJECT
public:
    struct Pane
    {
        QString label;
        QString toolTip;
        bool hasData = false;
        bool repeating = false;
    };

    CKeyPaneTable();

    // key 1..12
    void SetKeyPane(int key, const QString& label, const QString& toolTip, bool hasData);
    // key 0..11; returns true when the state changed.
    bool SetRepeating(int key, bool repeating);
    bool IsRepeating(int key) const;
    Pane GetPane(int key) const; // key 1..12
    // Asks the status bar to repaint.
    void Redraw();

signals:
    void Changed();

private:
    mutable std::mutex m_mutex;
    std::array<Pane, 12> m_panes;
};
