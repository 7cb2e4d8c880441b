#include "display/ui/TimingDlg.h"

#include "base/CommInfo.h"
#include "display/TimeStamp.h"
#include "platform/WindowKinds.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

CTimingDlg::CTimingDlg(CTimingInfo* timing, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pTiming(timing), m_pFormat(new QComboBox(this)),
      m_pInterval(new QLineEdit(this)), m_pNegativeNote(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Timing"));
    for (int i = 0; i < TimeStamp::kFormatCount; ++i)
        m_pFormat->addItem(QString::fromLatin1(TimeStamp::FormatName(i)));
    m_pFormat->setCurrentIndex(m_pTiming->m_nFormat >= 0 &&
                                       m_pTiming->m_nFormat < TimeStamp::kFormatCount
                                   ? m_pTiming->m_nFormat
                                   : -1);
    m_pInterval->setText(QString::number(m_pTiming->m_nMinInterval));
    m_pNegativeNote->setText(
        QStringLiteral("A negative interval means that no time stamps are shown."));

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Display Format:"), this), 0, 0);
    fields->addWidget(m_pFormat, 0, 1);
    fields->addWidget(
        new QLabel(QStringLiteral("Minimum time between messages to log (ms):"), this), 1, 0);
    fields->addWidget(m_pInterval, 1, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(m_pNegativeNote);
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(buttons);

    // 266 dialog units wide (a quarter of the average character width each)
    // unless the texts need more.
    const QFontMetrics metrics(font());
    setFixedSize(std::max(sizeHint().width(), 266 * metrics.averageCharWidth() / 4),
                 sizeHint().height());

    connect(m_pInterval, &QLineEdit::textChanged, this, &CTimingDlg::ShowNegativeNote);
    ShowNegativeNote();
}

int32_t CTimingDlg::DecimalValue(const QString& text)
{
    int pos = 0;
    const int size = static_cast<int>(text.size());
    // The C locale's white space.
    while (pos < size && (text[pos] == u' ' || (text[pos] >= u'\t' && text[pos] <= u'\r')))
        ++pos;
    bool negative = false;
    if (pos < size && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    int64_t value = 0;
    while (pos < size && text[pos] >= u'0' && text[pos] <= u'9') {
        value = std::min<int64_t>(value * 10 + (text[pos].unicode() - u'0'), int64_t{1} << 32);
        ++pos;
    }
    if (negative)
        value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void CTimingDlg::ShowNegativeNote()
{
    m_pNegativeNote->setVisible(DecimalValue(m_pInterval->text()) < 0);
}

void CTimingDlg::accept()
{
    m_pTiming->m_nMinInterval = DecimalValue(m_pInterval->text());
    // A format outside the list (a damaged file) stays as it was unless the
    // user picks one.
    if (m_pFormat->currentIndex() >= 0)
        m_pTiming->m_nFormat = m_pFormat->currentIndex();
    QDialog::accept();
}
