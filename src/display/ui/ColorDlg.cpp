#include "display/ui/ColorDlg.h"

#include "display/ui/ColorRef.h"
#include "platform/WindowKinds.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

CColorDlg::CColorDlg(Colors* colors, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pColors(colors)
{
    setWindowTitle(QStringLiteral("Colors"));
    static const char* const kNames[4] = {"Background", "Text", "Special", "Time stamps"};

    auto* layout = new QGridLayout(this);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(kNames[i]), this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { PickColor(i); });
        layout->addWidget(button, i / 2, i % 2);
        m_buttons[static_cast<size_t>(i)] = button;
        ShowSwatch(i);
    }
    // The standard buttons, with the icons the other dialogs' buttons show.
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    layout->setColumnMinimumWidth(2, QFontMetrics(font()).averageCharWidth() * 12);

    // 232 x 91 dialog units (a quarter of the average character width
    // across, an eighth of the line height down) unless the texts need more.
    const QFontMetrics metrics(font());
    setFixedSize(std::max(sizeHint().width(), 232 * metrics.averageCharWidth() / 4),
                 std::max(sizeHint().height(), 91 * metrics.height() / 8));
}

void CColorDlg::PickColor(int index)
{
    uint32_t& word = (*m_pColors)[static_cast<size_t>(index)];
    QColorDialog picker(ColorFromRef(word), this);
    picker.setWindowTitle(m_buttons[static_cast<size_t>(index)]->text());
    if (picker.exec() == QDialog::Accepted) {
        word = RefFromColor(picker.selectedColor());
        ShowSwatch(index);
    }
}

// Each button shows a sample of the colour it stands for.
void CColorDlg::ShowSwatch(int index)
{
    const int side = QFontMetrics(font()).height();
    QPixmap swatch(side, side);
    swatch.fill(ColorFromRef((*m_pColors)[static_cast<size_t>(index)]));
    QPainter frame(&swatch);
    frame.setPen(palette().color(QPalette::WindowText));
    frame.drawRect(0, 0, side - 1, side - 1);
    frame.end();
    QPushButton* button = m_buttons[static_cast<size_t>(index)];
    button->setIcon(QIcon(swatch));
    button->setIconSize(swatch.size());
}
