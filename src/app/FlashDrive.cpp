#include "app/FlashDrive.h"

#include "platform/Alerts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStorageInfo>

namespace FlashDrive {

namespace {

// /sys/block/sdb/removable holds 1 for a removable disk; a partition such as
// /dev/sdb1 belongs to the disk whose name it starts with.
bool IsRemovableDevice(const QString& device)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = device.mid(5);
    const QDir blocks(QStringLiteral("/sys/block"));
    for (const QString& disk : blocks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(disk))
            continue;
        QFile flag(blocks.filePath(disk + QStringLiteral("/removable")));
        if (flag.open(QIODevice::ReadOnly) && flag.readAll().trimmed() == "1")
            return true;
    }
    return false;
}

} // namespace

QStringList RemovableRoots()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !volume.isReadOnly() &&
            IsRemovableDevice(QString::fromLocal8Bit(volume.device())))
            roots.append(volume.rootPath());
    }
    return roots;
}

bool CopyWithTimes(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QDateTime accessed = source.fileTime(QFileDevice::FileAccessTime);
    const QDateTime modified = source.fileTime(QFileDevice::FileModificationTime);
    source.close();
    if (QFileInfo::exists(to) && !QFile::remove(to))
        return false;
    if (!QFile::copy(from, to))
        return false;
    QFile copy(to);
    if (!copy.open(QIODevice::ReadWrite))
        return false;
    copy.setFileTime(accessed, QFileDevice::FileAccessTime);
    copy.setFileTime(modified, QFileDevice::FileModificationTime);
    return true;
}

void InstallTo(QWidget* parent, const QString& instructionsPath)
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(program).fileName();
    const QStringList roots = RemovableRoots();
    QString destination = name;
    if (roots.isEmpty()) {
        QMessageBox::information(parent, Alerts::AppTitle(),
                                 QStringLiteral("No removable drive was found. Choose where to "
                                                "copy Trellium."));
    } else {
        destination = QDir(roots.last()).filePath(name); // the last one listed wins
    }
    const QString chosen =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Install to Flash Drive"), destination,
                                     QStringLiteral("Programs (*)"));
    if (chosen.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool copied = CopyWithTimes(program, chosen);
    QApplication::restoreOverrideCursor();
    if (!copied) {
        QMessageBox::warning(parent, Alerts::AppTitle(),
                             QStringLiteral("Error copying to alternate location"));
        return;
    }
    if (QFileInfo(instructionsPath).isFile() &&
        QMessageBox::question(parent, Alerts::AppTitle(),
                              QStringLiteral("Copy instructions file also?")) == QMessageBox::Yes)
        CopyWithTimes(instructionsPath, QFileInfo(chosen).absoluteDir().filePath(
                                            QFileInfo(instructionsPath).fileName()));
    QMessageBox::information(parent, Alerts::AppTitle(),
                             QStringLiteral("Copy to alternate location done"));
}

} // namespace FlashDrive
