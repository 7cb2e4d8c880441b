#include "controls/SettingsDialogs.h"

#include "base/TextNumbers.h"

#include "base/CommInfo.h"
#include "platform/WindowKinds.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <limits>

CCustomBaud::CCustomBaud(int baud, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_nBaud(baud)
{
    setWindowTitle(QStringLiteral("Custom Baud"));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from resizing
    layout->addWidget(new QLabel(QStringLiteral("Baud:"), this), 0, 0);
    m_pEdit = new QLineEdit(QString::number(baud), this);
    layout->addWidget(m_pEdit, 0, 1);
    auto* note = new QLabel(QStringLiteral("Check your serial port documentation to determine "
                                           "what baud rates are supported."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note, 1, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons, 2, 0, 1, 2);
}

void CCustomBaud::accept()
{
    // A rate of 0 or less would be stored and applied to the port as it is;
    // say so here instead of leaving the port in a state it cannot take.
    const int baud = LeadingInteger(m_pEdit->text());
    if (baud <= 0) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The baud rate must be a positive number."));
        m_pEdit->setFocus();
        return;
    }
    m_nBaud = baud;
    QDialog::accept();
}

CCommSettingsDlg::CCommSettingsDlg(CCommInfo* info, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pInfo(info)
{
    setWindowTitle(QStringLiteral("Echo Setting"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_pEcho = new QCheckBox(QStringLiteral("Echo sent characters"), this);
    m_pEcho->setChecked(info->EchoOn());
    layout->addWidget(m_pEcho);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CCommSettingsDlg::accept()
{
    if (m_pEcho->isChecked() != m_pInfo->EchoOn()) {
        m_pInfo->m_nOptions ^= kOptionEcho;
        m_bChanged = true;
    }
    QDialog::accept();
}
