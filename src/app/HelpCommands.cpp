#include "app/HelpCommands.h"

#include "platform/Alerts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

namespace HelpCommands {

QString InstructionsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Trelm32.pdf");
}

bool InstructionsPresent()
{
    const QFileInfo file(InstructionsPath());
    return file.exists() && !file.isDir();
}

QString PdfViewer()
{
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return {};
    QProcess query;
    query.start(mime, {QStringLiteral("query"), QStringLiteral("default"),
                       QStringLiteral("application/pdf")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

void OpenInstructions(QWidget* parent)
{
    if (!InstructionsPresent())
        return;
    const QFileInfo file(InstructionsPath());
    if (!PdfViewer().isEmpty() &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())))
        return;
    QMessageBox box(QMessageBox::Information, Alerts::AppTitle(),
                    QStringLiteral("No program to show PDF documents was found.\n\nThe "
                                   "instructions are in:\n%1")
                        .arg(file.absoluteFilePath()),
                    QMessageBox::Close, parent);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* folder = box.addButton(QStringLiteral("Open Folder"), QMessageBox::ActionRole);
    box.exec();
    if (box.clickedButton() == folder)
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
}

} // namespace HelpCommands
