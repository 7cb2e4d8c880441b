// The capture options dialog: OK stores what was edited, Cancel nothing, and
// Browse... fills the file name from a file dialog.
#include "session/ui/CapDlg.h"
#include "session/Capture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QPushButton* ButtonNamed(const QDialog& dialog, const QString& text)
{
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

TEST(CapDlg, OkStoresTheOptionsAndCancelLeavesThem)
{
    CCapture capture;
    capture.m_strFileName = "/tmp/old.txt";
    {
        CCapDlg dialog(&capture);
        EXPECT_EQ(dialog.findChild<QLineEdit*>()->text(), QStringLiteral("/tmp/old.txt"));
        dialog.findChild<QCheckBox*>()->setChecked(true);
        dialog.findChild<QLineEdit*>()->setText(QStringLiteral("/tmp/new.txt"));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    }
    EXPECT_EQ(capture.m_bAutoBegin, 0);
    EXPECT_EQ(capture.m_strFileName, QByteArray("/tmp/old.txt"));
    {
        CCapDlg dialog(&capture);
        dialog.findChild<QCheckBox*>()->setChecked(true);
        dialog.findChild<QLineEdit*>()->setText(QStringLiteral("/tmp/new.txt"));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
    EXPECT_EQ(capture.m_bAutoBegin, 1);
    EXPECT_EQ(capture.m_strFileName, QByteArray("/tmp/new.txt"));
}

TEST(CapDlg, BrowseFillsTheFileNameAndAddsTheExtension)
{
    QTemporaryDir dir;
    CCapture capture;
    CCapDlg dialog(&capture);
    dialog.show();
    QTimer::singleShot(0, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* files = qobject_cast<QFileDialog*>(window); files && files->isVisible()) {
                files->selectFile(dir.filePath(QStringLiteral("traffic")));
                QMetaObject::invokeMethod(files, "accept");
            }
        }
    });
    QPushButton* browse = ButtonNamed(dialog, QStringLiteral("&Browse..."));
    ASSERT_NE(browse, nullptr);
    browse->click();
    EXPECT_EQ(dialog.findChild<QLineEdit*>()->text(), dir.filePath(QStringLiteral("traffic.txt")));
}

} // namespace
