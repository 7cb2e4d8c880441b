#include "display/ui/FindBar.h"

#include "base/CommInfo.h"
#include "display/ui/RichCtrl.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <algorithm>

namespace {

CTextPos TextPos(CLinePlace place)
{
    return {place.serial, static_cast<int>(place.column)};
}

} // namespace

CFindBar::CFindBar(QWidget* parent)
    : QToolBar(QStringLiteral("Find"), parent), m_pText(new QLineEdit(this)),
      m_pCase(new QCheckBox(QStringLiteral("Match case"), this)),
      m_pBytes(new QCheckBox(QStringLiteral("Byte values"), this)), m_pCount(new QLabel(this))
{
    setObjectName(QStringLiteral("FindBar"));
    setMovable(false);
    m_pText->setPlaceholderText(QStringLiteral("Find in the session's display"));
    m_pText->setClearButtonEnabled(true);
    m_pBytes->setToolTip(QStringLiteral("Find byte values, such as 0D 0A, in a Hex display"));
    addWidget(new QLabel(QStringLiteral("Find:"), this));
    addWidget(m_pText);
    QAction* previous = addAction(style()->standardIcon(QStyle::SP_ArrowUp),
                                  QStringLiteral("Previous"), this, &CFindBar::FindPrevious);
    previous->setToolTip(QStringLiteral("Previous match"));
    QAction* next = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QStringLiteral("Next"),
                              this, &CFindBar::FindNext);
    next->setToolTip(QStringLiteral("Next match (Enter)"));
    addWidget(m_pCase);
    addWidget(m_pBytes);
    addWidget(m_pCount);
    QAction* close = addAction(style()->standardIcon(QStyle::SP_DialogCloseButton),
                               QStringLiteral("Close"), this, &CFindBar::Close);
    close->setToolTip(QStringLiteral("Close the find bar (Esc)"));

    connect(m_pText, &QLineEdit::textChanged, this, &CFindBar::QueryChanged);
    connect(m_pCase, &QCheckBox::toggled, this, &CFindBar::QueryChanged);
    connect(m_pBytes, &QCheckBox::toggled, this, &CFindBar::QueryChanged);
    connect(m_pText, &QLineEdit::returnPressed, this, &CFindBar::FindNext);
    // Esc in the bar closes it; it never reaches a port from here.
    QAction* escape = new QAction(this);
    escape->setShortcut(Qt::Key_Escape);
    escape->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QAction::triggered, this, &CFindBar::Close);
    QWidget::addAction(escape);
    m_pBytes->setEnabled(false); // no display yet
    ShowCount();
}

CFindBar::~CFindBar()
{
    SetDisplay(nullptr);
}

void CFindBar::SetDisplay(CRichCtrl* display)
{
    if (display == m_pDisplay)
        return;
    disconnect(m_synced);
    if (m_pDisplay)
        m_pDisplay->SetHighlights(nullptr);
    m_pDisplay = display;
    m_shown.reset();
    // A search starts afresh in the other display's lines.
    FollowMode();
    SetQuery();
    if (m_pDisplay) {
        m_synced = connect(m_pDisplay, &CRichCtrl::Synced, this, &CFindBar::Refresh);
        if (isVisible())
            m_pDisplay->SetHighlights(&m_finder.Matches());
    }
    Refresh();
}

void CFindBar::Open()
{
    show();
    Refresh();
    if (m_pDisplay)
        m_pDisplay->SetHighlights(&m_finder.Matches());
    m_pText->setFocus();
    m_pText->selectAll();
}

void CFindBar::Close()
{
    hide();
    if (m_pDisplay) {
        m_pDisplay->SetHighlights(nullptr);
        m_pDisplay->setFocus();
    }
}

void CFindBar::FollowMode()
{
    const bool hex =
        m_pDisplay && m_pDisplay->Model().Settings().m_nMode == static_cast<int>(DisplayMode::Hex);
    if (hex == m_bHexDisplay)
        return;
    m_bHexDisplay = hex;
    m_pBytes->setEnabled(hex);
    if (m_pBytes->isChecked()) {
        SetQuery();
        m_shown.reset();
    }
}

void CFindBar::SetQuery()
{
    m_problem = m_finder.SetQuery(m_pText->text().toLatin1().toStdString(), m_pCase->isChecked(),
                                  m_bHexDisplay && m_pBytes->isChecked());
}

void CFindBar::QueryChanged()
{
    SetQuery();
    m_shown.reset();
    Refresh();
    // The first match from the top of the lines shown on.
    if (m_pDisplay && !m_finder.Matches().empty()) {
        const uint64_t top = m_pDisplay->Lines().FirstSerial() +
                             static_cast<uint64_t>(std::max(0, m_pDisplay->TopLine()));
        Show(top > 0 ? m_finder.Next({top - 1, UINT32_MAX}) : std::optional<size_t>(0));
    }
}

void CFindBar::Refresh()
{
    // A change of mode rebuilds the display, which then syncs.
    FollowMode();
    // A closed bar searches nothing; opened, it catches up.
    if (isHidden())
        return;
    if (m_pDisplay)
        m_finder.Update(m_pDisplay->Lines());
    ShowCount();
    if (m_pDisplay)
        m_pDisplay->viewport()->update();
}

void CFindBar::FindNext()
{
    Step(true);
}

void CFindBar::FindPrevious()
{
    Step(false);
}

void CFindBar::Step(bool forward)
{
    if (!m_pDisplay)
        return;
    Refresh();
    // From the match shown last, else from the selection or the caret.
    const CTextPos caret = std::min(m_pDisplay->Caret(), m_pDisplay->Anchor());
    const CLinePlace from = m_shown.value_or(
        CLinePlace{caret.serial, static_cast<uint32_t>(std::max(0, caret.column))});
    Show(forward ? m_finder.Next(from) : m_finder.Previous(from));
}

void CFindBar::Show(std::optional<size_t> index)
{
    if (!index || !m_pDisplay)
        return;
    const CFindMatch& match = m_finder.Matches()[*index];
    m_shown = match.begin;
    m_pDisplay->ShowRange(TextPos(match.begin), TextPos(match.end));
    ShowCount();
}

void CFindBar::ShowCount()
{
    const auto& matches = m_finder.Matches();
    if (!m_problem.empty()) {
        m_pCount->setText(QString::fromStdString(m_problem));
        return;
    }
    if (!m_finder.HasQuery()) {
        m_pCount->clear();
        return;
    }
    if (matches.empty()) {
        m_pCount->setText(QStringLiteral("No matches"));
        return;
    }
    auto shown = matches.end();
    if (m_shown) {
        shown = std::lower_bound(
            matches.begin(), matches.end(), *m_shown,
            [](const CFindMatch& m, const CLinePlace& place) { return m.begin < place; });
        if (shown != matches.end() && shown->begin != *m_shown)
            shown = matches.end();
    }
    m_pCount->setText(
        shown == matches.end()
            ? QStringLiteral("%1 matches").arg(matches.size())
            : QStringLiteral("%1 of %2").arg(shown - matches.begin() + 1).arg(matches.size()));
}
