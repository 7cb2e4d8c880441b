#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
const QString kFilter = QStringLiteral("Trellium Files (*.trw)");
}

namespace FileDialogs {

QString AskOpenPath(QWidget* parent)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), QString(), kFilter);
}

QString AskSavePath(QWidget* parent, const QString& current)
{
    QFileDialog dialog(parent, QStringLiteral("Save As"), current, kFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("trw"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace FileDialogs
