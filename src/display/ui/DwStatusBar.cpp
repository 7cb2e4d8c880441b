#include "display/ui/DwStatusBar.h"

#include "base/TrelliumIds.h"
#include "send/KeyPanes.h"

#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>

CDwStatusBar::CDwStatusBar(CKeyPaneTable& panes, QWidget* parent)
    : QStatusBar(parent), m_table(panes)
{
    setSizeGripEnabled(true);
    // Eight average characters, and room besides for the pane's border and
    // indent, so that a key number with a six-letter label ("2 Status") is
    // read whole in a proportional font.
    const QFontMetrics metrics(font());
    m_nKeyPaneWidth = std::max(8 * metrics.averageCharWidth(),
                               metrics.horizontalAdvance(QStringLiteral("12 Status")) + 8);
    layout()->setSpacing(0);
    for (int key = 1; key <= 12; ++key) {
        auto* pane = new QLabel(this);
        pane->setObjectName(QStringLiteral("F%1").arg(key));
        pane->setFixedWidth(m_nKeyPaneWidth);
        pane->setIndent(2);
        // The bar takes the clicks and tool tips, so that pane edges belong
        // where they should and the gaps between panes belong to a pane.
        pane->setAttribute(Qt::WA_TransparentForMouseEvents);
        addWidget(pane);
        m_panes[static_cast<size_t>(key - 1)] = pane;
    }
    connect(&m_table, &CKeyPaneTable::Changed, this, &CDwStatusBar::Refresh, Qt::QueuedConnection);
    Refresh();
}

void CDwStatusBar::Refresh()
{
    for (int key = 1; key <= 12; ++key) {
        const CKeyPaneTable::Pane pane = m_table.GetPane(key);
        QLabel* label = KeyPane(key);
        label->setFrameStyle(pane.hasData ? (QFrame::Panel | QFrame::Raised)
                                          : (QFrame::Panel | QFrame::Sunken));
        // A label longer than the pane ends in an ellipsis, never cut
        // mid-letter ("F1 Modbu"); the tool tip holds the whole macro.
        const int room = m_nKeyPaneWidth - label->indent() - 2 * label->frameWidth() - 2;
        label->setText(label->fontMetrics().elidedText(pane.label, Qt::ElideRight, room));
        QPalette colors = label->palette();
        colors.setColor(QPalette::WindowText, pane.repeating ? QColor(255, 0, 0) : QColor(0, 0, 0));
        label->setPalette(colors);
    }
}

void CDwStatusBar::SetMenuState(bool open)
{
    if (open == m_bMenuOpen)
        return;
    m_bMenuOpen = open;
    // Hidden explicitly, the panes stay hidden between two prompts and come
    // back only when the menus have closed.
    for (QLabel* pane : m_panes)
        pane->setVisible(!open);
    if (!open)
        clearMessage();
}

int CDwStatusBar::KeyAt(int x) const
{
    for (int key = 1; key <= 12; ++key) {
        const QLabel* pane = KeyPane(key);
        if (!pane->isVisible())
            continue;
        const QRect rect = pane->geometry();
        // A pane reaches to where the next one starts.
        const int right = key < 12 && KeyPane(key + 1)->isVisible()
                              ? KeyPane(key + 1)->geometry().left()
                              : rect.left() + rect.width();
        if (x >= rect.left() && x < right)
            return key;
    }
    return 0;
}

void CDwStatusBar::mousePressEvent(QMouseEvent* event)
{
    const int key = KeyAt(event->position().toPoint().x());
    if (key == 0) {
        QStatusBar::mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton)
        emit Command(Ids::CmdKeyPressFirst + key - 1);
    else if (event->button() == Qt::RightButton)
        emit Command(Ids::CmdKeyEditFirst + key - 1);
    event->accept();
}

bool CDwStatusBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int key = KeyAt(help->pos().x());
        const QString tip = key ? m_table.GetPane(key).toolTip : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(),
                               QString(tip).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                               this, KeyPane(key)->geometry());
        return true;
    }
    return QStatusBar::event(event);
}
