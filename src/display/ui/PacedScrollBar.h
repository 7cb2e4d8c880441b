#pragma once

#include <QRect>
#include <QScrollBar>
#include <optional>

// A scroll bar that draws only when what it shows changes, and whose drawing
// can be held back while its display appends a flood. Its range and value
// stay exact all the while; only the drawing waits. Drawing the bar costs
// more than the lines it scrolls (the toolkit spreads its shading over helper
// threads), and during a flood most changes draw the same pixels: a display
// that trims as it appends keeps the handle at the end, often at its
// smallest length.
class CPacedScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit CPacedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Released, the bar draws once if it looks different from its last
    // drawing, and not at all otherwise. A bar not held compares once the
    // turn of the event loop that changed it is over.
    void Hold(bool hold);
    bool IsHeld() const { return m_bHeld; }

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // What a drawing of the bar depends on besides its size and palette,
    // which draw it afresh when they change anyway.
    struct CLook
    {
        QRect slider;
        int state = 0;
        int active = 0;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const CLook&) const = default;
    };
    CLook Look() const;
    void DrawIfChanged();

    bool m_bHeld = false;
    bool m_bChanged = false;      // since the last comparison with the drawing
    bool m_bCheckPosted = false;  // a comparison is queued
    std::optional<CLook> m_drawn; // as last drawn
};
