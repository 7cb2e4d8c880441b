#include "tools/ui/ConverterWnd.h"

#include "platform/WindowKinds.h"
#include "tools/Converter.h"
#include "tools/ui/ToolWindowPlace.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>

namespace {

void Tint(QWidget* widget, bool shown)
{
    // The unsigned fields and the note are light blue while they hold text.
    QPalette colors = widget->palette();
    const QColor background = shown ? QColor(225, 225, 255) : QColor(Qt::white);
    colors.setColor(QPalette::Base, background);
    colors.setColor(QPalette::Window, background);
    widget->setPalette(colors);
}

} // namespace

CConverterWnd::CConverterWnd(QWidget* parent) : QWidget(parent, WindowKinds::kToolWindow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Converter"));
    const QFont resultFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics metrics(resultFont);
    const int cx = metrics.horizontalAdvance(QLatin1Char('A'));
    const int cy = metrics.height();
    const int aw = QFontMetrics(font()).averageCharWidth();
    const int H = QFontMetrics(font()).height() + QFontMetrics(font()).leading() + 2;
    setFixedSize(72 * cx, 26 * cy);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* help = new QLabel(
        QStringLiteral("Type or paste a floating point value with decimal point included to "
                       "convert it IEEE-754 representation shown in hexadecimal, type or paste a "
                       "hexadecimal value prefixed with \"0x\" to show decimal and IEEE-754 "
                       "interpretations, or type or paste a decimal value to show hexadecimal "
                       "representation."),
        this);
    help->setWordWrap(true);
    help->setGeometry(aw, H, 70 * cx, 4 * cy);
    const int y1 = H + static_cast<int>(4.5 * cy);
    const int y2 = y1 + 3 * cy;
    (new QLabel(QStringLiteral("Input"), this))->setGeometry(aw, y1, 10 * cx, cy);
    m_pInput = new QLineEdit(this);
    m_pInput->setGeometry(aw + 11 * cx, y1, 40 * cx, static_cast<int>(1.3 * cy) + 4);
    connect(m_pInput, &QLineEdit::textChanged, this, &CConverterWnd::Recompute);

    const struct
    {
        const char* text;
        int left;
        int right;
        Qt::Alignment align;
    } headers[] = {{"Order", 1, 21, Qt::AlignLeft},
                   {"Decimal Int", 21, 43, Qt::AlignRight},
                   {"Float", 45, 67, Qt::AlignRight}};
    for (size_t i = 0; i < 3; ++i) {
        m_headers[i] = new QLabel(QLatin1String(headers[i].text), this);
        m_headers[i]->setAlignment(headers[i].align | Qt::AlignVCenter);
        m_headers[i]->setGeometry(headers[i].left * cx, y2,
                                  (headers[i].right - headers[i].left) * cx, cy);
    }
    const auto field = [&](int left, int right, int top, Qt::Alignment align) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        edit->setFont(resultFont);
        edit->setFrame(false);
        edit->setAlignment(align);
        edit->setGeometry(left * cx, top, (right - left) * cx, cy + 2);
        edit->setFocusPolicy(Qt::ClickFocus);
        Tint(edit, false);
        return edit;
    };
    for (int row = 0; row < 4; ++row) {
        const int lineA = y2 + (1 + 3 * row) * cy;
        const int lineB = lineA + cy;
        auto* label = new QLabel(this);
        label->setFont(resultFont);
        label->setGeometry(cx, lineA, 20 * cx, cy);
        m_labels[static_cast<size_t>(row)] = label;
        auto& fields = m_fields[static_cast<size_t>(row)];
        fields[3] = field(21, 43, lineA, Qt::AlignRight); // unsigned
        fields[0] = field(1, 23, lineB, Qt::AlignLeft);
        fields[1] = field(21, 43, lineB, Qt::AlignRight);
        fields[2] = field(45, 67, lineB, Qt::AlignRight);
    }
    m_pNote = new QLabel(this);
    m_pNote->setAutoFillBackground(true);
    m_pNote->setGeometry(cx, y2 + 13 * cy, 30 * cx, cy);

    ToolWindowPlace::Restore(this, QStringLiteral("TRCNV"));
}

CConverterWnd::~CConverterWnd()
{
    ToolWindowPlace::Save(this, QStringLiteral("TRCNV"));
}

QLineEdit* CConverterWnd::Field(int row, int column) const
{
    return m_fields[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void CConverterWnd::Recompute()
{
    const Converter::CResult result = Converter::Convert(m_pInput->text());
    m_headers[0]->setText(result.leftHeader);
    m_headers[1]->setText(result.decimalHeader);
    m_headers[2]->setText(result.ieeeHeader);
    for (int row = 0; row < 4; ++row) {
        const Converter::CRow& r = result.rows[static_cast<size_t>(row)];
        m_labels[static_cast<size_t>(row)]->setText(r.label);
        Field(row, 0)->setText(r.left);
        Field(row, 1)->setText(r.decimal);
        Field(row, 2)->setText(r.ieee);
        Field(row, 3)->setText(r.unsignedValue);
        Tint(Field(row, 3), !r.unsignedValue.isEmpty());
    }
    m_pNote->setText(result.note);
    Tint(m_pNote, !result.note.isEmpty());
}
