#pragma once
#include <QObject>
#include <QPointer>

class CASCIIWnd;
class CChildFrame;
class CConverterWnd;
class QWidget;

// The main window's tool windows: the ASCII chart and the data converter,
// one of each, opened again by restoring or raising the open one. The chart
// sends through the active session; a modal dialog that uses it (the key
// setup) borrows it for as long as it runs, since a modal dialog leaves
// every window but its own unusable.
class CToolWindows : public QObject
{
    Q_OBJECT
public:
    explicit CToolWindows(QWidget& owner);

    CASCIIWnd* Chart() const { return m_pChart; }
    // Opens the chart with the session's pane as its listener.
    CASCIIWnd* OpenChart(CChildFrame* session);
    // The chart now sends through `session` (the active one).
    void FollowSession(CChildFrame* session);
    CConverterWnd* OpenConverter();

    // The chart, open or opened on request, becomes a window of `dialog`
    // while it runs; GiveBackChart returns it to the main window.
    void LendChartTo(QWidget* dialog);
    CASCIIWnd* OpenChartFor(QWidget* dialog);
    void GiveBackChart(CChildFrame* session);

private:
    void MoveChartTo(QWidget* parent);

    QWidget& m_owner;
    QPointer<QWidget> m_pBorrower;
    QPointer<CASCIIWnd> m_pChart;
    QPointer<CConverterWnd> m_pConverter;
};
