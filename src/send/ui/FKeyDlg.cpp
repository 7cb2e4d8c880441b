#include "send/ui/FKeyDlg.h"

#include "base/TextNumbers.h"
#include "platform/WindowKinds.h"
#include "send/DataStringCheck.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabBar>
#include <QTimer>

void CFKeyDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_sinceShown.isValid() || !parentWidget())
        return;
    m_sinceShown.start();
    Place();
    // Some window managers tell the size of their frame only a moment after
    // the dialog is shown, without moving it: placed once more then.
    QTimer::singleShot(300, this, [this] {
        if (!m_bUserMoved)
            Place();
    });
}

// The window manager frames the dialog after it is shown, which moves it and
// changes its outer size: placed again while that happens, not when the user
// moves it later.
void CFKeyDlg::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    if (!m_sinceShown.isValid() || !parentWidget())
        return;
    if (m_sinceShown.hasExpired(500))
        m_bUserMoved = true;
    else
        Place();
}

void CFKeyDlg::Place()
{
    const QRect main = parentWidget()->window()->frameGeometry();
    const QRect outer = frameGeometry();
    QPoint at(main.left(), main.bottom() - 20 - outer.height() + 1);
    if (const QScreen* screen = parentWidget()->screen()) {
        const QRect room = screen->availableGeometry();
        at.setY(std::max(at.y(), room.top()));
        at.setX(
            std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - outer.width())));
    }
    if (at != outer.topLeft())
        move(at); // a window's position is its frame's
}

CFKeyDlg::CFKeyDlg(CFuncKeys* keys, int key, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pKeys(keys), m_nKey(std::clamp(key, 0, 11))
{
    setWindowTitle(QStringLiteral("Function Key Macro Setup"));
    m_work.Assign(*keys);

    auto* layout = new QGridLayout(this);
    m_pTabs = new QTabBar(this);
    m_pTabs->setExpanding(false);
    // The titles name each key's plain macro, whatever the modifier boxes say.
    for (int k = 0; k < 12; ++k) {
        const auto plain = m_work.FindKey(k, 0, 0, 0);
        m_pTabs->addTab(QStringLiteral("F%1 %2").arg(k + 1).arg(
            plain ? QString::fromLatin1(plain->m_strLabel) : QString()));
    }
    layout->addWidget(m_pTabs, 0, 0, 1, 4);

    m_pShift = new QCheckBox(QStringLiteral("Shift"), this);
    m_pCtrl = new QCheckBox(QStringLiteral("Ctrl"), this);
    layout->addWidget(m_pShift, 1, 0);
    layout->addWidget(m_pCtrl, 1, 1);

    const auto row = [&](int r, const QString& caption, QLineEdit*& edit, int span = 3) {
        layout->addWidget(new QLabel(caption, this), r, 0);
        edit = new QLineEdit(this);
        layout->addWidget(edit, r, 1, 1, span);
    };
    row(2, QStringLiteral("Label:"), m_pLabel);
    row(3, QStringLiteral("Description:"), m_pDescription);
    row(4, QStringLiteral("Data:"), m_pData);
    m_pHint = new QLabel(this);
    m_pHint->setObjectName(QStringLiteral("hint"));
    m_pHint->setStyleSheet(QStringLiteral("color: #B00000"));
    // The hint and the preview keep their lines whether or not they hold
    // text, so that nothing below them moves under the mouse while Data is
    // typed; what does not fit is in the tool tip.
    m_pHint->setFixedHeight(QFontMetrics(font()).lineSpacing() + 2);
    m_pHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    layout->addWidget(m_pHint, 5, 1, 1, 3);
    m_pPreview = new QLabel(this);
    m_pPreview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pPreview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line: a long preview is shortened to the room there is (the whole
    // of it in the tool tip) instead of growing over the fields below.
    m_pPreview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_pPreview->setFixedHeight(QFontMetrics(m_pPreview->font()).lineSpacing() + 2);
    layout->addWidget(m_pPreview, 6, 1, 1, 3);

    layout->addWidget(new QLabel(QStringLiteral("Repeat times (* infinite):"), this), 7, 0);
    m_pRepeat = new QLineEdit(this);
    layout->addWidget(m_pRepeat, 7, 1);
    layout->addWidget(new QLabel(QStringLiteral("Interval (milliseconds):"), this), 7, 2);
    m_pInterval = new QLineEdit(this);
    layout->addWidget(m_pInterval, 7, 3);
    m_pStop = new QPushButton(QStringLiteral("Stop"), this);
    layout->addWidget(m_pStop, 8, 3);
    m_pChartButton = new QPushButton(QStringLiteral("ASCII Chart"), this);
    m_pChartButton->setVisible(false); // until the window says how to open the chart
    layout->addWidget(m_pChartButton, 8, 2);
    connect(m_pChartButton, &QPushButton::clicked, this, [this] {
        if (m_openChart)
            if (CASCIIWnd* chart = m_openChart())
                chart->SetListener(this, this);
    });

    m_pAutoResponse = new QCheckBox(QStringLiteral("Auto Response"), this);
    layout->addWidget(m_pAutoResponse, 9, 0);
    m_pPattern = new QLineEdit(this);
    layout->addWidget(m_pPattern, 9, 1, 1, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons, 10, 0, 1, 4);

    m_pTabs->setCurrentIndex(m_nKey);
    LoadPage();
    connect(m_pTabs, &QTabBar::currentChanged, this, &CFKeyDlg::OnTab);
    connect(m_pShift, &QCheckBox::toggled, this, &CFKeyDlg::OnModifier);
    connect(m_pCtrl, &QCheckBox::toggled, this, &CFKeyDlg::OnModifier);
    connect(m_pRepeat, &QLineEdit::textChanged, this, &CFKeyDlg::UpdateEnables);
    connect(m_pData, &QLineEdit::textChanged, this, &CFKeyDlg::UpdateDataCheck);
    connect(m_pAutoResponse, &QCheckBox::toggled, m_pPattern, &QWidget::setEnabled);
    connect(m_pStop, &QPushButton::clicked, this, &CFKeyDlg::OnStop);
    resize(sizeHint().width() * 3 / 2, sizeHint().height());
}

void CFKeyDlg::SetChartOpener(std::function<CASCIIWnd*()> opener, CASCIIWnd* existing)
{
    m_openChart = std::move(opener);
    m_pExistingChart = existing;
    m_pChartButton->setVisible(static_cast<bool>(m_openChart));
    if (m_pExistingChart)
        m_pExistingChart->SetListener(this, this);
}

void CFKeyDlg::SetChecksumState(const ChecksumState& state)
{
    m_checksum = state;
    UpdateDataCheck();
}

void CFKeyDlg::CharClicked(int value)
{
    const QString added = value >= 32 && value <= 126
                              ? QString(QChar(value))
                              : QStringLiteral("%%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    m_pData->setText(m_pData->text() + added);
}

QString CFKeyDlg::Prompt() const
{
    return QStringLiteral("Click character to add to F%1 key %2 data")
        .arg(m_nKey + 1)
        .arg(m_pLabel->text());
}

void CFKeyDlg::LoadPage()
{
    const auto macro = m_work.FindKey(m_nKey, m_bShift, m_bCtrl, 0);
    const MacroKey empty;
    const MacroKey& m = macro ? *macro : empty;
    m_pLabel->setText(QString::fromLatin1(m.m_strLabel));
    m_pDescription->setText(QString::fromLatin1(m.m_strDescription));
    m_pData->setText(QString::fromLatin1(m.m_strData));
    // 0 and 1 both mean one send.
    m_pRepeat->setText(m.m_nRepeat == -1                        ? QStringLiteral("*")
                       : (m.m_nRepeat == 0 || m.m_nRepeat == 1) ? QString()
                                                                : QString::number(m.m_nRepeat));
    m_pInterval->setText(QString::number(m.m_nInterval));
    m_pAutoResponse->setChecked(m.m_bAutoResponseOn == 1);
    m_pPattern->setText(QString::fromLatin1(m.m_strAutoResponse));
    m_pPattern->setEnabled(m_pAutoResponse->isChecked());
    UpdateEnables();
    UpdateDataCheck();
    // An open chart adds its characters to this page's data.
    if (m_openChart && m_pChartButton && m_pExistingChart)
        m_pExistingChart->SetListener(this, this);
}

void CFKeyDlg::SavePage()
{
    const QByteArray label = m_pLabel->text().toLatin1();
    const QByteArray description = m_pDescription->text().toLatin1();
    const QByteArray data = m_pData->text().toLatin1();
    const QString repeatText = m_pRepeat->text().trimmed();
    const int repeat = repeatText == QLatin1String("*") ? -1 : LeadingInteger(repeatText);
    const int interval = LeadingInteger(m_pInterval->text());
    const int autoResponse = m_pAutoResponse->isChecked() ? 1 : 0;
    const QByteArray pattern = m_pPattern->text().toLatin1();
    const bool empty = label.isEmpty() && description.isEmpty() && data.isEmpty();
    if (m_work.FindKey(m_nKey, m_bShift, m_bCtrl, 0)) {
        if (empty) {
            m_work.RemoveKey(m_nKey, m_bShift, m_bCtrl, 0);
        } else {
            m_work.SetKeyFields(m_nKey, m_bShift, m_bCtrl, 0, label, description, data, repeat,
                                interval);
            m_work.SetAutoResponse(m_nKey, m_bShift, m_bCtrl, 0, autoResponse, pattern);
        }
    } else if (!empty) {
        m_work.AddKey(m_nKey, m_bShift, m_bCtrl, 0, label, description, data, repeat, interval,
                      autoResponse, pattern);
    }
}

void CFKeyDlg::UpdateEnables()
{
    const bool repeats = !m_pRepeat->text().isEmpty();
    m_pInterval->setEnabled(repeats);
    const auto running = m_pKeys->FindKey(m_nKey, m_bShift, m_bCtrl, 0);
    m_pStop->setEnabled(repeats && running && running->m_nDone > 0);
}

void CFKeyDlg::UpdateDataCheck()
{
    const CDataStringCheck check = CheckDataString(m_pData->text().toLatin1(), m_checksum);
    m_pHint->setText(check.problem);
    m_pHint->setToolTip(check.problem);
    m_previewText =
        m_pData->text().isEmpty() ? QString() : QStringLiteral("Sends: ") + check.preview;
    m_nPreviewBytes = check.preview.startsWith(QLatin1Char('(')) || check.preview.isEmpty()
                          ? -1
                          : static_cast<int>(check.preview.count(QLatin1Char(' '))) + 1;
    ShowPreview();
}

void CFKeyDlg::ShowPreview()
{
    const QFontMetrics metrics(m_pPreview->font());
    const int room = m_pPreview->width();
    QString shown = m_previewText;
    if (metrics.horizontalAdvance(shown) > room) {
        const QString total =
            m_nPreviewBytes > 0 ? QStringLiteral(" (%1 bytes)").arg(m_nPreviewBytes) : QString();
        shown = metrics.elidedText(m_previewText, Qt::ElideRight,
                                   room - metrics.horizontalAdvance(total)) +
                total;
    }
    m_pPreview->setText(shown);
    m_pPreview->setToolTip(shown == m_previewText ? QString() : m_previewText);
}

void CFKeyDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ShowPreview();
}

void CFKeyDlg::OnTab(int index)
{
    if (index == m_nKey || index < 0)
        return;
    SavePage();
    m_nKey = index;
    LoadPage();
}

void CFKeyDlg::OnModifier()
{
    const int shift = m_pShift->isChecked() ? 1 : 0;
    const int ctrl = m_pCtrl->isChecked() ? 1 : 0;
    if (shift == m_bShift && ctrl == m_bCtrl)
        return;
    // The page of the old combination is saved before the boxes' new state
    // is taken.
    SavePage();
    m_bShift = shift;
    m_bCtrl = ctrl;
    LoadPage();
}

void CFKeyDlg::OnStop()
{
    m_pKeys->StopKeyRepeat(m_nKey, m_bShift, m_bCtrl, 0);
    UpdateEnables();
}

void CFKeyDlg::accept()
{
    SavePage();
    // Replacing the set stops every repeat of the session and rebuilds the
    // auto-response matcher in the same step.
    m_pKeys->Assign(m_work);
    QDialog::accept();
}
