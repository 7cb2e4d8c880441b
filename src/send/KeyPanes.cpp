#include "send/KeyPanes.h"

CKeyPaneTable::CKeyPaneTable()
{
    for (int i = 0; i < 12; ++i)
        m_panes[i].label = (i == 0 ? QStringLiteral("F") : QString()) + QString::number(i + 1);
}

void CKeyPaneTable::SetKeyPane(int key, const QString& label, const QString& toolTip, bool hasData)
{
    if (key < 1 || key > 12)
        return;
    std::lock_guard lock(m_mutex);
    Pane& pane = m_panes[key - 1];
    pane.label = label;
    pane.toolTip = toolTip;
    pane.hasData = hasData;
}

bool CKeyPaneTable::SetRepeating(int key, bool repeating)
{
    if (key < 0 || key > 11)
        return false;
    std::lock_guard lock(m_mutex);
    if (m_panes[key].repeating == repeating)
        return false;
    m_panes[key].repeating = repeating;
    return true;
}

bool CKeyPaneTable::IsRepeating(int key) const
{
    if (key < 0 || key > 11)
        return false;
    std::lock_guard lock(m_mutex);
    return m_panes[key].repeating;
}

CKeyPaneTable::Pane CKeyPaneTable::GetPane(int key) const
{
    if (key < 1 || key > 12)
        return {};
    std::lock_guard lock(m_mutex);
    return m_panes[key - 1];
}

void CKeyPaneTable::Redraw()
{
    emit Changed();
}
