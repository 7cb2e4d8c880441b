#pragma once
#include "display/DisplayModel.h"
#include "display/LineBuffer.h"
#include "display/LineFinder.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QElapsedTimer>
#include <QRawFont>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>

class CPacedScrollBar;
class CTrelliumDoc;

// A place in the display's text: a line (by its serial in the line buffer)
// and a column in it.
struct CTextPos
{
    uint64_t serial = 0;
    int column = 0;
    auto operator<=>(const CTextPos&) const = default;
};

// A session's terminal display: received (and echoed) data in the session's
// display mode and colours on black, the most recent 100 lines, long lines
// broken after 81 characters; typed keys go to the session, never into the
// text.
//
// The display's model (CDisplayModel: renderer, colours, merge forwarding)
// writes into an in-memory line buffer at full speed; this widget draws the
// visible lines of that buffer straight onto the screen, a glyph run per
// colour, with no text layout in between. New data is shown once the event
// queue has drained and, while data keeps coming, at most every
// kSyncIntervalMs, so a flood costs a bounded share of the user-interface
// thread. The mouse and the cursor keys select text (Ctrl+C copies it); every
// append collapses the selection to the end and, while the view is at the
// end, scrolls the end into view. A user who has scrolled back keeps the
// lines being read in view as data arrives and old lines are trimmed.
// User-interface thread only.
class CRichCtrl : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int kLineWidth = CDisplayRenderer::kLineWidth;
    static constexpr int kSyncIntervalMs = 30;
    // While every frame brings more than a screenful (nothing on it can be
    // read before it is gone), frames are this far apart instead: eight a
    // second still show the flood moving, and each costs a full screen of
    // glyphs and its copy to the display server.
    static constexpr int kSweepIntervalMs = 125;
    // While lines keep coming the scroll bars are drawn this often at most.
    static constexpr int kScrollBarPaintMs = 500;
    static constexpr int kSettleMs = 10;
    static constexpr int kMargin = 3; // pixels around the text

    explicit CRichCtrl(QWidget* parent = nullptr);
    ~CRichCtrl() override;

    // Whether the last frame brought more than a screenful: frames are then
    // kSweepIntervalMs apart.
    bool IsSweeping() const { return m_bSweeping; }

    // The session whose settings govern the display and which receives the
    // typed input; not owned. Call UpdateColors afterwards.
    void SetSession(CTrelliumDoc* doc);
    CTrelliumDoc* GetSession() const { return m_pDoc; }
    CDisplayModel& Model() { return m_model; }
    const CDisplayModel& Model() const { return m_model; }

    int LineWidth() const { return kLineWidth; }
    // Average character width of the font plus 1, in pixels.
    int CharPitch() const { return m_nCharPitch; }
    // The grid the text is drawn on: a character's cell, in pixels.
    int CellWidth() const { return m_nCellWidth; }
    int LineHeight() const { return m_nLineHeight; }

    // Takes the session's text, special and time-stamp colours for text
    // appended from now on; text already shown keeps its colours.
    void UpdateColors();
    // Appends one chunk in this display's colours.
    void AppendData(const QByteArray& bytes);
    // Appends one chunk in `source`'s colours (the merge display); the mode,
    // the time stamps and the last display time stay this display's.
    void AppendData(const QByteArray& bytes, const CRichCtrl& source);
    // Appends the marker of `lostBytes` bytes that never reached the display,
    // in the special colour of `source` (this display when null).
    void AppendGap(uint64_t lostBytes, const CRichCtrl* source = nullptr);
    // Empties the display and restarts the column.
    void Clear();

    // Brings the shown text up to date now instead of once the event queue
    // has drained and collapses the selection to the end; scrolls to it when
    // the view was at the end, else keeps the same lines in view.
    void FlushDisplay();
    bool IsSyncPending() const { return m_bSyncPending; }

    const CLineBuffer& Lines() const { return m_lines; }
    int Column() const { return m_model.Column(); }
    // The text as shown, lines joined by '\n'.
    QString Text() const;

    // Caret and selection (from the anchor to the caret).
    CTextPos Caret() const { return Clamped(m_caret); }
    CTextPos Anchor() const { return Clamped(m_anchor); }
    CTextPos End() const;
    void SetCaret(CTextPos pos, bool keepAnchor = false);
    bool HasSelection() const { return Caret() != Anchor(); }
    QString SelectedText() const;
    void SelectAll();
    // Buffer index of the top line shown, and the caret's rectangle in the
    // viewport.
    int TopLine() const;
    QRect CaretRect() const;
    // The colour line `line` (buffer index) column `column` is drawn in.
    QColor CharColor(int line, int column) const;

    // Matches to mark in the lines shown (the find bar's); not owned, null
    // for none. Call update() when they change.
    void SetHighlights(const std::deque<CFindMatch>* matches);
    // Selects from `from` to `to` and scrolls the end of it into view.
    void ShowRange(CTextPos from, CTextPos to);

    // Takes a key as if typed into the display (the window hands it the keys
    // that the multi-document area would otherwise take, such as Ctrl+Tab).
    void TypeKey(QKeyEvent* event) { keyPressEvent(event); }

signals:
    // Shift or Ctrl went down or up (command 6020 to the pane); always
    // emitted through the event queue.
    void ModifiersChanged();
    // The lines shown were brought up to date (FlushDisplay).
    void Synced();

protected:
    // Every key without Alt is the port's: window shortcuts (Ctrl+W, Ctrl+S,
    // Ctrl+Tab ...) never take it, and Tab never moves the focus.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TakeFont();
    void ScheduleSync();
    void PostModifiersChanged();
    void SendTyped(const QKeyEvent* event);
    void MoveCaret(int key, bool keepAnchor);
    void CopySelection(bool toMouseSelection) const;
    void UpdateScrollBars();
    // Asks for the whole display to be drawn again.
    void RepaintAll();
    // After an append: moves what is shown and draws only the lines that
    // changed, when the screen is known to agree; otherwise RepaintAll.
    void RepaintNewLines();
    // Records the model and the view as they are now in m_shown.
    void NoteShown();
    size_t LastLineSize() const;
    // Holds the scroll bars' drawing back while a flood appends (`appending`)
    // and they drew less than kScrollBarPaintMs ago; lets them draw otherwise.
    void PaceScrollBars(bool appending);
    void EnsureCaretVisible();
    // Remembers where the view is: at the end or not, and its top line.
    void NoteScrollPlace();
    int VisibleRows() const;
    CTextPos Clamped(CTextPos pos) const;
    CTextPos HitTest(const QPoint& point) const;
    const CDisplayLine* LineOf(uint64_t serial) const;

    CTrelliumDoc* m_pDoc = nullptr;
    CLineBuffer m_lines;
    CDisplayModel m_model;
    int m_nCharPitch = 0;
    int m_nCtrlHeld = 0;

    // The fixed-pitch grid the text is drawn on, and each Latin-1 character's
    // glyph in the display's font.
    QRawFont m_rawFont;
    std::array<quint32, 256> m_glyphs{};
    int m_nCellWidth = 1;
    int m_nLineHeight = 1;
    int m_nAscent = 0;
    int m_nWidestLine = 0;          // characters, as of the last sync
    uint64_t m_nMeasuredSerial = 0; // lines before it are in m_nWidestLine

    CTextPos m_caret;
    CTextPos m_anchor;
    bool m_bSelecting = false;
    const std::deque<CFindMatch>* m_pHighlights = nullptr;
    // Where the view was last put, by the user or a sync: whether at the end
    // (new data is followed), and the serial of its top line (what stays in
    // view otherwise; the trim may have moved every index since).
    bool m_bFollowing = true;
    uint64_t m_nTopSerial = 0;

    bool m_bSyncPending = false;
    QElapsedTimer m_sinceSync; // since the last FlushDisplay
    QTimer m_syncTimer;        // a copy held back by kSyncIntervalMs
    // What the screen shows (or will once the paint asked for is done).
    struct CShown
    {
        uint64_t first = 0;  // serial of the first line kept
        uint64_t top = 0;    // serial of the top line
        uint64_t end = 0;    // serial after the last line
        size_t lastSize = 0; // characters of the last line
        uint64_t caret = 0;  // the caret's line
        bool selection = false;
        int scrollX = 0;
    };
    CShown m_shown;
    bool m_bAllDirty = true;    // a paint of everything is due (also before the first)
    bool m_bPartialDue = false; // a paint of the new lines is due
    bool m_bSweeping = false;   // the last frame brought more than a screenful
    bool m_bFlushing = false;
    CPacedScrollBar* m_pVerticalBar = nullptr; // owned by the scroll area
    CPacedScrollBar* m_pHorizontalBar = nullptr;
    QElapsedTimer m_scrollBarsDrawn; // since the scroll bars were last let draw
    QTimer m_scrollBarTimer;         // lets held scroll bars draw again
};
