#pragma once
#include <QSize>

class CChildFrame;
class QMainWindow;
class QMdiArea;

// Where the session frames of the main window stand: a new frame a title bar
// below and right of the last, Cascade, Arrange Icons, and the first size of
// a window that remembers none.
class CFrameArranger
{
public:
    CFrameArranger(QMainWindow& window, QMdiArea& area) : m_window(window), m_area(area) {}

    void PlaceNewFrame(CChildFrame* frame);
    // Frames keep the size that shows their session; the active one last, in
    // front.
    void Cascade();
    // Minimised frames in a row along the bottom, left to right.
    void ArrangeIcons();
    // A window without a remembered size takes one that shows the first
    // session whole, with room to cascade a few more, within the screen.
    void FitToSession(const QSize& session);

private:
    int Step(const CChildFrame* frame) const;

    QMainWindow& m_window;
    QMdiArea& m_area;
    int m_nNewFrames = 0;
};
