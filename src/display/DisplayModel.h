#pragma once
#include "display/DisplayRenderer.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

class CDisplaySource;

// A session's terminal display without the widget: the renderer, the text it
// writes into (any CTextSink: the widget's line buffer, or the companion's
// output), the display's colours, the session whose settings govern each
// append, and the forwarding into the program's merge display. The widget
// only draws the sink and forwards keys; the companion prints it.
//
// User-interface thread only. Unregisters itself as the merge display when
// destroyed.
class CDisplayModel
{
public:
    // `sink` is not owned and must outlive the model.
    explicit CDisplayModel(CTextSink& sink);
    ~CDisplayModel();
    CDisplayModel(const CDisplayModel&) = delete;
    CDisplayModel& operator=(const CDisplayModel&) = delete;

    // The session whose settings, clock and merge display this display uses;
    // not owned. The display's time stamps measure from this moment. Call
    // UpdateColors afterwards.
    void SetSession(CDisplaySource* source);

    // Called after every change of the text (the widget schedules drawing).
    void SetChangedCallback(std::function<void()> changed) { m_changed = std::move(changed); }

    // Takes the session's text, special and time-stamp colours for text
    // appended from now on; text already shown keeps its colours.
    void UpdateColors();
    const CDisplayColors& Colors() const { return m_colors; }

    // Appends one chunk in this display's colours.
    void AppendData(const QByteArray& bytes);
    // Appends one chunk in `source`'s colours (the merge display); the mode,
    // the time stamps and the last display time stay this display's.
    void AppendData(const QByteArray& bytes, const CDisplayModel& source);
    // Appends the marker of `lostBytes` bytes that never reached the display,
    // in the special colour of `source` (this display when null).
    void AppendGap(uint64_t lostBytes, const CDisplayModel* source = nullptr);
    // The marker of datagrams the system dropped, here and in the merge
    // display.
    void ShowDatagramsLost(uint64_t count);
    // Empties the display and restarts the column.
    void Clear();

    // The session's "new bytes", which arrived at `arrivalTick`: this display
    // first, then the merge display (when one is registered and is not this
    // one) in this display's colours. This display's time stamps measure to
    // the arrival (never before its last append); the merge display's, which
    // mixes sessions, to now.
    void ShowNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick);
    // Clears and appends the session's whole ring as one chunk, not into the
    // merge display (a change of display mode).
    void Rebuild();
    // Registers this display as the merge display when its session is a
    // merge session.
    void RegisterMergeIfMerge();

    int Column() const { return m_renderer.Column(); }
    CDisplaySettings Settings() const;

private:
    void Append(const QByteArray& bytes, const CDisplayColors& colors, uint32_t tick);
    uint32_t Now() const;
    // Takes the program's history setting for the next append.
    void KeepHistory();
    void Changed();

    CTextSink& m_sink;
    CDisplaySource* m_pDoc = nullptr;
    CDisplayRenderer m_renderer;
    CDisplayColors m_colors;
    std::function<void()> m_changed;
};
