#include "app/FrameArranger.h"

#include "app/ChildFrame.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QScreen>
#include <QStyle>

int CFrameArranger::Step(const CChildFrame* frame) const
{
    return m_window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame) + 4;
}

void CFrameArranger::PlaceNewFrame(CChildFrame* frame)
{
    // Never exactly on top of another.
    const int step = Step(frame);
    const int n = m_nNewFrames++ % 8;
    frame->move(n * step, n * step);
}

void CFrameArranger::FitToSession(const QSize& session)
{
    const int step = Step(nullptr);
    const QSize around = m_window.size() - m_area.viewport()->size();
    QSize wanted = session + QSize(3 * step, 3 * step) + around;
    const QScreen* shown = m_window.screen();
    if (!shown)
        return;
    // The window manager's frame around the window takes some room too.
    const QRect room = shown->availableGeometry().adjusted(8, 8, -8, -40);
    wanted = wanted.boundedTo(room.size());
    m_window.resize(wanted);
    m_window.move(room.center() - QPoint(wanted.width() / 2, wanted.height() / 2));
}

void CFrameArranger::Cascade()
{
    QList<CChildFrame*> frames;
    for (QMdiSubWindow* window : m_area.subWindowList(QMdiArea::CreationOrder)) {
        if (auto* frame = qobject_cast<CChildFrame*>(window))
            frames.append(frame);
    }
    if (auto* active = qobject_cast<CChildFrame*>(m_area.activeSubWindow())) {
        frames.removeOne(active);
        frames.append(active);
    }
    int n = 0;
    for (CChildFrame* frame : frames) {
        if (frame->isMinimized())
            continue;
        frame->showNormal();
        const int step = Step(frame);
        const QSize wanted = frame->SessionSize().boundedTo(m_area.viewport()->size());
        frame->setGeometry(n * step, n * step, wanted.width(), wanted.height());
        frame->raise();
        ++n;
    }
}

void CFrameArranger::ArrangeIcons()
{
    int x = 0;
    const int bottom = m_area.viewport()->height();
    for (QMdiSubWindow* frame : m_area.subWindowList(QMdiArea::CreationOrder)) {
        if (!frame->isMinimized())
            continue;
        const QSize size = frame->size();
        if (x + size.width() > m_area.viewport()->width())
            x = 0;
        frame->move(x, bottom - size.height());
        x += size.width();
    }
}
