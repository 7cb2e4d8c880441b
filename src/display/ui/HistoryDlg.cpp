#include "display/ui/HistoryDlg.h"

#include "display/LineBuffer.h"
#include "platform/WindowKinds.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <algorithm>
#include <iterator>

const int CHistoryDlg::kChoices[5] = {100, 1000, 10000, 100000, 1000000};

CHistoryDlg::CHistoryDlg(int lines, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pLines(new QComboBox(this)),
      m_pMemory(new QLabel(this))
{
    setWindowTitle(QStringLiteral("History"));
    const QLocale locale;
    for (const int choice : kChoices)
        m_pLines->addItem(QStringLiteral("%1 lines").arg(locale.toString(choice)), choice);
    // A value set by hand in the profile shows as the next choice up.
    const auto* choice = std::lower_bound(std::begin(kChoices), std::end(kChoices), lines);
    m_pLines->setCurrentIndex(choice == std::end(kChoices)
                                  ? static_cast<int>(std::size(kChoices)) - 1
                                  : static_cast<int>(choice - std::begin(kChoices)));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Lines each session keeps:"), this));
    row->addWidget(m_pLines);
    row->addWidget(m_pMemory, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);

    connect(m_pLines, &QComboBox::currentIndexChanged, this, &CHistoryDlg::ShowMemory);
    ShowMemory();
}

int CHistoryDlg::Lines() const
{
    return m_pLines->currentData().toInt();
}

QString CHistoryDlg::MemoryText(int lines)
{
    const double megabytes = static_cast<double>(CLineBuffer::MemoryFor(lines)) / 1e6;
    return megabytes < 1 ? QStringLiteral("under 1 MB for each session")
                         : QStringLiteral("up to %1 MB for each session")
                               .arg(QLocale().toString(megabytes, 'f', 0));
}

void CHistoryDlg::ShowMemory()
{
    m_pMemory->setText(MemoryText(Lines()));
}
