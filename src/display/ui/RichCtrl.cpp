#include "display/ui/RichCtrl.h"

#include "display/ui/ColorRef.h"
#include "display/ui/PacedScrollBar.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <vector>

namespace {

bool IsCursorKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
}

char CursorLetter(int key)
{
    switch (key) {
    case Qt::Key_Up:
        return 'A';
    case Qt::Key_Down:
        return 'B';
    case Qt::Key_Right:
        return 'C';
    default:
        return 'D';
    }
}

// Alt without Ctrl makes a system key: it reaches menus and accelerators,
// never the display. (Ctrl+Alt is AltGr on some keyboards and types.)
bool IsSystemKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    return (mods & Qt::AltModifier) && !(mods & Qt::ControlModifier);
}

// The bytes a key press types, as the keyboard translates it: Ctrl with a
// letter (or @ [ \ ] ^ _) gives the control byte whatever text the platform
// reports; a few keys whose text some platforms leave empty get theirs;
// Delete types nothing; characters outside Latin-1 become '?'. A single
// character with a repeat count is typed that many times.
QByteArray TypedBytes(const QKeyEvent* event)
{
    if (IsSystemKey(event))
        return {};
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool alt = event->modifiers() & Qt::AltModifier;
    QString text = event->text();
    if (key == Qt::Key_Delete)
        return {};
    if (ctrl && !alt && key >= Qt::Key_At && key <= Qt::Key_Underscore) {
        text = QChar(key - Qt::Key_At);
    } else if (ctrl && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        text = QChar(u'\n');
    } else if (ctrl && key == Qt::Key_Backspace) {
        text = QChar(0x7F);
    } else if (text.isEmpty()) {
        switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            text = QChar(u'\r');
            break;
        case Qt::Key_Backspace:
            text = QChar(u'\b');
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            text = QChar(u'\t');
            break;
        case Qt::Key_Escape:
            text = QChar(0x1B);
            break;
        default:
            return {};
        }
    }
    QByteArray bytes = text.toLatin1();
    if (bytes.size() == 1 && event->count() > 1)
        bytes = bytes.repeated(event->count());
    return bytes;
}

} // namespace

CRichCtrl::CRichCtrl(QWidget* parent) : QAbstractScrollArea(parent), m_model(m_lines)
{
    m_model.SetChangedCallback([this] { ScheduleSync(); });
    setObjectName(QStringLiteral("display"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TakeFont();

    // Always black, whatever background the session stores.
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::black);
    colors.setColor(QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
    setPalette(colors);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);

    setVerticalScrollBar(m_pVerticalBar = new CPacedScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(m_pHorizontalBar = new CPacedScrollBar(Qt::Horizontal, this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);

    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &CRichCtrl::FlushDisplay);
    m_scrollBarTimer.setSingleShot(true);
    connect(&m_scrollBarTimer, &QTimer::timeout, this, [this] { PaceScrollBars(false); });
    UpdateScrollBars();
}

CRichCtrl::~CRichCtrl() = default;

// The grid and the glyphs come from the widget's font: every character takes
// the width of an 'M', and each Latin-1 character's glyph is looked up once.
void CRichCtrl::TakeFont()
{
    const QFontMetrics metrics(font());
    m_nCharPitch = metrics.averageCharWidth() + 1;
    m_nCellWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_nLineHeight = std::max(1, metrics.lineSpacing());
    m_nAscent = metrics.ascent();
    m_rawFont = QRawFont::fromFont(font());
    QString all(256, QChar());
    for (int c = 0; c < 256; ++c)
        all[c] = QChar(c);
    const QList<quint32> glyphs = m_rawFont.glyphIndexesForString(all);
    m_glyphs.fill(0);
    for (qsizetype c = 0; c < std::min<qsizetype>(glyphs.size(), 256); ++c)
        m_glyphs[static_cast<size_t>(c)] = glyphs[c];
}

void CRichCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        TakeFont();
        UpdateScrollBars();
        RepaintAll();
    }
    QAbstractScrollArea::changeEvent(event);
}

void CRichCtrl::SetSession(CTrelliumDoc* doc)
{
    m_pDoc = doc;
    m_model.SetSession(doc);
}

void CRichCtrl::UpdateColors()
{
    m_model.UpdateColors();
}

void CRichCtrl::AppendData(const QByteArray& bytes)
{
    m_model.AppendData(bytes);
}

void CRichCtrl::AppendData(const QByteArray& bytes, const CRichCtrl& source)
{
    m_model.AppendData(bytes, source.m_model);
}

void CRichCtrl::AppendGap(uint64_t lostBytes, const CRichCtrl* source)
{
    m_model.AppendGap(lostBytes, source ? &source->m_model : nullptr);
}

void CRichCtrl::Clear()
{
    m_model.Clear();
    FlushDisplay();
}

void CRichCtrl::ScheduleSync()
{
    if (m_bSyncPending)
        return;
    m_bSyncPending = true;
    // The first data after a quiet spell is shown kSettleMs later, so that the
    // rest of its burst (a port delivers in pieces) is drawn with it; while
    // data keeps coming, frames are kSyncIntervalMs apart.
    const int interval = m_bSweeping ? kSweepIntervalMs : kSyncIntervalMs;
    const qint64 since = m_sinceSync.isValid() ? m_sinceSync.elapsed() : interval;
    m_syncTimer.start(static_cast<int>(std::max<qint64>(kSettleMs, interval - since)));
}

void CRichCtrl::FlushDisplay()
{
    m_bSyncPending = false;
    m_syncTimer.stop();
    // Lines are measured once, the last one again as it grows: a display
    // keeping a million lines cannot measure them all every frame. Once every
    // line measured is gone (a Clear, a flood) the measure starts afresh.
    if (m_nMeasuredSerial < m_lines.FirstSerial()) {
        m_nWidestLine = 0;
        m_nMeasuredSerial = m_lines.FirstSerial();
    }
    m_nMeasuredSerial = std::min(m_nMeasuredSerial, m_lines.EndSerial() - 1);
    for (uint64_t serial = m_nMeasuredSerial; serial < m_lines.EndSerial(); ++serial)
        m_nWidestLine = std::max(m_nWidestLine, static_cast<int>(LineOf(serial)->Size()));
    m_nMeasuredSerial = m_lines.EndSerial() - 1;
    // Every append collapses the selection to the end; the end is shown only
    // to a view that was there. Read before UpdateScrollBars, whose new range
    // may move the scroll bar.
    const bool following = m_bFollowing;
    const uint64_t top = m_nTopSerial;
    m_caret = m_anchor = End();
    m_bSelecting = false;
    // Scroll bar moves while settling draw nothing yet (RepaintNewLines).
    m_bFlushing = true;
    PaceScrollBars(true);
    UpdateScrollBars();
    QScrollBar* vertical = verticalScrollBar();
    if (following) {
        EnsureCaretVisible();
    } else {
        // The same top line, or the oldest left once it has been trimmed.
        const uint64_t first = m_lines.FirstSerial();
        const uint64_t row = top > first ? top - first : 0;
        vertical->setValue(static_cast<int>(
            std::min(row, static_cast<uint64_t>(std::max(0, vertical->maximum())))));
    }
    NoteScrollPlace();
    m_bFlushing = false;
    RepaintNewLines();
    m_sinceSync.start();
    emit Synced();
}

void CRichCtrl::RepaintAll()
{
    if (m_bFlushing)
        return; // FlushDisplay decides what to draw once it has settled
    m_bAllDirty = true;
    viewport()->update();
}

void CRichCtrl::RepaintNewLines()
{
    // What the screen shows already stays: the lines that moved up are
    // moved as pixels, and only the last line drawn (it may have grown) and
    // the new ones below it are drawn. Anything else that changed since the
    // last paint, or a paint still to come, draws everything.
    const uint64_t top = m_lines.FirstSerial() + static_cast<uint64_t>(TopLine());
    const int rows = VisibleRows() + 1;
    const CShown& shown = m_shown;
    m_bSweeping = top >= shown.top + static_cast<uint64_t>(rows);
    const bool partial = !m_bAllDirty && !m_bPartialDue && !shown.selection &&
                         shown.scrollX == horizontalScrollBar()->value() && top >= shown.top &&
                         top - shown.top < static_cast<uint64_t>(rows) && shown.end > shown.top &&
                         shown.caret + 1 >= shown.end && shown.end - 1 >= top;
    if (!partial) {
        m_bAllDirty = true;
        viewport()->update();
        return;
    }
    const int moved = static_cast<int>(top - shown.top);
    if (moved > 0) {
        viewport()->scroll(0, -moved * m_nLineHeight);
        // The margin above the first line took pixels of the line that left;
        // drawn afresh with the top line, whose glyphs may reach into it.
        viewport()->update(0, 0, viewport()->width(), kMargin + m_nLineHeight);
    }
    const int firstRow = static_cast<int>(shown.end - 1 - top);
    const int y = kMargin + firstRow * m_nLineHeight;
    viewport()->update(0, y, viewport()->width(), std::max(0, viewport()->height() - y));
    m_bPartialDue = true;
    NoteShown(); // what the screen will show once this paint is done
}

void CRichCtrl::NoteShown()
{
    m_shown.first = m_lines.FirstSerial();
    m_shown.top = m_shown.first + static_cast<uint64_t>(TopLine());
    m_shown.end = m_lines.EndSerial();
    m_shown.lastSize = LastLineSize();
    m_shown.caret = Caret().serial;
}

size_t CRichCtrl::LastLineSize() const
{
    return m_lines.LineCount() > 0 ? m_lines.Line(m_lines.LineCount() - 1).Size() : 0;
}

void CRichCtrl::SetHighlights(const std::deque<CFindMatch>* matches)
{
    m_pHighlights = matches;
    RepaintAll();
}

void CRichCtrl::ShowRange(CTextPos from, CTextPos to)
{
    m_anchor = Clamped(from);
    SetCaret(to, true);
}

QString CRichCtrl::Text() const
{
    return QString::fromLatin1(m_lines.PlainText());
}

const CDisplayLine* CRichCtrl::LineOf(uint64_t serial) const
{
    if (serial < m_lines.FirstSerial() || serial >= m_lines.EndSerial())
        return nullptr;
    return &m_lines.Line(static_cast<int>(serial - m_lines.FirstSerial()));
}

CTextPos CRichCtrl::End() const
{
    return {m_lines.EndSerial() - 1, m_lines.LastLineLength()};
}

// A place whose line the trim or a clear removed is the first place left;
// one past the end is the end.
CTextPos CRichCtrl::Clamped(CTextPos pos) const
{
    if (pos.serial < m_lines.FirstSerial())
        return {m_lines.FirstSerial(), 0};
    if (pos.serial >= m_lines.EndSerial())
        return End();
    const int length = static_cast<int>(LineOf(pos.serial)->Size());
    return {pos.serial, std::clamp(pos.column, 0, length)};
}

void CRichCtrl::SetCaret(CTextPos pos, bool keepAnchor)
{
    m_caret = Clamped(pos);
    if (!keepAnchor)
        m_anchor = m_caret;
    EnsureCaretVisible();
    RepaintAll();
}

QString CRichCtrl::SelectedText() const
{
    const CTextPos from = std::min(Caret(), Anchor());
    const CTextPos to = std::max(Caret(), Anchor());
    std::string text;
    for (uint64_t serial = from.serial; serial <= to.serial; ++serial) {
        const std::string_view line = LineOf(serial)->Text();
        const size_t begin = serial == from.serial ? static_cast<size_t>(from.column) : 0;
        const size_t end = serial == to.serial ? static_cast<size_t>(to.column) : line.size();
        text.append(line.substr(begin, end - begin));
        if (serial != to.serial)
            text += '\n';
    }
    return QString::fromLatin1(text);
}

void CRichCtrl::SelectAll()
{
    m_anchor = {m_lines.FirstSerial(), 0};
    m_caret = End();
    RepaintAll();
}

void CRichCtrl::CopySelection(bool toMouseSelection) const
{
    if (!HasSelection())
        return;
    QClipboard* clipboard = QApplication::clipboard();
    if (!toMouseSelection)
        clipboard->setText(SelectedText());
    else if (clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

int CRichCtrl::VisibleRows() const
{
    return std::max(1, (viewport()->height() - kMargin) / m_nLineHeight);
}

int CRichCtrl::TopLine() const
{
    return std::clamp(verticalScrollBar()->value(), 0, m_lines.LineCount() - 1);
}

namespace {

// A scroll bar repaints itself whenever its steps are set, changed or not:
// set only what changed, so that a display that appends once a frame does
// not repaint its scroll bars once a frame too.
void SetScrollBar(QScrollBar* bar, int maximum, int pageStep, int singleStep)
{
    if (bar->minimum() != 0 || bar->maximum() != maximum)
        bar->setRange(0, maximum);
    if (bar->pageStep() != pageStep)
        bar->setPageStep(pageStep);
    if (bar->singleStep() != singleStep)
        bar->setSingleStep(singleStep);
}

} // namespace

void CRichCtrl::PaceScrollBars(bool appending)
{
    // While lines keep coming the bars draw a few times a second, and only
    // when they changed; the values stay exact all the while, and a bar the
    // user is handling always draws.
    CPacedScrollBar* bars[] = {m_pVerticalBar, m_pHorizontalBar};
    const bool handled = std::any_of(std::begin(bars), std::end(bars), [](QScrollBar* bar) {
        return bar->isSliderDown() || bar->underMouse();
    });
    const bool hold = appending && !handled && m_scrollBarsDrawn.isValid() &&
                      m_scrollBarsDrawn.elapsed() < kScrollBarPaintMs;
    for (CPacedScrollBar* bar : bars)
        bar->Hold(hold);
    if (hold) {
        if (!m_scrollBarTimer.isActive())
            m_scrollBarTimer.start(
                static_cast<int>(kScrollBarPaintMs - m_scrollBarsDrawn.elapsed()));
    } else {
        m_scrollBarTimer.stop();
        m_scrollBarsDrawn.start();
    }
}

void CRichCtrl::UpdateScrollBars()
{
    const int rows = VisibleRows();
    SetScrollBar(verticalScrollBar(), std::max(0, m_lines.LineCount() - rows), rows, 1);
    // Room for the widest line and the caret after it.
    const int content = (m_nWidestLine + 1) * m_nCellWidth + 2 * kMargin;
    const int width = viewport()->width();
    SetScrollBar(horizontalScrollBar(), std::max(0, content - width), std::max(1, width),
                 m_nCellWidth);
}

void CRichCtrl::EnsureCaretVisible()
{
    const CTextPos caret = Caret();
    const int row = static_cast<int>(caret.serial - m_lines.FirstSerial());
    const int rows = VisibleRows();
    QScrollBar* vertical = verticalScrollBar();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + rows)
        vertical->setValue(row - rows + 1);
    const int x = caret.column * m_nCellWidth;
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width() - 2 * kMargin - m_nCellWidth;
    if (x < horizontal->value())
        horizontal->setValue(x);
    else if (x > horizontal->value() + width)
        horizontal->setValue(x - width);
}

QRect CRichCtrl::CaretRect() const
{
    const CTextPos caret = Caret();
    const int row = static_cast<int>(caret.serial - m_lines.FirstSerial()) - TopLine();
    return {kMargin - horizontalScrollBar()->value() + caret.column * m_nCellWidth,
            kMargin + row * m_nLineHeight, 2, m_nLineHeight};
}

QColor CRichCtrl::CharColor(int line, int column) const
{
    const CDisplayLine& shown = m_lines.Line(line);
    const auto at = static_cast<size_t>(column);
    return ColorFromRef(m_lines.CellColor(CColorWalk(shown).At(at), shown.FormatAt(at)));
}

CTextPos CRichCtrl::HitTest(const QPoint& point) const
{
    const int row = (point.y() - kMargin) / m_nLineHeight - (point.y() < kMargin ? 1 : 0);
    const int index = std::clamp(TopLine() + row, 0, m_lines.LineCount() - 1);
    const int x = point.x() - kMargin + horizontalScrollBar()->value();
    const int column = (x + m_nCellWidth / 2) / m_nCellWidth - (x < 0 ? 1 : 0);
    return Clamped({m_lines.FirstSerial() + static_cast<uint64_t>(index), column});
}

void CRichCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CRichCtrl::scrollContentsBy(int, int)
{
    NoteScrollPlace();
    RepaintAll();
}

void CRichCtrl::NoteScrollPlace()
{
    const QScrollBar* vertical = verticalScrollBar();
    m_bFollowing = vertical->value() >= vertical->maximum();
    m_nTopSerial = m_lines.FirstSerial() + static_cast<uint64_t>(std::max(0, vertical->value()));
}

// The visible lines, each character's glyph at its place on the grid, drawn
// as one glyph run per colour: a flood's screenful costs a handful of draw
// calls, with no text layout.
void CRichCtrl::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::black);
    // A partial paint relies on the model being as the last sync left it.
    // Data that arrived since (the sync that shows it is still to come)
    // may have grown the lines or trimmed them, moving every line's place:
    // then this paint is followed at once by one of everything.
    if (!m_bAllDirty &&
        (m_lines.FirstSerial() != m_shown.first || m_lines.EndSerial() != m_shown.end ||
         LastLineSize() != m_shown.lastSize)) {
        m_bAllDirty = true;
        viewport()->update();
    }
    // What the screen shows after this paint, for the next partial one. A
    // partial paint leaves the rest as it was, which RepaintNewLines chose to
    // agree with.
    if (m_bAllDirty)
        NoteShown();
    m_shown.selection = HasSelection();
    m_shown.scrollX = horizontalScrollBar()->value();
    m_bAllDirty = false;
    m_bPartialDue = false;

    struct CRun
    {
        uint32_t color;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    std::vector<CRun> runs;
    const auto runOf = [&runs](uint32_t color) -> CRun& {
        for (CRun& run : runs) {
            if (run.color == color)
                return run;
        }
        runs.push_back({color, {}, {}});
        return runs.back();
    };

    const int top = TopLine();
    const int rows = VisibleRows() + 1;
    const int scrolled = horizontalScrollBar()->value();
    const int xOrigin = kMargin - scrolled;
    const int firstColumn = std::max(0, (scrolled - kMargin) / m_nCellWidth);
    const int lastColumn = firstColumn + viewport()->width() / m_nCellWidth + 2;
    const CTextPos from = std::min(Caret(), Anchor());
    const CTextPos to = std::max(Caret(), Anchor());
    const QColor selection = palette().color(QPalette::Highlight).darker(150);
    const QColor found(0x80, 0x60, 0x00);
    // The matches that may touch the lines shown (a byte-value match spans
    // a few lines at most).
    auto match = m_pHighlights ? m_pHighlights->begin() : std::deque<CFindMatch>::const_iterator{};
    if (m_pHighlights) {
        const uint64_t topSerial = m_lines.FirstSerial() + static_cast<uint64_t>(top);
        match = std::lower_bound(
            m_pHighlights->begin(), m_pHighlights->end(), topSerial > 4 ? topSerial - 4 : 0,
            [](const CFindMatch& m, uint64_t serial) { return m.begin.serial < serial; });
    }

    const QRegion& dirty = event->region();
    for (int row = 0; row < rows && top + row < m_lines.LineCount(); ++row) {
        const int y = kMargin + row * m_nLineHeight;
        // Only rows that reach the area being drawn (with a line's room
        // either side for glyphs that overhang their cell).
        if (!dirty.intersects(QRect(0, y - m_nLineHeight, viewport()->width(), 3 * m_nLineHeight)))
            continue;
        const CDisplayLine& line = m_lines.Line(top + row);
        const uint64_t serial = m_lines.FirstSerial() + static_cast<uint64_t>(top + row);
        for (auto m = match;
             m_pHighlights && m != m_pHighlights->end() && m->begin.serial <= serial; ++m) {
            if (m->end.serial < serial)
                continue;
            const int begin = m->begin.serial == serial ? static_cast<int>(m->begin.column) : 0;
            const int end = m->end.serial == serial ? static_cast<int>(m->end.column)
                                                    : static_cast<int>(line.Size());
            painter.fillRect(xOrigin + begin * m_nCellWidth, y, (end - begin) * m_nCellWidth,
                             m_nLineHeight, found);
        }
        if (from != to && serial >= from.serial && serial <= to.serial) {
            const int begin = serial == from.serial ? from.column : 0;
            // A selected line break shows as one selected cell.
            const int end = serial == to.serial ? to.column : static_cast<int>(line.Size()) + 1;
            painter.fillRect(xOrigin + begin * m_nCellWidth, y, (end - begin) * m_nCellWidth,
                             m_nLineHeight, selection);
        }
        const int endColumn = std::min(lastColumn, static_cast<int>(line.Size()));
        CColorWalk colors(line);
        CRun* run = nullptr;
        uint32_t runColor = 0;
        for (int column = firstColumn; column < endColumn; ++column) {
            const auto at = static_cast<size_t>(column);
            if (line.Text()[at] == ' ')
                continue;
            const uint32_t color = m_lines.CellColor(colors.At(at), line.FormatAt(at));
            if (!run || color != runColor) {
                run = &runOf(color);
                runColor = color;
            }
            run->glyphs.push_back(m_glyphs[static_cast<uint8_t>(line.Text()[at])]);
            run->positions.push_back(QPointF(xOrigin + column * m_nCellWidth, y + m_nAscent));
        }
    }
    for (CRun& run : runs) {
        QGlyphRun glyphs;
        glyphs.setRawFont(m_rawFont);
        glyphs.setGlyphIndexes(run.glyphs);
        glyphs.setPositions(run.positions);
        painter.setPen(ColorFromRef(run.color));
        painter.drawGlyphRun(QPointF(0, 0), glyphs);
    }
    if (hasFocus())
        painter.fillRect(CaretRect(), palette().color(QPalette::Text));
}

void CRichCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_bSelecting = true;
    SetCaret(HitTest(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void CRichCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bSelecting && (event->buttons() & Qt::LeftButton))
        SetCaret(HitTest(event->position().toPoint()), true);
}

void CRichCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bSelecting)
        return;
    m_bSelecting = false;
    CopySelection(true);
}

// A double click selects the word under the pointer: the characters between
// blanks.
void CRichCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const CTextPos at = HitTest(event->position().toPoint());
    const std::string_view text = LineOf(at.serial)->Text();
    int begin = std::min(at.column, static_cast<int>(text.size()));
    int end = begin;
    while (begin > 0 && text[static_cast<size_t>(begin - 1)] != ' ')
        --begin;
    while (end < static_cast<int>(text.size()) && text[static_cast<size_t>(end)] != ' ')
        ++end;
    m_anchor = {at.serial, begin};
    SetCaret({at.serial, end}, true);
    CopySelection(true);
}

void CRichCtrl::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RepaintAll();
}

void CRichCtrl::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    RepaintAll();
}

void CRichCtrl::MoveCaret(int key, bool keepAnchor)
{
    CTextPos caret = Caret();
    const uint64_t first = m_lines.FirstSerial();
    const uint64_t last = m_lines.EndSerial() - 1;
    const auto length = [this](uint64_t serial) {
        return static_cast<int>(LineOf(serial)->Size());
    };
    switch (key) {
    case Qt::Key_Left:
        if (caret.column > 0)
            --caret.column;
        else if (caret.serial > first)
            caret = {caret.serial - 1, length(caret.serial - 1)};
        break;
    case Qt::Key_Right:
        if (caret.column < length(caret.serial))
            ++caret.column;
        else if (caret.serial < last)
            caret = {caret.serial + 1, 0};
        break;
    case Qt::Key_Up:
        if (caret.serial > first)
            --caret.serial;
        break;
    default:
        if (caret.serial < last)
            ++caret.serial;
        break;
    }
    SetCaret(caret, keepAnchor);
}

void CRichCtrl::PostModifiersChanged()
{
    QMetaObject::invokeMethod(this, &CRichCtrl::ModifiersChanged, Qt::QueuedConnection);
}

void CRichCtrl::SendTyped(const QKeyEvent* event)
{
    if (!m_pDoc)
        return;
    for (const char byte : TypedBytes(event))
        m_pDoc->SendChar(static_cast<uint8_t>(byte));
}

bool CRichCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!IsSystemKey(key)) {
            event->accept(); // delivered as a key press instead of a shortcut
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CRichCtrl::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (IsSystemKey(event))
        return;
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        if (m_pDoc)
            m_pDoc->PressFunctionKey(key - Qt::Key_F1, mods & Qt::ShiftModifier,
                                     mods & Qt::ControlModifier, false);
    } else if (key == Qt::Key_Shift || key == Qt::Key_Control) {
        PostModifiersChanged();
    }

    const bool cursorKey = IsCursorKey(key);
    if (cursorKey && m_model.Settings().m_nMode == static_cast<int>(DisplayMode::Text)) {
        if (m_pDoc) {
            const char sequence[3] = {0x1B, '[', CursorLetter(key)};
            m_pDoc->SendData(sequence, 3);
        }
        return;
    }
    if (key == Qt::Key_Control)
        m_nCtrlHeld = 1;
    else if (m_nCtrlHeld && key == Qt::Key_C)
        CopySelection(false);
    else if (cursorKey)
        MoveCaret(key, mods & Qt::ShiftModifier);
    // Every other key is swallowed: nothing edits the display. What the key
    // types goes to the session (Ctrl+C thus also sends 3).
    SendTyped(event);
}

void CRichCtrl::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Shift || key == Qt::Key_Control) {
        PostModifiersChanged();
        if (key == Qt::Key_Control)
            m_nCtrlHeld = 0;
    }
    event->accept();
}
