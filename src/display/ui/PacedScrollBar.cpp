#include "display/ui/PacedScrollBar.h"

CPacedScrollBar::CPacedScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
}

void CPacedScrollBar::Hold(bool hold)
{
    if (hold == m_bHeld)
        return;
    m_bHeld = hold;
    if (!hold && m_bChangedWhileHeld) {
        m_bChangedWhileHeld = false;
        update();
    }
}

void CPacedScrollBar::sliderChange(SliderChange change)
{
    if (m_bHeld && change != SliderOrientationChange) {
        m_bChangedWhileHeld = true;
        return;
    }
    QScrollBar::sliderChange(change);
}
