#pragma once

#include <QScrollBar>

// A scroll bar whose drawing can be held back while its display appends a
// flood. Its range and value stay exact all the while; only the drawing
// waits. Released, it draws once if anything changed meanwhile, and not at
// all otherwise: a full display that trims as it appends keeps the same range
// and value, and drawing the bar costs more than the lines it scrolls (the
// toolkit spreads its shading over helper threads).
class CPacedScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit CPacedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    void Hold(bool hold);
    bool IsHeld() const { return m_bHeld; }

protected:
    void sliderChange(SliderChange change) override;

private:
    bool m_bHeld = false;
    bool m_bChangedWhileHeld = false;
};
