// The window's edges a new user meets: the key setup's chart, a restored
// maximised session, the key panes of the active session only, Exit after a
// strip edit, a setup dialog that holds still, help without a viewer, the
// keyboard path to Online, menus closed with Escape, and the Window list.
#include "SessionTestSupport.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/ToolWindows.h"
#include "base/TrelliumIds.h"
#include "controls/TrelliumView.h"
#include "display/ui/ColorDlg.h"
#include "display/ui/DwStatusBar.h"
#include "display/ui/RichCtrl.h"
#include "net/NetTestSupport.h"
#include "send/ui/FKeyDlg.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/Workspace.h"
#include "tools/ui/ASCIIWnd.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

// Runs `step` on the modal dialog of the next exec, once it is up.
void OnNextModal(std::function<void(QWidget*)> step)
{
    QTimer::singleShot(0, [step] {
        if (QWidget* modal = QApplication::activeModalWidget())
            step(modal);
        else
            OnNextModal(step);
    });
}

class WindowEdges : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(Workspace::FilePath());
        frame = MakeFrame();
    }
    void TearDown() override
    {
        if (frame) {
            for (CChildFrame* child : frame->Frames())
                child->GetDocument()->SetModifiedFlag(false);
            frame->close();
            frame.reset();
        }
        QFile::remove(Workspace::FilePath());
    }
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto made = std::make_unique<CMainFrame>(context);
        made->resize(1200, 800);
        made->show();
        QApplication::setActiveWindow(made.get());
        return made;
    }
    QString SaveSession(const QString& name, int port)
    {
        CTrelliumDoc doc(context);
        doc.EditInfo()->m_nNetworkPort = port;
        const QString path = dir.filePath(name);
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    std::unique_ptr<CMainFrame> frame;
    QTemporaryDir dir;
};

// A modal dialog leaves every window but its own unusable: the chart, open
// already or opened from the dialog's button, is the dialog's while it runs,
// and the main window's again afterwards.
TEST_F(WindowEdges, TheKeySetupsChartTypesIntoTheDataField)
{
    CChildFrame* child = frame->NewDocument();
    for (const bool openBefore : {true, false}) {
        if (openBefore)
            frame->RunCommand(Ids::CmdAsciiChart);
        QString typed;
        OnNextModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<CFKeyDlg*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (!openBefore) {
                auto* button = dialog->findChild<QPushButton*>();
                for (QPushButton* b : dialog->findChildren<QPushButton*>())
                    if (b->text() == QStringLiteral("ASCII Chart"))
                        button = b;
                button->click();
            }
            CASCIIWnd* chart = frame->Tools().Chart();
            ASSERT_NE(chart, nullptr);
            ASSERT_TRUE(SpinUntil([&] { return chart->parentWidget() == dialog; }));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(chart));
            // Through the window system, which drops clicks on a window
            // that a modal dialog blocks.
            QTest::mouseClick(chart->windowHandle(), Qt::LeftButton, {},
                              chart->CellRect('A').center());
            typed = dialog->DataEdit()->text();
            dialog->reject();
        });
        frame->RunCommand(Ids::CmdKeySetupFirst);
        EXPECT_EQ(typed, QStringLiteral("A")) << "chart open before: " << openBefore;
        CASCIIWnd* chart = frame->Tools().Chart();
        ASSERT_NE(chart, nullptr);
        EXPECT_EQ(chart->parentWidget(), frame.get());
        EXPECT_TRUE(chart->isVisible());
        // Back to sending through the session.
        EXPECT_TRUE(chart->windowTitle().contains(child->GetDocument()->GetTitle().trimmed()));
        chart->close();
        DrainEvents();
    }
}

// Two sessions, the first maximised: at the next start the maximised one is
// in front, active, and takes the clicks where the other one lies under it.
TEST_F(WindowEdges, ARestoredMaximisedSessionIsInFrontOfTheOthers)
{
    const QString a = SaveSession(QStringLiteral("a.trw"), 2001);
    const QString b = SaveSession(QStringLiteral("b.trw"), 2002);
    CChildFrame* first = frame->OpenDocument(a);
    CChildFrame* second = frame->OpenDocument(b);
    second->setGeometry(40, 40, 600, 300);
    first->showMaximized();
    DrainEvents();
    ASSERT_TRUE(frame->SaveWorkspace());
    for (CChildFrame* child : frame->Frames())
        child->close();
    DrainEvents();

    ASSERT_EQ(frame->RestoreWorkspace(), 2);
    DrainEvents();
    const QList<CChildFrame*> frames = frame->Frames();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_TRUE(frames[0]->isMaximized());
    EXPECT_FALSE(frames[1]->isMaximized());
    EXPECT_EQ(frame->ActiveFrame(), frames[0]);
    const QList<QMdiSubWindow*> stacked = frame->MdiArea()->subWindowList(QMdiArea::StackingOrder);
    EXPECT_EQ(stacked.last(), frames[0]);
    QWidget* viewport = frame->MdiArea()->viewport();
    QWidget* under = viewport->childAt(frames[1]->geometry().center());
    ASSERT_NE(under, nullptr);
    EXPECT_TRUE(frames[0]->isAncestorOf(under) || under == frames[0]);
}

// A session in the background that refreshes its keys (as when it loses its
// port) leaves the panes with the active session's keys and highlights.
TEST_F(WindowEdges, KeyPanesShowOnlyTheActiveSessionsKeys)
{
    CChildFrame* back = frame->NewDocument();
    ASSERT_TRUE(
        back->GetDocument()->m_funcKeys.AddKey(0, 0, 0, 0, "Back", "", "b", -1, 1000, 0, {}));
    CChildFrame* front = frame->NewDocument();
    ASSERT_TRUE(front->GetDocument()->m_funcKeys.AddKey(0, 0, 0, 0, "Front", "", "f", 0, 0, 0, {}));
    frame->MdiArea()->setActiveSubWindow(front);
    front->GetDocument()->RefreshKeyLabels(false, false);
    DrainEvents();
    CDwStatusBar* bar = frame->KeyBar();
    EXPECT_EQ(bar->KeyPane(1)->text(), QStringLiteral("F1 Front"));

    back->GetDocument()->RefreshKeyLabels(false, false);
    back->GetDocument()->PressFunctionKey(0, false, false, false); // starts a repeat
    DrainEvents();
    EXPECT_EQ(bar->KeyPane(1)->text(), QStringLiteral("F1 Front"));
    EXPECT_EQ(bar->KeyPane(1)->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    // Brought to the front, the repeating session shows its keys, lit.
    frame->MdiArea()->setActiveSubWindow(back);
    DrainEvents();
    EXPECT_EQ(bar->KeyPane(1)->text(), QStringLiteral("F1 Back"));
    EXPECT_EQ(bar->KeyPane(1)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    back->GetDocument()->m_funcKeys.StopKeyRepeat(0, 0, 0, 0);
}

// A label longer than its pane ends in an ellipsis.
TEST_F(WindowEdges, LongKeyLabelsEndInAnEllipsis)
{
    CChildFrame* child = frame->NewDocument();
    ASSERT_TRUE(child->GetDocument()->m_funcKeys.AddKey(0, 0, 0, 0, "ModbusReadHolding", "", "x", 0,
                                                        0, 0, {}));
    child->GetDocument()->RefreshKeyLabels(false, false);
    DrainEvents();
    const QLabel* pane = frame->KeyBar()->KeyPane(1);
    EXPECT_TRUE(pane->text().endsWith(QChar(0x2026))) << pane->text().toStdString();
    EXPECT_LE(pane->fontMetrics().horizontalAdvance(pane->text()) + pane->indent(),
              pane->contentsRect().width());
}

// A strip edit marks the session modified, so Exit asks; the session saved
// at the question is in the workspace and comes back at the next start with
// the edit. An untitled session is asked about by its connection alone.
TEST_F(WindowEdges, ExitAfterAStripEditAsksAndTheSavedSessionComesBack)
{
    const QString path = SaveSession(QStringLiteral("edit.trw"), 3001);
    CChildFrame* child = frame->OpenDocument(path);
    ASSERT_NE(child, nullptr);
    CTrelliumView* view = child->GetView();
    view->NetPortBox()->setEditText(QStringLiteral("3002"));
    EXPECT_TRUE(child->GetDocument()->IsModified());

    QStringList questions;
    const auto answer = [&](QMessageBox::StandardButton button) {
        OnNextModal([&questions, button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            questions.append(box->text());
            box->button(button)->click();
        });
    };
    answer(QMessageBox::Yes);
    frame->close();
    DrainEvents();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], QStringLiteral("Save changes to %1?").arg(path));
    frame.reset();

    frame = MakeFrame();
    ASSERT_EQ(frame->RestoreWorkspace(), 1);
    ASSERT_EQ(frame->Frames().size(), 1);
    EXPECT_EQ(frame->Frames()[0]->GetDocument()->Info().m_nNetworkPort, 3002);

    CChildFrame* untitled = frame->NewDocument();
    untitled->GetDocument()->SelectPort(PortIdTcpServer);
    untitled->GetDocument()->EditInfo()->m_nNetworkPort = 40589;
    untitled->GetDocument()->SetModifiedFlag();
    answer(QMessageBox::Cancel);
    frame->close();
    ASSERT_EQ(questions.size(), 2);
    EXPECT_EQ(questions[1], QStringLiteral("Save changes to TCP server port 40589?"));
}

// What lies under the Data field stays where it is while Data is typed, and
// the preview shows what the key would send now: after another macro chose
// a CRC model, a CRC token without a name computes with it.
TEST_F(WindowEdges, TheKeySetupHoldsStillAndPreviewsFromTheSessionsChecksum)
{
    CChildFrame* child = frame->NewDocument();
    CTrelliumDoc* doc = child->GetDocument();
    doc->Context().Checksum().Encode("~|CHK-CRC-16/MODBUS|~1~|CHK-OUT|~", [](const char*, int) {});
    int before = -1;
    int after = -2;
    QString preview;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CFKeyDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->DataEdit()->clear();
        QCoreApplication::processEvents();
        before = dialog->AutoResponseBox()->mapTo(dialog, QPoint()).y();
        QTest::keyClicks(dialog->DataEdit(), QStringLiteral("~|CHK-CRC-16|~AB~|CHK-OUT|~%"));
        QCoreApplication::processEvents();
        after = dialog->AutoResponseBox()->mapTo(dialog, QPoint()).y();
        dialog->DataEdit()->setText(QStringLiteral("~|CHK-CRC-16|~AB~|CHK-OUT|~"));
        preview = dialog->DataPreview()->text();
        dialog->reject();
    });
    frame->RunCommand(Ids::CmdKeySetupFirst);
    EXPECT_EQ(before, after);
    // "Sends: ", "AB" and its two CRC bytes, as the key would send them now.
    EXPECT_EQ(preview.count(QLatin1Char(' ')), 4) << preview.toStdString();
}

// Without a program for PDF documents the user is told so and where the
// file is, with an offer to open its folder.
TEST_F(WindowEdges, InstructionsWithoutAViewerSayWhereTheFileIs)
{
    if (!frame->CommandAction(Ids::CmdInstructions)->isEnabled())
        GTEST_SKIP() << "no instructions document beside the test";
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit()); // no xdg-open, no viewer
    QString text;
    QStringList buttons;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        for (QAbstractButton* button : box->buttons())
            buttons.append(button->text());
        box->button(QMessageBox::Close)->click();
    });
    frame->RunCommand(Ids::CmdInstructions);
    qputenv("PATH", path);
    EXPECT_TRUE(text.startsWith(QStringLiteral("No program to show PDF documents was found.")));
    EXPECT_TRUE(text.contains(QStringLiteral("Trelm32.pdf")));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Open Folder")));
}

// Alt+N takes the active session online and off again, without the mouse,
// and types nothing.
TEST_F(WindowEdges, AltNTakesTheActiveSessionOnlineAndOff)
{
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    CChildFrame* child = frame->NewDocument();
    CTrelliumDoc* doc = child->GetDocument();
    doc->SelectPort(PortIdTcpClient);
    doc->EditInfo()->m_strAddress = "127.0.0.1";
    doc->EditInfo()->m_nNetworkPort = port;
    CRichCtrl* display = child->GetView()->GetDisplay();
    display->setFocus();
    QTest::keyClick(display, Qt::Key_N, Qt::AltModifier);
    ASSERT_TRUE(SpinUntil([&] { return doc->IsOnline(); }));
    ASSERT_TRUE(SpinUntil([&] { return child->GetView()->OnlineBox()->isEnabled(); }));
    EXPECT_TRUE(frame->CommandAction(Ids::CmdOnline)->isChecked());
    QTest::keyClick(display, Qt::Key_N, Qt::AltModifier);
    EXPECT_FALSE(doc->IsOnline());
    EXPECT_EQ(doc->RingCount(), 0);
}

// A menu opened and closed with Escape gives the keyboard back to the
// display at once: the next key is a byte for the port.
TEST_F(WindowEdges, AMenuClosedWithEscapeGivesTheKeyboardBack)
{
    CChildFrame* child = frame->NewDocument();
    CTrelliumDoc* doc = child->GetDocument();
    doc->SelectPort(PortIdUdpServer);
    doc->EditInfo()->m_nOptions = kOptionEcho;
    CRichCtrl* display = child->GetView()->GetDisplay();
    display->setFocus();
    QMenu* file = frame->menuBar()->actions().first()->menu();
    frame->menuBar()->setActiveAction(file->menuAction());
    ASSERT_TRUE(SpinUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    DrainEvents();
    EXPECT_TRUE(display->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    DrainEvents();
    EXPECT_EQ(doc->RingContents(), QByteArray("x"));
}

// Every control of the strip says what it does, for each kind of session.
TEST_F(WindowEdges, EveryStripControlHasATip)
{
    CChildFrame* child = frame->NewDocument();
    for (int port : {PortIdTcpClient, PortIdTcpServer, PortIdUdpServer}) {
        child->GetDocument()->SelectPort(port);
        DrainEvents();
        CTrelliumView* view = child->GetView();
        for (QWidget* control : view->findChildren<QWidget*>()) {
            if (control->parentWidget() != view || !control->isVisibleTo(view) ||
                control == view->GetDisplay() || qobject_cast<QLabel*>(control))
                continue;
            EXPECT_FALSE(control->toolTip().isEmpty())
                << control->metaObject()->className() << " of port " << port;
        }
    }
}

// Two new sessions have the same title; the Window list tells them apart.
TEST_F(WindowEdges, TheWindowListTellsSessionsWithOneTitleApart)
{
    frame->NewDocument();
    frame->NewDocument();
    QMenu* window = nullptr;
    for (QAction* action : frame->menuBar()->actions())
        if (action->text() == QStringLiteral("&Window"))
            window = action->menu();
    ASSERT_NE(window, nullptr);
    emit window->aboutToShow();
    QStringList sessions;
    for (QAction* action : window->actions())
        if (action->isCheckable())
            sessions.append(action->text().section(QLatin1Char(' '), 1));
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_NE(sessions[0], sessions[1]);
}

// The Colors dialog's buttons look like every other dialog's.
TEST(ColorDialog, ButtonsAreTheStandardOnes)
{
    CColorDlg::Colors colors{};
    CColorDlg dialog(&colors);
    CFuncKeys keys;
    CFKeyDlg other(&keys, 0);
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("ok"));
    ASSERT_NE(ok, nullptr);
    QPushButton* otherOk = other.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_EQ(ok->icon().isNull(), otherOk->icon().isNull());
    EXPECT_NE(dialog.findChild<QDialogButtonBox*>(), nullptr);
}

// `trellium --online FILE` opens the file's session online: a TCP client
// session connects to its loopback server without a click.
TEST(CommandLine, OnlineOpensTheFilesSessionsOnline)
{
    const QString cli = qEnvironmentVariable("TRELLIUM_CLI");
    if (cli.isEmpty())
        GTEST_SKIP() << "the programs' folder is not known";
    const QString program = QFileInfo(cli).dir().filePath(QStringLiteral("trellium"));
    uint16_t port = 0;
    UniqueFd listener = ListenOnLoopback(port);
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("online.trw"));
    {
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(PortIdTcpClient);
        doc.EditInfo()->m_strAddress = "127.0.0.1";
        doc.EditInfo()->m_nNetworkPort = port;
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    QProcess gui;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QLatin1String(folder), home.filePath(QLatin1String(folder)));
    gui.setProcessEnvironment(environment);
    gui.start(program, {QStringLiteral("--online"), path});
    ASSERT_TRUE(gui.waitForStarted());
    pollfd waiting{listener.Get(), POLLIN, 0};
    const int ready = ::poll(&waiting, 1, 30000);
    gui.kill();
    gui.waitForFinished();
    EXPECT_EQ(ready, 1) << "the session did not connect";
}

} // namespace
