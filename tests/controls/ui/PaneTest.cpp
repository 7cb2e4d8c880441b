// The settings pane: its layout for each connection type, the hints that
// bring its controls in line with the session, the value and service
// lookups, the function-key label timer, and the connections window.
#include "SessionTestSupport.h"
#include "base/TextNumbers.h"
#include "base/TrelliumIds.h"
#include "controls/ComboBoxMulti.h"
#include "controls/SettingsDialogs.h"
#include "controls/TrelliumView.h"
#include "display/ui/RichCtrl.h"
#include "net/TCPIPSvr.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class Pane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view = std::make_unique<CTrelliumView>(&doc);
        view->resize(1200, 400);
        view->show();
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        view.reset();
    }
    void Select(int portId)
    {
        doc.SelectPort(portId);
        view->OnUpdate(Ids::HintSettingsLoaded);
    }
    int LeftInCw(QWidget* control) const { return control->x() / view->CharWidth(); }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CTrelliumDoc doc{context};
    std::unique_ptr<CTrelliumView> view;
};

TEST_F(Pane, LayoutFollowsTheConnectionType)
{
    Select(0); // a COM port
    for (QWidget* w :
         {static_cast<QWidget*>(view->BaudBox()), static_cast<QWidget*>(view->ParityBox()),
          static_cast<QWidget*>(view->DataBitsBox()), static_cast<QWidget*>(view->StopBitsBox()),
          static_cast<QWidget*>(view->FlowBox()), static_cast<QWidget*>(view->OnlineBox())})
        EXPECT_TRUE(w->isVisible()) << w->metaObject()->className();
    EXPECT_FALSE(view->NetPortBox()->isVisible());
    EXPECT_EQ(LeftInCw(view->ModeBox()), 68);

    Select(PortIdTcpServer);
    EXPECT_FALSE(view->BaudBox()->isVisible());
    EXPECT_FALSE(view->FlowBox()->isVisible());
    EXPECT_TRUE(view->ServiceBox()->isVisible());
    EXPECT_TRUE(view->NetPortBox()->isVisible());
    EXPECT_TRUE(view->ConnectionsButton()->isVisible());
    EXPECT_FALSE(view->AddressBox()->isVisible());
    EXPECT_EQ(LeftInCw(view->ModeBox()), 92);

    Select(PortIdTcpClient);
    EXPECT_TRUE(view->AddressLabel()->isVisible());
    EXPECT_TRUE(view->AddressBox()->isVisible());
    EXPECT_FALSE(view->ConnectionsButton()->isVisible());

    Select(PortIdUdpServer);
    EXPECT_FALSE(view->AddressBox()->isVisible());
    EXPECT_TRUE(view->ServiceBox()->isVisible());

    // A merge session shows the port and display-mode selectors only.
    Select(PortIdMerge);
    EXPECT_FALSE(view->OnlineBox()->isVisible());
    EXPECT_FALSE(view->ServiceBox()->isVisible());
    EXPECT_TRUE(view->PortSelector()->isVisible());
    EXPECT_TRUE(view->ModeBox()->isVisible());
    EXPECT_EQ(LeftInCw(view->ModeBox()), 68);
    EXPECT_EQ(context.Merge().Get(), &view->GetDisplay()->Model());
}

TEST_F(Pane, OnlineGreysTheParametersUntilOffline)
{
    Select(PortIdUdpServer);
    doc.EditInfo()->m_nNetworkPort = 0;
    QTest::mouseClick(view->OnlineBox(), Qt::LeftButton);
    EXPECT_TRUE(doc.IsOnline());
    EXPECT_TRUE(view->OnlineBox()->isEnabled()); // hint 3037 came
    EXPECT_TRUE(view->OnlineBox()->isChecked());
    EXPECT_FALSE(view->ServiceBox()->isEnabled());
    EXPECT_FALSE(view->NetPortBox()->isEnabled());
    EXPECT_TRUE(view->PortSelector()->isEnabled());
    EXPECT_TRUE(view->ModeBox()->isEnabled());
    QTest::mouseClick(view->OnlineBox(), Qt::LeftButton);
    EXPECT_FALSE(doc.IsOnline());
    EXPECT_FALSE(view->OnlineBox()->isChecked());
    EXPECT_TRUE(view->ServiceBox()->isEnabled());
}

TEST_F(Pane, ConnectionsButtonOpensTheLiveLogWhileTheServerRuns)
{
    Select(PortIdTcpServer);
    doc.EditInfo()->m_nNetworkPort = 0;
    QTest::mouseClick(view->OnlineBox(), Qt::LeftButton);
    ASSERT_TRUE(doc.IsOnline());
    EXPECT_FALSE(view->ServiceBox()->isEnabled());
    ASSERT_TRUE(view->ConnectionsButton()->isEnabled());
    QTest::mouseClick(view->ConnectionsButton(), Qt::LeftButton);
    ASSERT_NE(view->ServerDialog(), nullptr);
    EXPECT_TRUE(view->ServerDialog()->findChild<QPlainTextEdit*>()->toPlainText().contains(
        QStringLiteral("Server started")));
}

TEST_F(Pane, LoadedSettingsSelectTheirEntries)
{
    Select(0);
    doc.EditInfo()->m_nBaudRate = 9600;
    doc.EditInfo()->m_cParity = 'E';
    doc.EditInfo()->m_nStopBits = 15;
    view->OnUpdate(Ids::HintSettingsLoaded);
    EXPECT_EQ(view->BaudBox()->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(view->ParityBox()->currentText(), QStringLiteral("E"));
    EXPECT_EQ(view->StopBitsBox()->currentText(), QStringLiteral("1.5"));
    doc.EditInfo()->m_nBaudRate = 250000;
    view->OnUpdate(Ids::HintSettingsLoaded);
    EXPECT_EQ(view->BaudBox()->currentText(), QStringLiteral("Custom"));
}

TEST_F(Pane, TypedPortsSelectTheirServiceAndCustomWritesMinusOne)
{
    Select(PortIdTcpClient);
    view->NetPortBox()->setEditText(QStringLiteral("80"));
    EXPECT_EQ(view->ServiceBox()->currentText(), QStringLiteral("HTTP"));
    EXPECT_EQ(doc.Info().m_nNetworkPort, 80);
    view->NetPortBox()->setEditText(QStringLiteral("81"));
    EXPECT_EQ(view->ServiceBox()->currentText(), QStringLiteral("Custom"));
    view->NetPortBox()->setEditText(QStringLiteral("x"));
    EXPECT_EQ(doc.Info().m_nNetworkPort, 0);
    view->ServiceBox()->setCurrentIndex(0);
    emit view->ServiceBox()->activated(0); // "Custom"
    EXPECT_EQ(view->NetPortBox()->currentText(), QStringLiteral("-1"));
    EXPECT_EQ(doc.Info().m_nNetworkPort, -1);
    view->AddressBox()->setEditText(QStringLiteral("10.0.0.9"));
    EXPECT_EQ(doc.Info().m_strAddress, QByteArray("10.0.0.9"));
    EXPECT_TRUE(doc.GetTitle().contains(QStringLiteral("10.0.0.9")));
}

TEST_F(Pane, ChoosingTheSameDisplayModeDoesNotRebuild)
{
    doc.EditInfo()->m_nOptions = kOptionEcho;
    Select(PortIdUdpServer);
    doc.SendData("abc", 3);
    DrainEvents();
    view->GetDisplay()->Clear();        // the ring still holds "abc"
    emit view->ModeBox()->activated(0); // Mont again
    EXPECT_EQ(view->GetDisplay()->Lines().PlainText(), "");
    emit view->ModeBox()->activated(2); // Hex: rebuilt from the ring
    EXPECT_EQ(doc.Info().m_nDisplayMode, 2);
    EXPECT_EQ(view->GetDisplay()->Lines().PlainText(), "a 61 b 62 c 63 ");
}

TEST_F(Pane, KeyLabelsSwitchAfterFiveSteadyTicks)
{
    ASSERT_TRUE(doc.m_funcKeys.AddKey(0, 1, 0, 0, "Shifted", "", "s", 0, 0, 0, {}));
    doc.RefreshKeyLabels(false, false);
    int modifiers = 1; // Shift held
    view->SetModifierSource([&] { return modifiers; });
    view->OnCommand(Ids::CmdModifiersChanged);
    clock.Advance(200); // four ticks
    EXPECT_EQ(context.KeyPanes().GetPane(1).label, QStringLiteral("F1 "));
    modifiers = 3; // Ctrl added: the switch is cancelled
    clock.Advance(100);
    EXPECT_EQ(context.KeyPanes().GetPane(1).label, QStringLiteral("F1 "));
    modifiers = 1;
    view->OnCommand(Ids::CmdModifiersChanged);
    clock.Advance(250);
    EXPECT_EQ(context.KeyPanes().GetPane(1).label, QStringLiteral("F1 Shifted"));
}

TEST_F(Pane, ConnectionsWindowOpensOnceAndShowsTheWholeLog)
{
    Select(PortIdTcpServer);
    doc.EditInfo()->m_nNetworkPort = 0;
    doc.ToggleOnline();
    ASSERT_NE(doc.TcpServer(), nullptr);
    view->OpenServerDialog();
    QDialog* first = view->ServerDialog();
    ASSERT_NE(first, nullptr);
    view->OpenServerDialog();
    EXPECT_EQ(view->ServerDialog(), first);
    auto* log = first->findChild<QPlainTextEdit*>();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_TRUE(log->toPlainText().contains(QStringLiteral("Server started")));
    first->close();
    DrainEvents();
    EXPECT_EQ(view->ServerDialog(), nullptr);
    doc.TcpServer()->Log().Write(QStringLiteral("while closed"));
    view->OpenServerDialog();
    const QString text = view->ServerDialog()->findChild<QPlainTextEdit*>()->toPlainText();
    EXPECT_EQ(text.count(QStringLiteral("Server started")), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("while closed")));
    view->OnUpdate(Ids::HintConnectionStatus);
    EXPECT_EQ(view->ConnectionsButton()->text(), QStringLiteral("Connections: 0"));
}

TEST_F(Pane, PrintsToAPdfFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pane.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    view->PrintTo(printer);
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
    EXPECT_GT(pdf.size(), 1000);
}

TEST(SettingsDialogs, CustomBaudRefusesWhatIsNoRateAndEchoMarksOnlyAChange)
{
    CRecordingAlerts alerts;
    CCustomBaud baud(9600);
    baud.Edit()->setText(QStringLiteral("57600x"));
    baud.accept();
    EXPECT_EQ(baud.result(), QDialog::Accepted);
    EXPECT_EQ(baud.Baud(), 57600);
    EXPECT_EQ(LeadingInteger(QStringLiteral("  -12ab")), -12);
    EXPECT_EQ(LeadingInteger(QStringLiteral("letters")), 0);
    EXPECT_EQ(LeadingInteger(QStringLiteral("99999999999")), 2147483647);

    CCommInfo info;
    CCommSettingsDlg unchanged(&info);
    unchanged.accept();
    EXPECT_FALSE(unchanged.IsChanged());
    CCommSettingsDlg echo(&info);
    echo.EchoBox()->setChecked(true);
    echo.accept();
    EXPECT_TRUE(echo.IsChanged());
    EXPECT_TRUE(info.EchoOn());
}

TEST(PortSelector, DescriptionsForTheFirstTwentyEntriesOnly)
{
    CComboBoxMulti box;
    for (int i = 0; i < 22; ++i)
        box.AddEntry(QStringLiteral("COM%1").arg(i + 1), QStringLiteral("port %1").arg(i + 1));
    EXPECT_EQ(box.Description(19), QStringLiteral("port 20"));
    EXPECT_TRUE(box.Description(20).isEmpty());
    box.setCurrentIndex(3);
    EXPECT_EQ(box.currentText(), QStringLiteral("COM4")); // the closed field: the name alone
}

} // namespace
