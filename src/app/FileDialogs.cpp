#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

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

QString SuggestedName(const QString& title)
{
    // The connection, without the state words ("Offline", "[Echo]" ...).
    static const QRegularExpression state(QStringLiteral("\\[[^\\]]*\\]|\\bOffline\\b"));
    QString connection = title;
    connection.remove(state);
    QString name;
    for (const QChar c : std::as_const(connection)) {
        // Characters a file name must not hold, or that trouble a shell.
        if (QStringLiteral("/\\:*?\"<>|[]").contains(c) || c.unicode() < 32)
            continue;
        name += c;
    }
    name = name.simplified();
    if (name.isEmpty())
        name = QStringLiteral("Session");
    return name + QStringLiteral(".trw");
}

} // namespace FileDialogs
