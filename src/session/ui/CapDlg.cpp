#include "session/ui/CapDlg.h"

#include "platform/WindowKinds.h"
#include "session/Capture.h"
#include "session/ui/SaveFileDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CCapDlg::CCapDlg(CCapture* capture, QWidget* parent)
    : QDialog(parent, WindowKinds::kDialog), m_pCapture(capture)
{
    setWindowTitle(QStringLiteral("Capture Options"));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from resizing
    m_pAutoBegin = new QCheckBox(QStringLiteral("Automatically begin capture"), this);
    m_pAutoBegin->setChecked(capture->m_bAutoBegin != 0);
    layout->addWidget(m_pAutoBegin, 0, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Filename:"), this), 1, 0);
    m_pFile = new QLineEdit(QFile::decodeName(capture->m_strFileName), this);
    m_pFile->setMinimumWidth(QFontMetrics(font()).averageCharWidth() * 50);
    layout->addWidget(m_pFile, 1, 1);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            SaveFileDialog::AskCapture(this, QStringLiteral("Capture File"), m_pFile->text());
        if (!path.isEmpty())
            m_pFile->setText(path);
    });
    layout->addWidget(browse, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons, 2, 0, 1, 3);
}

void CCapDlg::accept()
{
    m_pCapture->m_bAutoBegin = m_pAutoBegin->isChecked() ? 1 : 0;
    m_pCapture->m_strFileName = QFile::encodeName(m_pFile->text());
    QDialog::accept();
}
