#pragma once
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>

// Told of a character clicked in the ASCII chart.
class CASCIIWndListener
{
public:
    virtual void CharClicked(int value) = 0;
    // Where clicked characters go, for the chart's title.
    virtual QString Prompt() const = 0;

protected:
    ~CASCIIWndListener() = default;
};

// The ASCII chart: all 256 byte values in a fixed grid (control characters
// with caret form and mnemonic, printable characters, 8-bit values as
// numbers), coloured by section, with tool tips for the control characters.
// A click hands the byte to the current listener. The listener is held
// together with the object that owns it, so a listener whose owner is gone
// is never called. Its position is kept in the profile section "TRASCII".
class CASCIIWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CASCIIWnd(QWidget* parent = nullptr);
    ~CASCIIWnd() override;

    // `owner` is the QObject whose lifetime the listener shares; null clears.
    void SetListener(CASCIIWndListener* listener, QObject* owner);
    // The byte whose cell holds the point (inclusive bounds: a point on the
    // line between two cells belongs to the lower value), or -1.
    int ValueAt(const QPoint& point) const;
    QRect CellRect(int value) const { return m_cells[static_cast<size_t>(value)]; }

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::array<QRect, 256> m_cells;
    CASCIIWndListener* m_pListener = nullptr;
    QPointer<QObject> m_pListenerOwner;
};
