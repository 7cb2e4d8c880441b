#include "display/ui/PacedScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

CPacedScrollBar::CPacedScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
}

void CPacedScrollBar::Hold(bool hold)
{
    m_bHeld = hold;
    if (!hold)
        DrawIfChanged();
}

void CPacedScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderOrientationChange) {
        QScrollBar::sliderChange(change);
        return;
    }
    // A range is set before the value is brought into it, and a display sets
    // the range before the value: compare once the change has settled.
    m_bChanged = true;
    if (!m_bHeld && !m_bCheckPosted) {
        m_bCheckPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bCheckPosted = false;
                DrawIfChanged();
            },
            Qt::QueuedConnection);
    }
}

void CPacedScrollBar::DrawIfChanged()
{
    if (m_bHeld || !m_bChanged)
        return;
    m_bChanged = false;
    if (m_drawn != Look())
        update();
}

void CPacedScrollBar::paintEvent(QPaintEvent* event)
{
    m_drawn = Look();
    QScrollBar::paintEvent(event);
}

CPacedScrollBar::CLook CPacedScrollBar::Look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    CLook look;
    look.slider =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.state = static_cast<int>(option.state);
    look.active = static_cast<int>(option.activeSubControls);
    look.atMinimum = option.sliderValue == option.minimum;
    look.atMaximum = option.sliderValue == option.maximum;
    return look;
}
