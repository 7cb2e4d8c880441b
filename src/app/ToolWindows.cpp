#include "app/ToolWindows.h"

#include "app/ChildFrame.h"
#include "controls/TrelliumView.h"
#include "platform/WindowKinds.h"
#include "tools/ui/ASCIIWnd.h"
#include "tools/ui/ConverterWnd.h"
#include "tools/ui/ToolWindowPlace.h"

#include <QWindow>

namespace {

// A tool window opened again: restored when minimised, else brought to the top.
void BringBack(QWidget* window)
{
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

} // namespace

CToolWindows::CToolWindows(QWidget& owner) : QObject(&owner), m_owner(owner) {}

CASCIIWnd* CToolWindows::OpenChart(CChildFrame* session)
{
    if (m_pChart) {
        BringBack(m_pChart);
        return m_pChart;
    }
    QWidget* parent = m_pBorrower ? m_pBorrower.data() : &m_owner;
    m_pChart = new CASCIIWnd(parent);
    m_pChart->setWindowIcon(m_owner.windowIcon());
    FollowSession(session);
    m_pChart->show();
    ToolWindowPlace::KeepOnScreen(m_pChart);
    return m_pChart;
}

void CToolWindows::FollowSession(CChildFrame* session)
{
    if (m_pChart && session && !m_pBorrower)
        m_pChart->SetListener(session->GetView(), session->GetView());
}

CConverterWnd* CToolWindows::OpenConverter()
{
    if (m_pConverter) {
        BringBack(m_pConverter);
        return m_pConverter;
    }
    m_pConverter = new CConverterWnd(&m_owner);
    m_pConverter->setWindowIcon(m_owner.windowIcon());
    m_pConverter->show();
    ToolWindowPlace::KeepOnScreen(m_pConverter);
    return m_pConverter;
}

void CToolWindows::MoveChartTo(QWidget* parent)
{
    if (!m_pChart || m_pChart->parentWidget() == parent)
        return;
    // A window that changes hands is hidden by the toolkit; it comes back
    // where it stood, in the state it had.
    const QPoint at = m_pChart->pos();
    const bool shown = m_pChart->isVisible();
    const bool minimised = m_pChart->isMinimized();
    m_pChart->setParent(parent, WindowKinds::kToolWindow);
    m_pChart->move(at);
    // The window manager learns the new owner when the window is shown;
    // the toolkit keeps the old one for a window it does not create anew.
    if (QWindow* window = m_pChart->windowHandle())
        window->setTransientParent(parent->window()->windowHandle());
    if (minimised) {
        m_pChart->showMinimized();
    } else if (shown) {
        m_pChart->show();
        m_pChart->raise();
        m_pChart->activateWindow();
    }
}

void CToolWindows::LendChartTo(QWidget* dialog)
{
    m_pBorrower = dialog;
    MoveChartTo(dialog);
}

CASCIIWnd* CToolWindows::OpenChartFor(QWidget* dialog)
{
    LendChartTo(dialog);
    return OpenChart(nullptr);
}

void CToolWindows::GiveBackChart(CChildFrame* session)
{
    m_pBorrower = nullptr;
    MoveChartTo(&m_owner);
    FollowSession(session);
}
