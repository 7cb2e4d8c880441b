// The window as a terminal user meets it: every key typed into a display is
// a byte for the port (window shortcuts take none), the Alt accelerators run
// their commands, the status bar's panes map clicks to keys, port changes
// are debounced, the workspace comes back where it was, and a session read
// from a file draws in its own colours.
#include "SessionTestSupport.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "base/TrelliumIds.h"
#include "controls/TrelliumView.h"
#include "display/ui/DwStatusBar.h"
#include "display/ui/FindBar.h"
#include "display/ui/RichCtrl.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/Workspace.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

class Window : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(Workspace::FilePath());
        frame = std::make_unique<CMainFrame>(context);
        frame->resize(1200, 800);
        frame->show();
        QApplication::setActiveWindow(frame.get());
    }
    void TearDown() override
    {
        for (CChildFrame* child : frame->Frames())
            child->GetDocument()->SetModifiedFlag(false);
        frame->close();
        frame.reset();
        QFile::remove(Workspace::FilePath());
    }
    // A UDP server session with echo: what it "sends" shows in its ring.
    CChildFrame* EchoSession()
    {
        CChildFrame* child = frame->NewDocument();
        child->GetDocument()->SelectPort(PortIdUdpServer);
        child->GetDocument()->EditInfo()->m_nOptions = kOptionEcho;
        child->GetView()->GetDisplay()->setFocus();
        DrainEvents();
        return child;
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    std::unique_ptr<CMainFrame> frame;
    QTemporaryDir dir;
};

struct TypedKey
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* byte;
};

TEST_F(Window, EveryKeyTypedIntoADisplayIsAByteForThePort)
{
    CChildFrame* child = EchoSession();
    CRichCtrl* display = child->GetView()->GetDisplay();
    const TypedKey keys[] = {
        {Qt::Key_W, Qt::ControlModifier, "\x17"}, // the sub-window's own close
        {Qt::Key_N, Qt::ControlModifier, "\x0e"}, {Qt::Key_O, Qt::ControlModifier, "\x0f"},
        {Qt::Key_S, Qt::ControlModifier, "\x13"}, // XOFF, not Save
        {Qt::Key_Q, Qt::ControlModifier, "\x11"}, {Qt::Key_Tab, Qt::NoModifier, "\t"},
        {Qt::Key_Escape, Qt::NoModifier, "\x1b"}, {Qt::Key_Backspace, Qt::NoModifier, "\b"},
        {Qt::Key_F4, Qt::ControlModifier, ""},    // a function key, not "close"
        {Qt::Key_Tab, Qt::ControlModifier, "\t"}, // not the next window
    };
    QByteArray expected;
    for (const TypedKey& k : keys) {
        QTest::keyClick(display, k.key, k.modifiers);
        expected += k.byte;
    }
    DrainEvents();
    EXPECT_EQ(child->GetDocument()->RingContents(), expected);
    EXPECT_EQ(frame->Frames().size(), 1); // nothing closed
    EXPECT_TRUE(display->hasFocus());     // Tab moved no focus
}

TEST_F(Window, AltAcceleratorsRunTheirCommandsAndNeverType)
{
    CChildFrame* child = EchoSession();
    CRichCtrl* display = child->GetView()->GetDisplay();
    CTrelliumDoc* doc = child->GetDocument();
    QTest::keyClick(display, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(doc->IsHold());
    QTest::keyClick(display, Qt::Key_H, Qt::AltModifier);
    EXPECT_FALSE(doc->IsHold());
    doc->SendData("x", 1);
    DrainEvents();
    display->FlushDisplay();
    EXPECT_FALSE(display->Text().isEmpty());
    QTest::keyClick(display, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(display->Text().isEmpty());
    EXPECT_EQ(doc->RingContents(), QByteArray("x")); // no byte typed by Alt
}

TEST_F(Window, StatusBarPanesMapClicksToKeysEdgesIncluded)
{
    CChildFrame* child = EchoSession();
    ASSERT_TRUE(child->GetDocument()->m_funcKeys.AddKey(2, 0, 0, 0, "Three", "", "3", 0, 0, 0, {}));
    CDwStatusBar* bar = frame->KeyBar();
    QSignalSpy commands(bar, &CDwStatusBar::Command);
    const QRect third = bar->KeyPane(3)->geometry();
    const QRect fourth = bar->KeyPane(4)->geometry();
    EXPECT_EQ(bar->KeyAt(third.left()), 3);      // the left edge belongs to the pane
    EXPECT_EQ(bar->KeyAt(fourth.left() - 1), 3); // up to where the next starts
    EXPECT_EQ(bar->KeyAt(fourth.left()), 4);
    EXPECT_EQ(bar->KeyAt(bar->KeyPane(1)->geometry().left() - 1), 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(third.left(), third.center().y()));
    // A right click opens the key's setup; it is cancelled here.
    QString title;
    QTimer::singleShot(0, [&title] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(third.left(), third.center().y()));
    EXPECT_EQ(title, QStringLiteral("Function Key Macro Setup"));
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[0][0].toInt(), Ids::CmdKeyPressFirst + 2);
    EXPECT_EQ(commands[1][0].toInt(), Ids::CmdKeyEditFirst + 2);
    DrainEvents();
    EXPECT_EQ(child->GetDocument()->RingContents(), QByteArray("3")); // F3 was pressed
    // The panes show the active session's keys.
    child->GetDocument()->RefreshKeyLabels(false, false);
    DrainEvents();
    EXPECT_EQ(bar->KeyPane(3)->text(), QStringLiteral("3 Three"));
    // A six-letter label is read whole.
    ASSERT_TRUE(
        child->GetDocument()->m_funcKeys.AddKey(1, 0, 0, 0, "Status", "", "S", 0, 0, 0, {}));
    child->GetDocument()->RefreshKeyLabels(false, false);
    DrainEvents();
    const QLabel* second = bar->KeyPane(2);
    EXPECT_EQ(second->text(), QStringLiteral("2 Status"));
    EXPECT_LE(second->fontMetrics().horizontalAdvance(second->text()) + second->indent(),
              second->contentsRect().width());
}

// For as long as a menu is open, nothing highlighted in it, the key panes
// give way to the menu prompts, and a click there presses no key.
TEST_F(Window, KeyPanesGiveWayWhileAMenuIsOpen)
{
    EchoSession();
    CDwStatusBar* bar = frame->KeyBar();
    const QPoint onThird = bar->KeyPane(3)->geometry().center();
    QMenu* options = nullptr;
    for (QAction* action : frame->menuBar()->actions()) {
        if (action->text() == QStringLiteral("&Options"))
            options = action->menu();
    }
    ASSERT_NE(options, nullptr);
    options->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(options->isVisible());
    EXPECT_TRUE(bar->IsMenuOpen());
    for (int key = 1; key <= 12; ++key)
        EXPECT_FALSE(bar->KeyPane(key)->isVisible()) << key;
    EXPECT_EQ(bar->KeyAt(onThird.x()), 0);
    options->hide();
    EXPECT_FALSE(bar->IsMenuOpen());
    EXPECT_TRUE(bar->KeyPane(3)->isVisible());
    EXPECT_EQ(bar->KeyAt(onThird.x()), 3);
}

// Find opens from the View menu and the toolbar, never from a key; what is
// typed into it never reaches the port, and Esc there closes it.
TEST_F(Window, FindOpensFromMenuAndToolbarAndTakesNoByteFromThePort)
{
    CChildFrame* child = EchoSession();
    CRichCtrl* display = child->GetView()->GetDisplay();
    QAction* find = frame->CommandAction(Ids::CmdFind);
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->shortcut().isEmpty());
    EXPECT_TRUE(frame->findChild<QToolBar*>(QStringLiteral("Toolbar"))->actions().contains(find));
    bool inView = false;
    for (QAction* menu : frame->menuBar()->actions()) {
        if (menu->text() == QStringLiteral("&View"))
            inView = menu->menu()->actions().contains(find);
    }
    EXPECT_TRUE(inView);

    auto* bar = frame->findChild<CFindBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    find->trigger();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->Display(), display);
    QTest::keyClicks(bar->TextEdit(), QStringLiteral("abc"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    QTest::keyClick(bar->TextEdit(), Qt::Key_Escape);
    DrainEvents();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(child->GetDocument()->RingContents(), QByteArray());
    // In the display Esc is the port's again.
    QTest::keyClick(display, Qt::Key_Escape);
    DrainEvents();
    EXPECT_EQ(child->GetDocument()->RingContents(), QByteArray("\x1b"));
}

// Byte values can be asked of a Hex display only: the option is greyed for
// the others, following the active session and its display mode; ticked
// and greyed, the query is found as the text typed.
TEST_F(Window, FindOffersByteValuesOnlyForAHexDisplay)
{
    CChildFrame* text = EchoSession();
    CChildFrame* hex = EchoSession();
    const auto chooseMode = [](CChildFrame* child, int mode) {
        QSignalSpy synced(child->GetView()->GetDisplay(), &CRichCtrl::Synced);
        emit child->GetView()->ModeBox()->activated(mode);
        ASSERT_TRUE(synced.wait());
    };
    chooseMode(hex, 2);
    frame->MdiArea()->setActiveSubWindow(hex);
    frame->CommandAction(Ids::CmdFind)->trigger();
    auto* bar = frame->findChild<CFindBar*>();
    ASSERT_EQ(bar->Display(), hex->GetView()->GetDisplay());
    EXPECT_TRUE(bar->BytesBox()->isEnabled());
    bar->BytesBox()->setChecked(true);
    QTest::keyClicks(bar->TextEdit(), QStringLiteral("0D 0A"));

    frame->MdiArea()->setActiveSubWindow(text);
    ASSERT_EQ(bar->Display(), text->GetView()->GetDisplay());
    EXPECT_FALSE(bar->BytesBox()->isEnabled());
    EXPECT_TRUE(bar->BytesBox()->isChecked());
    text->GetDocument()->SendData("0D 0A", 5);
    DrainEvents();
    text->GetView()->GetDisplay()->FlushDisplay();
    EXPECT_EQ(bar->Finder().Matches().size(), 1u);

    // The Mont display turned to Hex: it holds the characters "0D 0A", not
    // the bytes.
    chooseMode(text, 2);
    EXPECT_TRUE(bar->BytesBox()->isEnabled());
    EXPECT_EQ(bar->Finder().Matches().size(), 0u);
    chooseMode(text, 0);
    EXPECT_FALSE(bar->BytesBox()->isEnabled());
    frame->MdiArea()->setActiveSubWindow(hex);
    EXPECT_TRUE(bar->BytesBox()->isEnabled());
}

TEST_F(Window, PortChangesInABurstGiveOneRebuild)
{
    frame->NewDocument();
    ASSERT_EQ(clock.PendingTimers(), 0);
    // Five notifications over 1200 ms: the first starts the 2000 ms timer,
    // the others are absorbed (a restart would push the rebuild later).
    for (int i = 0; i < 5; ++i) {
        frame->RunCommand(Ids::CmdPortsChanged);
        EXPECT_EQ(clock.PendingTimers(), 1);
        clock.Advance(300);
    }
    clock.Advance(499); // 1999 ms after the first
    EXPECT_EQ(clock.PendingTimers(), 1);
    clock.Advance(1); // the rebuild
    EXPECT_EQ(clock.PendingTimers(), 0);
    EXPECT_EQ(context.Ports().Items().back().m_strName, QStringLiteral("Merge"));
    frame->RunCommand(Ids::CmdPortsChanged); // a later change starts a new wait
    EXPECT_EQ(clock.PendingTimers(), 1);
}

TEST_F(Window, WorkspaceComesBackWithPlacementsAndMaximisedFrames)
{
    const auto save = [&](const QString& name, int port) {
        CTrelliumDoc doc(context);
        doc.EditInfo()->m_nNetworkPort = port;
        const QString path = dir.filePath(name);
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    };
    const QString a = save(QStringLiteral("a.trw"), 1001);
    const QString b = save(QStringLiteral("b.trw"), 1002);
    CChildFrame* first = frame->OpenDocument(a);
    CChildFrame* second = frame->OpenDocument(b);
    frame->NewDocument(); // never saved: written with an empty path
    first->setGeometry(10, 20, 1100, 400);
    second->setGeometry(50, 60, 1120, 420);
    second->showMaximized();
    DrainEvents();
    ASSERT_TRUE(frame->SaveWorkspace());

    QFile file(Workspace::FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    EXPECT_EQ(bytes.left(12), QByteArray(12, '\0'));    // reserved words
    EXPECT_EQ(bytes.mid(12, 15), QByteArray(15, '\0')); // fifteen empty texts
    EXPECT_EQ(bytes.mid(27, 4), QByteArray::fromHex("03000000"));
    EXPECT_EQ(bytes.right(4), QByteArray(4, '\0'));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Workspace::CReadResult read = Workspace::Read(buffer);
    ASSERT_TRUE(read.bComplete);
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(read.records[0].left, 10);
    EXPECT_EQ(read.records[0].bottom, 420);
    EXPECT_EQ(read.records[1].showCommand, CWorkspaceRecord::ShowMaximized);
    EXPECT_EQ(read.records[1].right, 1170); // the normal rectangle kept
    EXPECT_TRUE(read.records[2].path.isEmpty());

    const auto closeAll = [&] {
        for (CChildFrame* child : frame->Frames())
            child->close();
        DrainEvents();
        ASSERT_TRUE(frame->Frames().isEmpty());
    };
    // The maximised frame comes back maximised and active although another
    // opens after it; the others keep the rectangles they had, however the
    // frames were widened when they were made.
    first->showNormal();
    first->setGeometry(10, 20, 500, 400); // narrower than the display: tiled
    const QString c = save(QStringLiteral("c.trw"), 1003);
    CChildFrame* third = frame->OpenDocument(c);
    second->showMaximized();
    frame->MdiArea()->setActiveSubWindow(third);
    third->showNormal();
    third->setGeometry(30, 40, 880, 300);
    second->showMaximized();
    DrainEvents();
    ASSERT_TRUE(frame->SaveWorkspace());
    closeAll();
    EXPECT_EQ(frame->RestoreWorkspace(), 3);
    DrainEvents();
    ASSERT_EQ(frame->Frames().size(), 3);
    EXPECT_EQ(frame->Frames()[0]->geometry(), QRect(10, 20, 500, 400));
    EXPECT_TRUE(frame->Frames()[1]->isMaximized());
    EXPECT_EQ(frame->ActiveFrame(), frame->Frames()[1]);
    EXPECT_FALSE(frame->Frames()[2]->isMaximized());
    EXPECT_EQ(frame->Frames()[2]->WindowState().right, 30 + 880);

    closeAll();
    QFile::remove(b); // a file that is gone is skipped quietly
    EXPECT_EQ(frame->RestoreWorkspace(), 2);
    ASSERT_EQ(frame->Frames().size(), 2);
    EXPECT_EQ(frame->Frames()[0]->geometry(), QRect(10, 20, 500, 400));
    EXPECT_TRUE(alerts.Messages().isEmpty());
}

TEST_F(Window, DamagedWorkspaceRestoresWhatItCan)
{
    CTrelliumDoc doc(context);
    const QString path = dir.filePath(QStringLiteral("ok.trw"));
    ASSERT_TRUE(doc.OnSaveDocument(path));
    CWorkspaceRecord record;
    record.path = QFile::encodeName(path);
    record.right = 600;
    record.bottom = 300;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(Workspace::Write(buffer, {record}));
    QByteArray bytes = buffer.data();
    bytes.replace(27, 4, QByteArray::fromHex("FFFFFF7F")); // a hostile count
    bytes.chop(6);                                         // and a cut end
    QDir().mkpath(QFileInfo(Workspace::FilePath()).absolutePath());
    QFile file(Workspace::FilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    EXPECT_EQ(frame->RestoreWorkspace(), 0); // the one record was cut short
    bytes = buffer.data();
    bytes.replace(27, 4, QByteArray::fromHex("FFFFFF7F"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    EXPECT_EQ(frame->RestoreWorkspace(), 1); // whole records before the end
}

// Corners at the ends of the 32-bit range: the width and height are worked
// out before they are clamped, so a record spanning the whole range comes
// back as large as allowed and an inverted one as small as allowed, and the
// placement saved again stays what was restored.
TEST_F(Window, WorkspaceWithExtremeCornersRestoresWithinReason)
{
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    std::vector<CWorkspaceRecord> records;
    for (const QString& name : {QStringLiteral("whole.trw"), QStringLiteral("inverted.trw")}) {
        CTrelliumDoc doc(context);
        const QString path = dir.filePath(name);
        ASSERT_TRUE(doc.OnSaveDocument(path));
        CWorkspaceRecord record;
        record.path = QFile::encodeName(path);
        records.push_back(record);
    }
    records[0].left = kMin;
    records[0].top = kMin;
    records[0].right = kMax;
    records[0].bottom = kMax;
    records[1].left = kMax;
    records[1].top = kMax;
    records[1].right = kMin;
    records[1].bottom = kMin;
    QDir().mkpath(QFileInfo(Workspace::FilePath()).absolutePath());
    QFile file(Workspace::FilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(Workspace::Write(file, records));
    file.close();

    ASSERT_EQ(frame->RestoreWorkspace(), 2);
    DrainEvents();
    ASSERT_EQ(frame->Frames().size(), 2);
    EXPECT_EQ(frame->Frames()[0]->geometry(), QRect(-5000, -5000, 10000, 10000));
    const QRect inverted = frame->Frames()[1]->geometry();
    EXPECT_EQ(inverted.topLeft(), QPoint(10000, 10000));
    EXPECT_LE(inverted.width(), 1000); // the smallest width the frame takes
    const CWorkspaceRecord again = frame->Frames()[0]->WindowState();
    EXPECT_EQ(again.left, -5000);
    EXPECT_EQ(again.right, 5000);
    EXPECT_EQ(again.bottom, 5000);
}

TEST_F(Window, SessionReadFromAFileDrawsInItsOwnColours)
{
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_colors[ColorText] = 0x0000FF; // red
    doc.EditInfo()->m_nOptions = kOptionEcho;
    doc.SelectPort(PortIdUdpServer);
    const QString path = dir.filePath(QStringLiteral("red.trw"));
    ASSERT_TRUE(doc.OnSaveDocument(path));
    CChildFrame* child = frame->OpenDocument(path);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->GetView()->GetDisplay()->Model().Colors().m_text, 0x0000FFu);
}

} // namespace
