#include "app/FileDialogs.h"

#include "platform/Profile.h"
#include "session/ui/SaveFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kFilter = QStringLiteral("Trellium Files (*.trw)");
const QString kFolderKey = QStringLiteral("Folders/Sessions");

// The folder the last session file was opened from or saved to: the dialogs
// start there.
QString LastFolder()
{
    return Platform::OpenProfile()->value(kFolderKey).toString();
}

QString Remember(const QString& path)
{
    if (!path.isEmpty())
        Platform::OpenProfile()->setValue(kFolderKey, QFileInfo(path).absolutePath());
    return path;
}

} // namespace

namespace FileDialogs {

QString AskOpenPath(QWidget* parent)
{
    return Remember(
        QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), LastFolder(), kFilter));
}

QString AskSavePath(QWidget* parent, const QString& current)
{
    // A bare suggested name goes into the last folder used.
    const QString start = QFileInfo(current).isAbsolute() || LastFolder().isEmpty()
                              ? current
                              : QDir(LastFolder()).filePath(current);
    return Remember(SaveFileDialog::Ask(parent, QStringLiteral("Save As"), start, kFilter,
                                        QStringLiteral("trw"), true));
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
