// Handshaking and line control on pseudo-terminal pairs: the flow control a
// session chooses reaches the device and acts (XOFF from the device holds
// our output until XON), DTR and RTS on a device without modem lines are
// refused by name, and a break is taken without disturbing the data.
#include "PtyPair.h"
#include "RecordingCommOwner.h"
#include "serial/Comm.h"
#include "serial/SerialTransport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

namespace {

class LineControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        CErrorOr<std::unique_ptr<CComm>> opened = CComm::Open(pty.SlavePath());
        ASSERT_FALSE(opened.IsError()) << ErrorText(opened.Error()).toStdString();
        comm = std::move(opened.Value());
    }
    termios Device() const
    {
        termios t{};
        ::tcgetattr(pty.Slave(), &t);
        return t;
    }
    // Whether the master has anything to read within `ms`: only ever used to
    // show that bytes are held back, never to wait for them.
    bool MasterReadable(int ms) const
    {
        pollfd fd{pty.Master(), POLLIN, 0};
        return ::poll(&fd, 1, ms) > 0;
    }

    CRecordingOwner owner; // outlives the port and its reader; drains our output
    CPtyPair pty;
    std::unique_ptr<CComm> comm;
};

TEST_F(LineControl, EachChoiceReachesTheDeviceAndReadsBack)
{
    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::XonXoff).IsError());
    termios t = Device();
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);

    const CPlatformError hardware = comm->SetFlowControl(CTtyFlow::RtsCts);
    ASSERT_FALSE(hardware.IsError()) << ErrorText(hardware).toStdString();
    t = Device();
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::None).IsError());
    t = Device();
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY));
    // Line changes keep the handshake chosen, and settings asked again as
    // they are (parity included, which a pseudo-terminal drops) are taken.
    ASSERT_FALSE(comm->SetLineControl('O', 8, 20).IsError());
    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::RtsCts).IsError());
    const CPlatformError again = comm->SetBaudRate(comm->Line().baud);
    EXPECT_FALSE(again.IsError()) << ErrorText(again).toStdString();
    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::XonXoff).IsError());
    ASSERT_FALSE(comm->SetBaudRate(19200).IsError());
    EXPECT_TRUE(Device().c_iflag & IXON);
}

// The session's list: "NoFC", "XON", "DTR" (the hardware handshake the
// drivers offer), and "RTS/CTS", which older files never hold.
TEST(FlowChoices, MapToTheHandshakes)
{
    EXPECT_EQ(CSerialTransport::FlowOf(0), CTtyFlow::None);
    EXPECT_EQ(CSerialTransport::FlowOf(1), CTtyFlow::XonXoff);
    EXPECT_EQ(CSerialTransport::FlowOf(2), CTtyFlow::RtsCts);
    EXPECT_EQ(CSerialTransport::FlowOf(3), CTtyFlow::RtsCts);
    EXPECT_EQ(CSerialTransport::FlowOf(-7), CTtyFlow::None); // a damaged file
}

TEST_F(LineControl, XoffFromTheDeviceHoldsOurOutputUntilXon)
{
    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::XonXoff).IsError());
    ASSERT_FALSE(comm->StartThread(owner).IsError());
    // The line discipline takes the XOFF (it never reaches the reader);
    // once the byte after it was read, our output is stopped.
    ASSERT_TRUE(pty.WriteToMaster(QByteArray("\x13"
                                             "1")));
    ASSERT_TRUE(owner.WaitFor([](auto& o) { return o.m_data.contains("1"); }));
    ASSERT_TRUE(comm->Write("held", 4).IsSent());
    EXPECT_FALSE(MasterReadable(300));
    ASSERT_TRUE(pty.WriteToMaster(QByteArray(1, '\x11')));
    EXPECT_EQ(pty.ReadFromMaster(4), QByteArray("held"));

    // Without the handshake the same byte is data and holds nothing.
    ASSERT_FALSE(comm->SetFlowControl(CTtyFlow::None).IsError());
    ASSERT_TRUE(pty.WriteToMaster(QByteArray("\x13"
                                             "2")));
    ASSERT_TRUE(owner.WaitFor([](auto& o) {
        return o.m_data.endsWith("\x13"
                                 "2");
    }));
    ASSERT_TRUE(comm->Write("free", 4).IsSent());
    EXPECT_EQ(pty.ReadFromMaster(4), QByteArray("free"));
}

TEST_F(LineControl, ModemControlOnADeviceWithoutModemLinesIsRefusedByName)
{
    const CPlatformError refused = comm->SetModemControl(false, true);
    ASSERT_TRUE(refused.IsError());
    EXPECT_TRUE(ErrorText(refused).contains(pty.SlavePath())) << ErrorText(refused).toStdString();
}

TEST_F(LineControl, ABreakLeavesTheDataAlone)
{
    ASSERT_FALSE(comm->SetBreak(true).IsError());
    ASSERT_FALSE(comm->SetBreak(false).IsError());
    ASSERT_TRUE(comm->Write("after", 5).IsSent());
    EXPECT_EQ(pty.ReadFromMaster(5), QByteArray("after"));
    comm->Close();
    EXPECT_TRUE(comm->SetBreak(true).IsError()); // a closed port refuses
}

} // namespace
