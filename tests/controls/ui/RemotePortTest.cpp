// The port list's "Remote..." entry: the dialog it opens maps a COM number to
// a remote port for good, the session takes that port, and a mistaken entry
// or a cancel changes nothing.
#include "PortTestSupport.h"
#include "SessionTestSupport.h"
#include "base/TrelliumIds.h"
#include "controls/ComboBoxMulti.h"
#include "controls/RemotePortDlg.h"
#include "controls/TrelliumView.h"
#include "platform/Profile.h"
#include "serial/PortNames.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

class RemotePortEntry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("TRELLIUM_PORTS", "COM1=/dev/null");
        auto profile = Platform::OpenProfile();
        profile->remove(QStringLiteral("Ports"));
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        context.Ports().Enumerate();
        view = std::make_unique<CTrelliumView>(&doc);
        doc.SetView(view.get());
        view->show();
        doc.SelectPort(PortIdTcpClient);
        view->OnCommand(Ids::CmdRefillPorts);
    }
    void TearDown() override
    {
        doc.OnCloseDocument();
        doc.SetView(nullptr);
        view.reset();
        qunsetenv("TRELLIUM_PORTS");
    }
    // Chooses "Remote..." and lets `fill` answer the dialog once it shows.
    void ChooseRemote(std::function<void(CRemotePortDlg&)> fill)
    {
        QTimer::singleShot(0, [fill] {
            auto* dialog = qobject_cast<CRemotePortDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
        });
        CComboBoxMulti* ports = view->PortSelector();
        const int last = ports->count() - 1;
        ASSERT_EQ(ports->itemText(last), QStringLiteral("Remote..."));
        ports->setCurrentIndex(last);
        emit ports->activated(last);
    }

    CRecordingAlerts alerts;
    CTestClock clock;
    CSessionContext context{clock};
    CTrelliumDoc doc{context};
    std::unique_ptr<CTrelliumView> view;
};

TEST_F(RemotePortEntry, AddsAMappingAndTheSessionTakesIt)
{
    ChooseRemote([](CRemotePortDlg& dialog) {
        EXPECT_EQ(dialog.NumberBox()->value(), 2); // COM1 is taken
        dialog.HostEdit()->setText(QStringLiteral("lab4.example"));
        dialog.PortBox()->setValue(2001);
        dialog.NumberBox()->setValue(9);
        dialog.accept();
    });
    EXPECT_EQ(doc.Info().m_nPortId, 8);
    EXPECT_EQ(doc.Info().m_nConnectionType, ConnSerial);
    EXPECT_EQ(PortNames::DevicePath(9), QStringLiteral("rfc2217://lab4.example:2001"));
    auto profile = Platform::OpenProfile();
    EXPECT_EQ(profile->value(QStringLiteral("Ports/COM9")).toString(),
              QStringLiteral("rfc2217://lab4.example:2001"));
    // Listed, described and selected.
    CComboBoxMulti* ports = view->PortSelector();
    EXPECT_EQ(ports->itemData(ports->currentIndex()).toInt(), 8);
    bool listed = false;
    for (const CPortItem& item : context.Ports().Items())
        listed |= item.m_nPortId == 8 &&
                  item.m_strDescription.contains(QStringLiteral("rfc2217://lab4.example:2001"));
    EXPECT_TRUE(listed);
}

TEST_F(RemotePortEntry, ATakenNumberOrNoHostIsRefusedAndCancelKeepsThePort)
{
    int refusals = 0;
    ChooseRemote([&refusals](CRemotePortDlg& dialog) {
        // Each refusal is a message box over the dialog; answer it and go on.
        const auto dismiss = [&refusals] {
            QTimer::singleShot(0, [&refusals] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    ++refusals;
                    box->accept();
                }
            });
        };
        dismiss();
        dialog.accept(); // no host
        EXPECT_TRUE(dialog.isVisible());
        dialog.HostEdit()->setText(QStringLiteral("lab4"));
        dialog.NumberBox()->setValue(1);
        dismiss();
        dialog.accept(); // COM1 is taken
        EXPECT_TRUE(dialog.isVisible());
        dialog.HostEdit()->setText(QStringLiteral("bad host"));
        dialog.NumberBox()->setValue(5);
        dismiss();
        dialog.accept(); // not a host name
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
    });
    EXPECT_EQ(refusals, 3);
    EXPECT_EQ(doc.Info().m_nPortId, PortIdTcpClient);
    EXPECT_EQ(view->PortSelector()->itemData(view->PortSelector()->currentIndex()).toInt(),
              PortIdTcpClient);
    auto profile = Platform::OpenProfile();
    EXPECT_TRUE(profile->value(QStringLiteral("Ports/COM5")).toString().isEmpty());
}

// An adapter that is unplugged keeps its number in the profile: a remote
// port must neither be offered that number nor take it.
TEST_F(RemotePortEntry, TheNumberOfAnUnpluggedAdapterIsNotGivenAway)
{
    Platform::OpenProfile()->setValue(QStringLiteral("Ports/COM2"),
                                      QStringLiteral("/dev/serial/by-id/usb-unplugged-if00"));
    int refusals = 0;
    ChooseRemote([&refusals](CRemotePortDlg& dialog) {
        EXPECT_EQ(dialog.NumberBox()->value(), 3); // COM1 mapped, COM2 remembered
        dialog.HostEdit()->setText(QStringLiteral("lab4"));
        dialog.NumberBox()->setValue(2);
        QTimer::singleShot(0, [&refusals] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++refusals;
                box->accept();
            }
        });
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
    });
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(Platform::OpenProfile()->value(QStringLiteral("Ports/COM2")).toString(),
              QStringLiteral("/dev/serial/by-id/usb-unplugged-if00"));
}

} // namespace
