#include "tools/ui/ASCIIWnd.h"

#include "platform/WindowKinds.h"
#include "tools/AsciiTable.h"
#include "tools/ui/ToolWindowPlace.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>

namespace {

QColor SectionColor(AsciiTable::Section section)
{
    switch (section) {
    case AsciiTable::Section::Control:
        return {255, 225, 225};
    case AsciiTable::Section::Printable:
        return {225, 255, 225};
    default:
        return {225, 225, 225};
    }
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

CASCIIWnd::CASCIIWnd(QWidget* parent) : QWidget(parent, WindowKinds::kToolWindow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ASCII Chart"));
    QFont cellFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics metrics(cellFont);
    const int w = metrics.averageCharWidth();
    const int h = metrics.height() + metrics.leading() + 2;
    setFixedSize(107 * w, 35 * h);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    const auto cell = [&](int value, int x, int width, int row) {
        const QRect rect(x, (row + 1) * h, width, h);
        m_cells[static_cast<size_t>(value)] = rect;
        QLabel* label = MakeLabel(this, AsciiTable::CellText(value), rect);
        label->setFont(cellFont);
        label->setAutoFillBackground(true);
        QPalette colors = label->palette();
        colors.setColor(QPalette::Window, SectionColor(AsciiTable::SectionOf(value)));
        colors.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(colors);
        label->setObjectName(QStringLiteral("cell%1").arg(value));
    };
    const QString header = QStringLiteral("Dec Hex Chr");
    MakeLabel(this, header, QRect(0, 0, 20 * w, h));
    for (int v = 0; v < 32; ++v)
        cell(v, 0, 20 * w, v);
    for (int column = 0; column < 3; ++column) {
        const int x = (20 + 14 * column) * w;
        MakeLabel(this, header, QRect(x, 0, 14 * w, h));
        for (int row = 0; row < 32; ++row)
            cell(32 + 32 * column + row, x, 14 * w, row);
    }
    for (int column = 0; column < 4; ++column) {
        const int x = (62 + 11 * column) * w;
        MakeLabel(this, column == 0 ? QStringLiteral(" Dec Hex") : QStringLiteral("  Dec Hex"),
                  QRect(x, 0, 11 * w, h));
        for (int row = 0; row < 32; ++row)
            cell(128 + 32 * column + row, x, 11 * w, row);
    }
    const struct
    {
        const char* text;
        int left;
        int right;
        AsciiTable::Section section;
    } titles[] = {
        {" Control Characters", 0, 20, AsciiTable::Section::Control},
        {" Printable Characters", 20, 62, AsciiTable::Section::Printable},
        {" 8-bit characters implementation specific", 62, 106, AsciiTable::Section::EightBit},
    };
    for (const auto& title : titles) {
        QLabel* label = MakeLabel(this, QLatin1String(title.text),
                                  QRect(title.left * w, 33 * h, (title.right - title.left) * w, h));
        label->setAutoFillBackground(true);
        QPalette colors = label->palette();
        colors.setColor(QPalette::Window, SectionColor(title.section));
        label->setPalette(colors);
    }

    ToolWindowPlace::Restore(this, QStringLiteral("TRASCII"));
}

CASCIIWnd::~CASCIIWnd()
{
    ToolWindowPlace::Save(this, QStringLiteral("TRASCII"));
}

void CASCIIWnd::SetListener(CASCIIWndListener* listener, QObject* owner)
{
    m_pListener = owner ? listener : nullptr;
    m_pListenerOwner = owner;
    if (m_pListener)
        setWindowTitle(QStringLiteral("ASCII Chart - %1").arg(m_pListener->Prompt()));
}

int CASCIIWnd::ValueAt(const QPoint& point) const
{
    for (int value = 0; value < 256; ++value) {
        const QRect& rect = m_cells[static_cast<size_t>(value)];
        if (point.x() >= rect.left() && point.x() <= rect.left() + rect.width() &&
            point.y() >= rect.top() && point.y() <= rect.top() + rect.height())
            return value;
    }
    return -1;
}

// The cells let the mouse through to the chart, so the chart tells their
// tips: "Ctrl-A  SOH = Start of Heading" and the rest.
bool CASCIIWnd::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int value = ValueAt(help->pos());
        const QString tip = value >= 0 ? AsciiTable::ToolTip(value) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this, CellRect(value));
        return true;
    }
    return QWidget::event(event);
}

void CASCIIWnd::mousePressEvent(QMouseEvent* event)
{
    const int value = ValueAt(event->position().toPoint());
    if (value >= 0 && event->button() == Qt::LeftButton && m_pListener && m_pListenerOwner)
        m_pListener->CharClicked(value);
    event->accept();
}
