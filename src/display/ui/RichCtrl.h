#pragma once
#include "display/DisplayModel.h"
#include "display/LineBuffer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <cstdint>

class CTrelliumDoc;

// A session's terminal display: received (and echoed) data in the session's
// display mode and colours on black, the most recent 100 lines, long lines
// broken after 81 characters; typed keys go to the session, never into the
// text.
//
// The display's model (CDisplayModel: renderer, colours, merge forwarding)
// writes into an in-memory line buffer at full speed; this widget only draws
// that buffer, copying what changed once the event queue has drained.
// While data keeps coming, copies are at least kSyncIntervalMs apart, so a
// flood costs a bounded share of the user-interface thread and lines trimmed
// in between are never drawn. User-interface thread only.
class CRichCtrl : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr int kLineWidth = CDisplayRenderer::kLineWidth;
    static constexpr int kSyncIntervalMs = 30;

    explicit CRichCtrl(QWidget* parent = nullptr);
    ~CRichCtrl() override;

    // The session whose settings govern the display and which receives the
    // typed input; not owned. Call UpdateColors afterwards.
    void SetSession(CTrelliumDoc* doc);
    CTrelliumDoc* GetSession() const { return m_pDoc; }
    CDisplayModel& Model() { return m_model; }
    const CDisplayModel& Model() const { return m_model; }

    int LineWidth() const { return kLineWidth; }
    // Average character width of the font plus 1, in pixels.
    int CharPitch() const { return m_nCharPitch; }

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
    // has drained, and scrolls to the end.
    void FlushDisplay();
    bool IsSyncPending() const { return m_bSyncPending; }

    const CLineBuffer& Lines() const { return m_lines; }
    int Column() const { return m_model.Column(); }

    // Takes a key as if typed into the display (the window hands it the keys
    // that the multi-document area would otherwise take, such as Ctrl+Tab).
    void TypeKey(QKeyEvent* event) { keyPressEvent(event); }

signals:
    // Shift or Ctrl went down or up (command 6020 to the pane); always
    // emitted through the event queue.
    void ModifiersChanged();

protected:
    // Every key without Alt is the port's: window shortcuts (Ctrl+W, Ctrl+S,
    // Ctrl+Tab ...) never take it, and Tab never moves the focus.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void ScheduleSync();
    void SyncDocument();
    void PostModifiersChanged();
    void SendTyped(const QKeyEvent* event);

    CTrelliumDoc* m_pDoc = nullptr;
    CLineBuffer m_lines;
    CDisplayModel m_model;
    int m_nCharPitch = 0;
    int m_nCtrlHeld = 0;

    // What the widget's document shows: buffer lines m_shownFirst onwards.
    uint64_t m_shownFirst = 0;
    uint64_t m_shownCount = 1;
    bool m_bSyncPending = false;
    QElapsedTimer m_sinceSync; // since the last FlushDisplay
    QTimer m_syncTimer;        // a copy held back by kSyncIntervalMs
};
