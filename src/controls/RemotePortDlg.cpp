#include "controls/RemotePortDlg.h"

#include "platform/WindowKinds.h"
#include "serial/PortNames.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

CRemotePortDlg::CRemotePortDlg(std::set<int> taken, int suggested, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_taken(std::move(taken))
{
    setWindowTitle(QStringLiteral("Add Remote Port"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* note = new QLabel(QStringLiteral("A serial port on another machine, served with serial "
                                           "port control over telnet (RFC 2217), for example by "
                                           "ser2net."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* form = new QFormLayout;
    m_pHost = new QLineEdit(this);
    m_pHost->setPlaceholderText(QStringLiteral("host name or address"));
    form->addRow(QStringLiteral("&Host:"), m_pHost);
    m_pPort = new QSpinBox(this);
    m_pPort->setRange(1, 65535);
    m_pPort->setValue(2217);
    form->addRow(QStringLiteral("&Port:"), m_pPort);
    m_pNumber = new QSpinBox(this);
    m_pNumber->setRange(1, 254);
    m_pNumber->setPrefix(QStringLiteral("COM"));
    m_pNumber->setValue(suggested);
    form->addRow(QStringLiteral("&Number:"), m_pNumber);
    layout->addLayout(form);
    m_pAddress = new QLabel(this);
    m_pAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pAddress);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_pHost, &QLineEdit::textChanged, this, [this] { ShowAddress(); });
    connect(m_pPort, &QSpinBox::valueChanged, this, [this] { ShowAddress(); });
    connect(m_pNumber, &QSpinBox::valueChanged, this, [this] { ShowAddress(); });
    ShowAddress();
}

int CRemotePortDlg::ComNumber() const
{
    return m_pNumber->value();
}

QString CRemotePortDlg::Address() const
{
    return PortNames::RemoteAddress(
        {m_pHost->text().trimmed().toLatin1(), static_cast<uint16_t>(m_pPort->value())});
}

void CRemotePortDlg::ShowAddress()
{
    m_pAddress->setText(QStringLiteral("COM%1 = %2").arg(ComNumber()).arg(Address()));
}

void CRemotePortDlg::accept()
{
    QString problem;
    if (m_pHost->text().trimmed().isEmpty())
        problem = QStringLiteral("Enter the host that serves the port.");
    else if (!PortNames::ParseRemote(Address()))
        problem = QStringLiteral("\"%1\" is not a host name or address.").arg(m_pHost->text());
    else if (m_taken.count(ComNumber()))
        problem = QStringLiteral("COM%1 is taken already: choose another number.").arg(ComNumber());
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        if (m_taken.count(ComNumber()) && !m_pHost->text().trimmed().isEmpty())
            m_pNumber->setFocus();
        else
            m_pHost->setFocus();
        return;
    }
    QDialog::accept();
}
