// The main window: menus, sessions in child frames, opening and saving files,
// the recent-file list and the save question on close.
#include "app/MainFrame.h"
#include "SessionTestSupport.h"
#include "app/ChildFrame.h"
#include "app/FileDialogs.h"
#include "base/TrelliumIds.h"
#include "controls/TrelliumView.h"
#include "display/ui/RichCtrl.h"
#include "platform/Profile.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    // The recent-file entries are left out.
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        const bool recent = id >= Ids::CmdFileMruFirst && id < Ids::CmdFileMruFirst + 20;
        if (!action->isSeparator() && action->isVisible() && !recent)
            texts.append(action->text());
    }
    return texts;
}

QMenu* TopMenu(CMainFrame& frame, const QString& title)
{
    for (QAction* action : frame.menuBar()->actions()) {
        if (action->text() == title && action->isVisible())
            return action->menu();
    }
    return nullptr;
}

// Answers the next message box with `button`, recording its text.
void AnswerNextMessageBox(QMessageBox::StandardButton button, QString* text)
{
    QTimer::singleShot(0, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                *text = box->text();
                box->button(button)->click();
                return;
            }
        }
        AnswerNextMessageBox(button, text);
    });
}

class MainFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Platform::OpenProfile()->remove(QStringLiteral("Recent File List"));
        Platform::OpenProfile()->remove(QStringLiteral("MainFrame/Geometry"));
        frame = std::make_unique<CMainFrame>(context);
        frame->show();
    }
    void TearDown() override
    {
        for (CChildFrame* child : frame->Frames())
            child->GetDocument()->SetModifiedFlag(false);
        frame->close();
        frame.reset();
    }
    QString WriteSession(const QString& name, int port)
    {
        CTrelliumDoc doc(context);
        doc.EditInfo()->m_nNetworkPort = port;
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        doc.Save(f);
        return path;
    }

    QTemporaryDir dir;
    CSessionContext context;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, FileMenuFollowsWhetherASessionIsOpen)
{
    QMenu* file = TopMenu(*frame, QStringLiteral("&File"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(MenuTexts(file),
              (QStringList{QStringLiteral("&New"), QStringLiteral("&Open..."),
                           QStringLiteral("Install to Flash Drive..."), QStringLiteral("E&xit")}));
    EXPECT_EQ(TopMenu(*frame, QStringLiteral("&Options")), nullptr);
    frame->NewDocument();
    EXPECT_EQ(MenuTexts(file),
              (QStringList{QStringLiteral("&New"), QStringLiteral("&Open..."),
                           QStringLiteral("&Close"), QStringLiteral("&Save"),
                           QStringLiteral("Save &As..."), QStringLiteral("&Print..."),
                           QStringLiteral("Install to Flash Drive..."), QStringLiteral("E&xit")}));
    EXPECT_NE(TopMenu(*frame, QStringLiteral("&Options")), nullptr);
}

TEST_F(MainFrameTest, ChildCaptionFollowsTheSessionTitle)
{
    CChildFrame* child = frame->OpenDocument(WriteSession(QStringLiteral("lab.trw"), 23));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowTitle(), QStringLiteral("lab  127.0.0.1 Telnet Offline"));
    child->GetDocument()->ToggleHold();
    EXPECT_EQ(child->windowTitle(), QStringLiteral("lab  127.0.0.1 Telnet [Hold] Offline"));
    // Opening the same file again activates the open session.
    EXPECT_EQ(frame->OpenDocument(dir.filePath(QStringLiteral("lab.trw"))), child);
    EXPECT_EQ(frame->Frames().size(), 1);
}

TEST_F(MainFrameTest, RecentFilesKeepTwentyNewestFirst)
{
    for (int i = 0; i < 22; ++i)
        ASSERT_NE(frame->OpenDocument(WriteSession(QStringLiteral("s%1.trw").arg(i), 1000 + i)),
                  nullptr);
    const QStringList files = frame->RecentFiles().Files();
    ASSERT_EQ(files.size(), 20);
    EXPECT_TRUE(files.first().endsWith(QStringLiteral("s21.trw")));
    EXPECT_TRUE(files.last().endsWith(QStringLiteral("s2.trw")));
    auto profile = Platform::OpenProfile();
    profile->beginGroup(QStringLiteral("Recent File List"));
    EXPECT_EQ(profile->value(QStringLiteral("File1")).toString(), files.first());
    EXPECT_EQ(profile->value(QStringLiteral("File20")).toString(), files.last());
    EXPECT_FALSE(profile->contains(QStringLiteral("File21")));
}

TEST_F(MainFrameTest, ClosingAModifiedSessionAsksToSave)
{
    CChildFrame* child = frame->OpenDocument(WriteSession(QStringLiteral("mod.trw"), 80));
    ASSERT_NE(child, nullptr);
    child->GetDocument()->SetModifiedFlag(true);
    QString question;
    AnswerNextMessageBox(QMessageBox::Cancel, &question);
    child->close();
    EXPECT_EQ(question,
              QStringLiteral("Save changes to %1?").arg(dir.filePath(QStringLiteral("mod.trw"))));
    EXPECT_EQ(frame->Frames().size(), 1); // cancelled

    child->GetDocument()->EditInfo()->m_nBaudRate = 1234;
    AnswerNextMessageBox(QMessageBox::Yes, &question);
    child->close();
    QApplication::processEvents();
    EXPECT_EQ(frame->Frames().size(), 0);
    CTrelliumDoc reread(context);
    QFile f(dir.filePath(QStringLiteral("mod.trw")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    reread.Load(f);
    EXPECT_EQ(reread.Info().m_nBaudRate, 1234);
}

TEST_F(MainFrameTest, DamagedFileOpensWithWhatWasRead)
{
    CRecordingAlerts alerts;
    QFile whole(WriteSession(QStringLiteral("whole.trw"), 4242));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString cut = dir.filePath(QStringLiteral("cut.trw"));
    QFile f(cut);
    f.open(QIODevice::WriteOnly);
    f.write(bytes.left(bytes.size() - 3));
    f.close();
    CChildFrame* child = frame->OpenDocument(cut);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(alerts.Messages(), QStringList{QStringLiteral("Serialize Error")});
    EXPECT_EQ(child->GetDocument()->Info().m_nNetworkPort, 4242);
    EXPECT_EQ(frame->OpenDocument(dir.filePath(QStringLiteral("absent.trw"))), nullptr);
    EXPECT_EQ(frame->Frames().size(), 1);
}

// Frames as a user of a multi-document program expects them: a window
// without a remembered size shows the first session whole (as far as the
// screen allows), new frames never stack on one another, Cascade keeps each
// session's size and brings the active frame to the front, and a minimised
// active frame hands the keyboard to the one shown on top.
TEST_F(MainFrameTest, FramesAreLaidOutAsAMultiDocumentUserExpects)
{
    CChildFrame* first = frame->NewDocument();
    QApplication::processEvents();
    const QSize area = frame->MdiArea()->viewport()->size();
    const QSize room = frame->screen()->availableGeometry().size() - frame->size();
    EXPECT_TRUE((area.width() >= first->width() || room.width() < 50) &&
                (area.height() >= first->height() || room.height() < 50))
        << area.width() << "x" << area.height() << " for " << first->width() << "x"
        << first->height();

    CChildFrame* second = frame->NewDocument();
    CChildFrame* third = frame->NewDocument();
    EXPECT_NE(first->pos(), second->pos());
    EXPECT_NE(second->pos(), third->pos());

    frame->MdiArea()->setActiveSubWindow(first);
    QMenu* window = TopMenu(*frame, QStringLiteral("&Window"));
    ASSERT_NE(window, nullptr);
    for (QAction* action : window->actions()) {
        if (action->text() == QStringLiteral("&Cascade"))
            action->trigger();
    }
    const QList<QMdiSubWindow*> stacked = frame->MdiArea()->subWindowList(QMdiArea::StackingOrder);
    EXPECT_EQ(stacked.last(), first);
    EXPECT_EQ(frame->ActiveFrame(), first);
    EXPECT_EQ(first->size(), first->SessionSize().boundedTo(frame->MdiArea()->viewport()->size()));
    EXPECT_GT(first->pos().x(), second->pos().x()); // in front, so last in the cascade

    QApplication::setActiveWindow(frame.get());
    first->GetView()->GetDisplay()->setFocus();
    first->showMinimized();
    QApplication::processEvents();
    ASSERT_NE(frame->ActiveFrame(), nullptr);
    EXPECT_NE(frame->ActiveFrame(), first);
    EXPECT_FALSE(frame->ActiveFrame()->isMinimized());
    // The keys typed next go to the session now in front.
    EXPECT_EQ(QApplication::focusWidget(), frame->ActiveFrame()->GetView()->GetDisplay());
}

// Save As for a session never saved suggests a name made from its
// connection, without the state words and without characters a file name
// cannot hold.
TEST(FileDialogs, SuggestedNameComesFromTheConnection)
{
    EXPECT_EQ(
        FileDialogs::SuggestedName(QStringLiteral("  TCP Svr: 127.0.0.1 Port 5599 Offline [Echo]")),
        QStringLiteral("TCP Svr 127.0.0.1 Port 5599.trw"));
    EXPECT_EQ(FileDialogs::SuggestedName(QStringLiteral("  COM7 - 115200,N,8,1 [Capture On] ")),
              QStringLiteral("COM7 - 115200,N,8,1.trw"));
    EXPECT_EQ(FileDialogs::SuggestedName(QStringLiteral("a/b\\c?")), QStringLiteral("abc.trw"));
    EXPECT_EQ(FileDialogs::SuggestedName(QStringLiteral(" Offline ")),
              QStringLiteral("Session.trw"));
}

// Answers the next file dialog with `path`, noting the folder it opened in.
void AnswerNextFileDialog(const QString& path, QString* openedIn)
{
    QTimer::singleShot(0, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* files = qobject_cast<QFileDialog*>(w); files && files->isVisible()) {
                *openedIn = files->directory().absolutePath();
                files->selectFile(path);
                QMetaObject::invokeMethod(files, "accept");
                return;
            }
        }
        AnswerNextFileDialog(path, openedIn);
    });
}

// The session file dialogs start in the folder of the last session file.
TEST_F(MainFrameTest, SaveAsStartsInTheFolderLastUsed)
{
    QString openedIn;
    AnswerNextFileDialog(dir.filePath(QStringLiteral("first")), &openedIn);
    EXPECT_EQ(FileDialogs::AskSavePath(frame.get(), QStringLiteral("first.trw")),
              dir.filePath(QStringLiteral("first.trw")));
    AnswerNextFileDialog(dir.filePath(QStringLiteral("second.trw")), &openedIn);
    FileDialogs::AskSavePath(frame.get(), QStringLiteral("second.trw"));
    EXPECT_EQ(openedIn, QDir(dir.path()).absolutePath());
}

} // namespace
