#include "display/ui/RichCtrl.h"

#include "display/ui/ColorRef.h"
#include "session/TrelliumDoc.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

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

CRichCtrl::CRichCtrl(QWidget* parent) : QPlainTextEdit(parent), m_model(m_lines)
{
    m_model.SetChangedCallback([this] { ScheduleSync(); });
    setObjectName(QStringLiteral("display"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_nCharPitch = QFontMetrics(font()).averageCharWidth() + 1;

    // Always black, whatever background the session stores; the caret and
    // the selection need a colour that shows on it.
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::black);
    colors.setColor(QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
    setPalette(colors);

    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setReadOnly(true);
    // Caret keys and selection work; typing is handled here, never inserted.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFocusPolicy(Qt::StrongFocus);
    setTabChangesFocus(false);

    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &CRichCtrl::FlushDisplay);
}

CRichCtrl::~CRichCtrl() = default;

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
    SyncDocument();
}

void CRichCtrl::ScheduleSync()
{
    if (m_bSyncPending)
        return;
    m_bSyncPending = true;
    const qint64 since = m_sinceSync.isValid() ? m_sinceSync.elapsed() : kSyncIntervalMs;
    if (since < kSyncIntervalMs) {
        m_syncTimer.start(static_cast<int>(kSyncIntervalMs - since));
        return;
    }
    // Queued: a burst of appends is drawn and scrolled once the queue drains.
    // A FlushDisplay in between has done the work already.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_bSyncPending)
                FlushDisplay();
        },
        Qt::QueuedConnection);
}

void CRichCtrl::FlushDisplay()
{
    m_bSyncPending = false;
    m_syncTimer.stop();
    SyncDocument();
    // Every append collapses the selection to the end.
    QTextCursor end = textCursor();
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    m_sinceSync.start();
}

// Copies the line buffer into the widget's document: drops the lines trimmed
// from the top, then replaces everything from the first changed line on. The
// document holds blocks for buffer serials m_shownFirst .. +m_shownCount.
void CRichCtrl::SyncDocument()
{
    if (!m_lines.IsDirty() && m_shownFirst == m_lines.FirstSerial())
        return;
    const uint64_t bufferFirst = m_lines.FirstSerial();
    const uint64_t bufferEnd = m_lines.EndSerial();
    const uint64_t keepFrom = std::max(bufferFirst, m_shownFirst);
    const uint64_t keepTo = std::min({m_shownFirst + m_shownCount, m_lines.DirtyFrom(), bufferEnd});

    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    uint64_t from = bufferFirst;
    bool intoEmptyBlock = true;
    if (keepTo <= keepFrom) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
        m_shownFirst = bufferFirst;
    } else {
        const int removeTop = static_cast<int>(keepFrom - m_shownFirst);
        const int keep = static_cast<int>(keepTo - keepFrom);
        const QTextBlock lastKept = doc->findBlockByNumber(removeTop + keep - 1);
        cursor.setPosition(lastKept.position() + lastKept.length() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        if (removeTop > 0) {
            cursor.setPosition(0);
            cursor.setPosition(doc->findBlockByNumber(removeTop).position(),
                               QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        m_shownFirst = keepFrom;
        from = keepTo;
        intoEmptyBlock = false;
    }

    // Neighbouring runs of one colour go in as one insertion, line breaks
    // included.
    cursor.movePosition(QTextCursor::End);
    QString pending;
    uint32_t pendingColor = m_model.Colors().m_text;
    QTextCharFormat format;
    const auto flush = [&] {
        if (pending.isEmpty())
            return;
        format.setForeground(ColorFromRef(pendingColor));
        cursor.insertText(pending, format);
        pending.clear();
    };
    for (uint64_t serial = from; serial < bufferEnd; ++serial) {
        if (serial != from || !intoEmptyBlock)
            pending += QChar(u'\n');
        const int index = static_cast<int>(serial - bufferFirst);
        const CDisplayLine& line = m_lines.Line(index);
        for (const CLineSpan& span : m_lines.Spans(index)) {
            if (span.m_color != pendingColor) {
                flush();
                pendingColor = span.m_color;
            }
            const std::string_view text = line.SpanText(span);
            pending += QLatin1String(text.data(), static_cast<qsizetype>(text.size()));
        }
    }
    flush();
    cursor.endEditBlock();
    m_shownCount = bufferEnd - m_shownFirst;
    m_lines.MarkSynced();
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
    return QPlainTextEdit::event(event);
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
    if (key == Qt::Key_Control) {
        m_nCtrlHeld = 1;
        QPlainTextEdit::keyPressEvent(event);
    } else if ((m_nCtrlHeld && key == Qt::Key_C) || cursorKey) {
        // Ctrl+C copies the selection; the cursor keys move the caret.
        QPlainTextEdit::keyPressEvent(event);
    }
    // Every other key is swallowed: nothing edits the display. What the key
    // types goes to the session (Ctrl+C thus also sends 3). The base class may
    // have ignored a caret key at the document's edge; it stays here all the same.
    event->accept();
    SendTyped(event);
}

void CRichCtrl::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Shift || key == Qt::Key_Control) {
        PostModifiersChanged();
        if (key == Qt::Key_Control) {
            m_nCtrlHeld = 0;
            QPlainTextEdit::keyReleaseEvent(event);
        }
    } else if (m_nCtrlHeld && key == Qt::Key_C) {
        QPlainTextEdit::keyReleaseEvent(event);
    }
    event->accept();
}
