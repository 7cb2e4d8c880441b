#include "app/AboutBox.h"

#include "TrelliumVersion.h"
#include "platform/WindowKinds.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

CAboutBox::CAboutBox(const QIcon& icon, QWidget* parent) : QDialog(parent, WindowKinds::kDialog)
{
    setWindowTitle(QStringLiteral("About Trellium"));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* picture = new QLabel(this);
    picture->setPixmap(icon.pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);
    layout->addWidget(picture, 0, 0, 4, 1);
    layout->addWidget(new QLabel(QStringLiteral("%1 Version %2")
                                     .arg(QStringLiteral(TRELLIUM_PRODUCT_NAME),
                                          QStringLiteral(TRELLIUM_PRODUCT_VERSION)),
                                 this),
                      0, 1);
    layout->addWidget(new QLabel(QStringLiteral(TRELLIUM_LEGAL_NOTICE), this), 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Compiled: " __DATE__), this), 2, 1);
    auto* link = new QLabel(
        QStringLiteral("<a href=\"%1\">%1</a>").arg(QStringLiteral(TRELLIUM_WEBSITE)), this);
    link->setObjectName(QStringLiteral("link"));
    link->setOpenExternalLinks(true);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    layout->addWidget(link, 3, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 4, 0, 1, 2);
}
