#include "controls/TrelliumView.h"

#include "base/TextNumbers.h"

#include "base/TrelliumIds.h"
#include "controls/ComboBoxMulti.h"
#include "controls/RemotePortDlg.h"
#include "controls/SettingsDialogs.h"
#include "display/ui/RichCtrl.h"
#include "net/TCPIPSvr.h"
#include "net/ui/DlgTCPSvr.h"
#include "platform/Clock.h"
#include "serial/PortList.h"
#include "serial/PortNames.h"
#include "session/ServiceTable.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <tuple>

namespace {

constexpr int kBauds[] = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                          19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr int kCustomBaudIndex = 16;
// The port list's last entry opens "Add Remote Port"; no port has this id.
constexpr int kAddRemoteEntry = -1000;
constexpr char kParities[] = {'N', 'O', 'E'};
constexpr int kDataBits[] = {7, 8};
constexpr int kStopBits[] = {10, 15, 20};
const char* const kFlows[] = {"NoFC", "XON", "DTR", "RTS/CTS"};
const char* const kModes[] = {"Mont", "Text", "Hex"};
const char* const kModemNames[] = {"CTS", "DSR", "RING", "CD"};
constexpr uint32_t kModemBits[] = {0x10, 0x20, 0x40, 0x80};

QComboBox* MakeList(QWidget* parent, int left, int width, int height)
{
    auto* box = new QComboBox(parent);
    box->setGeometry(left, 0, width, height);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

int IndexOf(const QComboBox* box, const QVariant& value)
{
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemData(i) == value)
            return i;
    }
    return -1;
}

int KeyboardModifierState()
{
    const Qt::KeyboardModifiers mods = QApplication::keyboardModifiers();
    return (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0);
}

} // namespace

CTrelliumView::CTrelliumView(CTrelliumDoc* doc, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pDisplay(new CRichCtrl(this))
{
    m_pDisplay->SetSession(m_pDoc);
    m_pDisplay->UpdateColors();
    setFocusProxy(m_pDisplay);
    connect(m_pDisplay, &CRichCtrl::ModifiersChanged, this,
            [this] { OnCommand(Ids::CmdModifiersChanged); });
    m_labelTimer = m_pDoc->Context().Clock().MakeTimer([this] { OnLabelTick(); });
    m_modifiers = KeyboardModifierState;
    BuildStrip();
    m_pDoc->SetView(this);
    QMetaObject::invokeMethod(
        this, [this] { OnCommand(Ids::CmdWidenFrame); }, Qt::QueuedConnection);
    Layout();
    LoadSettings();
    RefillPorts();
}

CTrelliumView::~CTrelliumView()
{
    if (m_pServerDialog) {
        static_cast<CDlgTCPSvr*>(m_pServerDialog.data())->SetListener(nullptr);
        delete m_pServerDialog;
    }
    if (m_pDoc->ServerLogWindow())
        m_pDoc->SetServerLogWindow(nullptr);
    if (m_pDoc && m_pDoc->GetView() == this)
        m_pDoc->SetView(nullptr);
}

int CTrelliumView::StripHeight() const
{
    return static_cast<int>(m_lh * 1.3);
}

void CTrelliumView::BuildStrip()
{
    const QFontMetrics metrics(font());
    // The strip's positions are in units of the average character width.
    // This toolkit's combo boxes and check boxes need more room around their
    // text than the positions were drawn for, so the unit is a third wider.
    m_cw = (metrics.averageCharWidth() * 4 + 2) / 3;
    m_lh = metrics.height() + metrics.leading() + 3;
    const int cw = m_cw;
    const int lh = m_lh;

    m_pPort = new CComboBoxMulti(this);
    m_pPort->setGeometry(0, 0, 12 * cw, lh);
    m_pPort->view()->setMinimumWidth(60 * cw);
    connect(m_pPort, qOverload<int>(&QComboBox::activated), this, &CTrelliumView::OnPortChosen);

    m_pOnline = new QCheckBox(QStringLiteral("Online"), this);
    m_pOnline->setGeometry(13 * cw, 3, std::max(9 * cw, m_pOnline->sizeHint().width()), lh - 3);
    connect(m_pOnline, &QCheckBox::clicked, this, &CTrelliumView::OnOnlineClicked);

    m_pBaud = MakeList(this, 23 * cw, 12 * cw, lh);
    for (int baud : kBauds)
        m_pBaud->addItem(QString::number(baud), baud);
    m_pBaud->addItem(QStringLiteral("Custom"), -1);
    m_pParity = MakeList(this, 36 * cw, 6 * cw, lh);
    for (char parity : kParities)
        m_pParity->addItem(QString(QLatin1Char(parity)), static_cast<int>(parity));
    m_pDataBits = MakeList(this, 43 * cw, 6 * cw, lh);
    for (int bits : kDataBits)
        m_pDataBits->addItem(QString::number(bits), bits);
    m_pStopBits = MakeList(this, 50 * cw, 7 * cw, lh);
    for (int stop : kStopBits)
        m_pStopBits->addItem(QString::number(stop / 10.0, 'g'), stop);
    m_pFlow = MakeList(this, 58 * cw, 9 * cw, lh);
    for (int i = 0; i < 4; ++i)
        m_pFlow->addItem(QLatin1String(kFlows[i]), i);
    for (QComboBox* box : {m_pBaud, m_pParity, m_pDataBits, m_pStopBits, m_pFlow}) {
        connect(box, qOverload<int>(&QComboBox::activated), this,
                [this, box](int index) { OnLineSettingChosen(box, index); });
    }

    int x = 79 * cw;
    for (int i = 0; i < 4; ++i) {
        const QString caption = QLatin1String(kModemNames[i]);
        const int extent = metrics.horizontalAdvance(caption);
        auto* indicator = new QLabel(caption, this);
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setFrameShape(QFrame::Box);
        indicator->setGeometry(x, lh / 8, extent + cw / 2, lh);
        indicator->hide();
        m_modem[static_cast<size_t>(i)] = indicator;
        x += cw + extent;
    }

    // The lines the session drives, beside the lines it watches.
    m_pDtr = new QCheckBox(QStringLiteral("DTR"), this);
    m_pRts = new QCheckBox(QStringLiteral("RTS"), this);
    for (QCheckBox* line : {m_pDtr, m_pRts}) {
        line->setGeometry(x, 3, std::max(7 * cw, line->sizeHint().width()), lh - 3);
        x += line->width() + cw / 2;
        line->setChecked(true);
        line->hide();
        connect(line, &QCheckBox::clicked, this, [this] {
            m_pDoc->SetLineSignals(m_pDtr->isChecked(), m_pRts->isChecked());
            // The boxes show what the session holds, refused or not.
            m_pDtr->setChecked(m_pDoc->Dtr());
            m_pRts->setChecked(m_pDoc->Rts());
            FocusDisplay();
        });
    }

    m_pAddressLabel = new QLabel(QStringLiteral("Address:"), this);
    m_pAddressLabel->setGeometry(24 * cw, 3, 10 * cw, lh - 3);
    m_pAddress = MakeList(this, 35 * cw, 30 * cw, lh);
    m_pAddress->setEditable(true);
    m_pAddress->setInsertPolicy(QComboBox::NoInsert);
    connect(m_pAddress, &QComboBox::editTextChanged, this, &CTrelliumView::OnAddressEdited);
    m_pService = MakeList(this, 67 * cw, 11 * cw, lh);
    for (const ServiceTable::Entry& entry : ServiceTable::kEntries)
        m_pService->addItem(QLatin1String(entry.name), entry.port);
    connect(m_pService, qOverload<int>(&QComboBox::activated), this,
            &CTrelliumView::OnServiceChosen);
    m_pNetPort = MakeList(this, 80 * cw, 10 * cw, lh);
    m_pNetPort->setEditable(true);
    m_pNetPort->setInsertPolicy(QComboBox::NoInsert);
    connect(m_pNetPort, &QComboBox::editTextChanged, this, &CTrelliumView::OnNetPortEdited);

    m_pMode = MakeList(this, 68 * cw, 10 * cw, lh);
    for (int i = 0; i < 3; ++i)
        m_pMode->addItem(QLatin1String(kModes[i]), i);
    connect(m_pMode, qOverload<int>(&QComboBox::activated), this, &CTrelliumView::OnModeChosen);

    m_pConnections = new QPushButton(QStringLiteral("Connections: 0"), this);
    m_pConnections->setGeometry(103 * cw, 0, std::max(19 * cw, m_pConnections->sizeHint().width()),
                                lh + 3);
    connect(m_pConnections, &QPushButton::clicked, this, &CTrelliumView::OpenServerDialog);

    AddToolTips();
    for (QWidget* control : {m_pBaud, m_pParity, m_pDataBits, m_pStopBits, m_pFlow,
                             static_cast<QComboBox*>(m_pAddress), m_pService, m_pNetPort})
        control->hide();
    m_pAddressLabel->hide();
    m_pConnections->hide();
}

// What each control of the strip does, and its key where it has one.
void CTrelliumView::AddToolTips()
{
    m_pPort->setToolTip(QStringLiteral("The connection: a serial port, a TCP or UDP client or "
                                       "server, or the merge view of all sessions (Alt+P)"));
    m_pOnline->setToolTip(QStringLiteral("Open or close the connection (Alt+N)"));
    m_pBaud->setToolTip(
        QStringLiteral("Bits per second; Custom asks for any rate the port takes (Alt+B)"));
    m_pParity->setToolTip(QStringLiteral("Parity: N none, O odd, E even (Alt+R)"));
    m_pDataBits->setToolTip(QStringLiteral("Data bits in each character (Alt+D)"));
    m_pStopBits->setToolTip(QStringLiteral("Stop bits after each character (Alt+S)"));
    m_pFlow->setToolTip(QStringLiteral(
        "Flow control: NoFC none; XON software both ways (XON 0x11, XOFF 0x13); DTR and "
        "RTS/CTS the RTS/CTS hardware handshake (the serial drivers here offer no DTR/DSR "
        "handshake) (Alt+L)"));
    m_pDtr->setToolTip(QStringLiteral("Raise or drop DTR (many boards reset on it)"));
    m_pRts->setToolTip(QStringLiteral("Raise or drop RTS (the RTS/CTS handshake drives it "
                                      "itself)"));
    m_pMode->setToolTip(QStringLiteral("How received bytes are shown: Mont names control "
                                       "characters, Text acts as a simple terminal, Hex shows "
                                       "every byte's value (Alt+M)"));
    m_pAddress->setToolTip(QStringLiteral("The peer's host name or address; a server shows "
                                          "the addresses it listens on"));
    m_pService->setToolTip(QStringLiteral("A well-known service: chooses its port number"));
    m_pNetPort->setToolTip(QStringLiteral("The TCP or UDP port number"));
    m_pConnections->setToolTip(QStringLiteral("The server's clients and its log"));
    static const char* const kModemTips[] = {
        "CTS (clear to send): lit while the device raises it",
        "DSR (data set ready): lit while the device raises it",
        "RING (ring indicator): lit while the device raises it",
        "CD (carrier detect): lit while the device raises it",
    };
    for (size_t i = 0; i < m_modem.size(); ++i)
        m_modem[i]->setToolTip(QLatin1String(kModemTips[i]));
}

void CTrelliumView::Layout()
{
    const int type = m_pDoc->Info().m_nConnectionType;
    const bool offline = !m_pDoc->IsOnline();
    QList<QWidget*> shown;
    int modeLeft = 92;
    switch (type) {
    case ConnSerial:
        shown = {m_pBaud, m_pParity, m_pDataBits, m_pStopBits, m_pFlow, m_pOnline};
        modeLeft = 68;
        break;
    case ConnTcpServer:
        shown = {m_pService, m_pNetPort, m_pConnections, m_pOnline};
        break;
    case ConnUdpServer:
        shown = {m_pService, m_pNetPort, m_pOnline};
        break;
    case ConnMerge:
        modeLeft = 68;
        break;
    default: // TCP client, UDP client and any unknown value
        shown = {m_pAddressLabel, m_pAddress, m_pService, m_pNetPort, m_pOnline};
        break;
    }
    const QList<QWidget*> strip = {m_pBaud,    m_pParity,  m_pDataBits,     m_pStopBits,
                                   m_pFlow,    m_pOnline,  m_pAddressLabel, m_pAddress,
                                   m_pService, m_pNetPort, m_pConnections};
    for (QWidget* control : strip) {
        const bool show = shown.contains(control);
        control->setVisible(show);
        // Parameters cannot change while the connection is open. The
        // Connections button is no parameter: its log matters most while the
        // server runs (going offline ends the server and its log).
        if (show && control != m_pOnline && control != m_pConnections)
            control->setEnabled(offline);
    }
    if (type != ConnSerial) {
        for (QLabel* indicator : m_modem)
            indicator->hide();
    }
    for (QCheckBox* line : {m_pDtr, m_pRts}) {
        line->setVisible(type == ConnSerial);
        line->setEnabled(!offline);
    }
    m_pDtr->setChecked(m_pDoc->Dtr());
    m_pRts->setChecked(m_pDoc->Rts());
    m_pMode->setGeometry(modeLeft * m_cw, 0, 10 * m_cw, m_lh);
    m_pMode->show();
    if (type == ConnMerge)
        m_pDisplay->Model().RegisterMergeIfMerge();
}

void CTrelliumView::LoadSettings()
{
    m_bLoading = true;
    const CCommInfo& info = m_pDoc->Info();
    const int port = IndexOf(m_pPort, info.m_nPortId);
    if (port >= 0)
        m_pPort->setCurrentIndex(port);
    const int baud = IndexOf(m_pBaud, info.m_nBaudRate);
    m_pBaud->setCurrentIndex(baud >= 0 ? baud : kCustomBaudIndex);
    const auto select = [](QComboBox* box, const QVariant& value) {
        const int index = IndexOf(box, value);
        if (index >= 0)
            box->setCurrentIndex(index);
    };
    select(m_pParity, static_cast<int>(info.m_cParity));
    select(m_pDataBits, info.m_nDataBits);
    select(m_pStopBits, info.m_nStopBits);
    select(m_pFlow, info.m_nFlowControl);
    select(m_pMode, info.m_nDisplayMode);
    m_pAddress->setEditText(QString::fromLatin1(info.m_strAddress));
    m_pNetPort->setEditText(QString::number(info.m_nNetworkPort));
    SelectServiceFor(info.m_nNetworkPort);
    m_bLoading = false;
}

void CTrelliumView::RefillPorts()
{
    const CSelectorContents contents =
        m_pDoc->Context().Ports().FillSelector(m_pDoc->Info().m_nPortId);
    m_pPort->blockSignals(true);
    m_pPort->ResetContent();
    for (const CSelectorEntry& entry : contents.entries) {
        const int index = m_pPort->AddEntry(entry.name, entry.description);
        m_pPort->setItemData(index, entry.portId);
    }
    const int add = m_pPort->AddEntry(QStringLiteral("Remote..."),
                                      QStringLiteral("Add a serial port on another machine"));
    m_pPort->setItemData(add, kAddRemoteEntry);
    m_pPort->setCurrentIndex(contents.selected);
    m_pPort->blockSignals(false);
}

void CTrelliumView::RefreshModemIndicators()
{
    const uint32_t status = m_pDoc->GetModemStatus();
    for (size_t i = 0; i < m_modem.size(); ++i)
        m_modem[i]->setVisible(m_pDoc->Info().m_nConnectionType == ConnSerial &&
                               (status & kModemBits[i]));
}

void CTrelliumView::RefreshConnections()
{
    const CTCPIPSvr* server = m_pDoc->TcpServer();
    m_pConnections->setText(
        QStringLiteral("Connections: %1").arg(server ? server->ConnectionCount() : 0));
}

void CTrelliumView::OnUpdate(int hint)
{
    switch (hint) {
    case Ids::HintRebuildDisplay:
        m_pDisplay->Model().Rebuild();
        break;
    case Ids::HintOnlineSettled:
        m_pOnline->setEnabled(true);
        m_pOnline->setChecked(m_pDoc->IsOnline());
        Layout();
        break;
    case Ids::HintConnectionStatus:
        if (m_pDoc->Info().m_nConnectionType == ConnSerial)
            RefreshModemIndicators();
        else if (m_pDoc->Info().m_nConnectionType == ConnTcpServer)
            RefreshConnections();
        break;
    case Ids::HintConnectionType:
        Layout();
        break;
    case Ids::HintSettingsLoaded:
        LoadSettings();
        Layout();
        // A session read from a file draws in the colours it holds.
        m_pDisplay->UpdateColors();
        break;
    default:
        break;
    }
}

void CTrelliumView::OnDatagramsLost(uint64_t count)
{
    m_pDisplay->Model().ShowDatagramsLost(count);
}

int CTrelliumView::FrameMs(int standard) const
{
    // Bytes taken between two drawings would only wait for the next one.
    return m_pDisplay->IsSweeping() ? CRichCtrl::kSweepIntervalMs : standard;
}

void CTrelliumView::OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick)
{
    m_pDisplay->Model().ShowNewBytes(bytes, lostBytes, arrivalTick);
}

void CTrelliumView::OnCommand(int id)
{
    if (id >= Ids::CmdKeyPressFirst && id < Ids::CmdKeyPressFirst + Ids::KeyCount) {
        const int mods = m_modifiers();
        m_pDoc->PressFunctionKey(id - Ids::CmdKeyPressFirst, mods & 1, mods & 2, false);
        return;
    }
    switch (id) {
    case Ids::CmdModemStatus:
        RefreshModemIndicators();
        break;
    case Ids::CmdRefillPorts:
        RefillPorts();
        break;
    case Ids::CmdPlainKeyLabels:
        m_pDoc->RefreshKeyLabels(false, false);
        break;
    case Ids::CmdRefreshTitle:
        m_pDoc->UpdateTitle();
        break;
    case Ids::CmdWidenFrame:
        WidenFrame();
        break;
    case Ids::CmdModifiersChanged:
        StartLabelTimer();
        break;
    case Ids::CmdOnline:
        // As a click on the box, while the box can be clicked.
        if (m_pOnline->isVisible() && m_pOnline->isEnabled())
            OnOnlineClicked();
        break;
    case Ids::CmdFocusPort:
    case Ids::CmdFocusBaud:
    case Ids::CmdFocusParity:
    case Ids::CmdFocusDataBits:
    case Ids::CmdFocusStopBits:
    case Ids::CmdFocusFlow:
    case Ids::CmdFocusMode: {
        QComboBox* box = id == Ids::CmdFocusPort       ? m_pPort
                         : id == Ids::CmdFocusBaud     ? m_pBaud
                         : id == Ids::CmdFocusParity   ? m_pParity
                         : id == Ids::CmdFocusDataBits ? m_pDataBits
                         : id == Ids::CmdFocusStopBits ? m_pStopBits
                         : id == Ids::CmdFocusFlow     ? m_pFlow
                                                       : m_pMode;
        box->setFocus();
        box->showPopup();
        break;
    }
    default:
        break;
    }
}

void CTrelliumView::ClearDisplay()
{
    m_pDisplay->Clear();
}

void CTrelliumView::FocusDisplay()
{
    m_pDisplay->setFocus();
}

namespace {

// What the strip edits of the settings a session file keeps.
auto StripValues(const CCommInfo& info)
{
    return std::make_tuple(info.m_nPortId, info.m_nConnectionType, info.m_nBaudRate, info.m_cParity,
                           info.m_nDataBits, info.m_nStopBits, info.m_nFlowControl,
                           info.m_nDisplayMode, info.m_strAddress, info.m_nNetworkPort);
}

} // namespace

// A strip edit changes the session's file like a dialog's: Exit asks to save
// it, and the file's own values never come back unseen at the next start.
void CTrelliumView::MarkModifiedSince(const CCommInfo& before)
{
    if (!m_bLoading && StripValues(before) != StripValues(m_pDoc->Info()))
        m_pDoc->SetModifiedFlag();
}

void CTrelliumView::OnPortChosen(int index)
{
    if (index < 0)
        return;
    const CCommInfo before = m_pDoc->Info();
    int portId = m_pPort->itemData(index).toInt();
    if (portId == kAddRemoteEntry) {
        portId = AddRemotePort();
        if (portId < 0) {
            RefillPorts(); // back to the session's own port
            FocusDisplay();
            return;
        }
    }
    m_pDoc->SelectPort(portId);
    RefillPorts();
    MarkModifiedSince(before);
    FocusDisplay();
}

int CTrelliumView::AddRemotePort()
{
    CPortList& ports = m_pDoc->Context().Ports();
    std::set<int> listed;
    for (const CPortItem& item : ports.Items()) {
        if (item.m_nPortId >= 0 && item.m_nPortId < PortIdTcpClient)
            listed.insert(item.m_nPortId + 1);
    }
    // An unplugged adapter keeps its number: it is taken too.
    const std::set<int> taken = PortNames::TakenComNumbers(std::move(listed));
    int suggested = 1;
    while (taken.count(suggested) && suggested < 254)
        ++suggested;
    CRemotePortDlg dialog(taken, suggested, this);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    PortNames::MapPort(dialog.ComNumber(), dialog.Address());
    // Every session's list shows the new port.
    ports.Enumerate();
    for (CTrelliumDoc* doc : m_pDoc->Context().Sessions())
        doc->FillPortSelector();
    return dialog.ComNumber() - 1;
}

void CTrelliumView::OnLineSettingChosen(QComboBox* box, int index)
{
    if (index < 0)
        return;
    const CCommInfo before = m_pDoc->Info();
    {
        auto info = m_pDoc->EditInfo();
        if (box == m_pBaud) {
            if (index == kCustomBaudIndex) {
                CCustomBaud dialog(info->m_nBaudRate, this);
                dialog.exec();
                info->m_nBaudRate = dialog.Baud();
            } else {
                info->m_nBaudRate = box->itemData(index).toInt();
            }
        } else if (box == m_pParity) {
            info->m_cParity = static_cast<uint8_t>(box->itemData(index).toInt());
        } else if (box == m_pDataBits) {
            info->m_nDataBits = box->itemData(index).toInt();
        } else if (box == m_pStopBits) {
            info->m_nStopBits = box->itemData(index).toInt();
        } else {
            info->m_nFlowControl = box->itemData(index).toInt();
        }
    }
    m_pDoc->ApplySettings();
    MarkModifiedSince(before);
    FocusDisplay();
}

void CTrelliumView::OnModeChosen(int index)
{
    if (index >= 0 && index != m_pDoc->Info().m_nDisplayMode) {
        m_pDoc->EditInfo()->m_nDisplayMode = index;
        m_pDoc->SetModifiedFlag();
        m_pDoc->ApplySettings();
        OnUpdate(Ids::HintRebuildDisplay);
    }
    FocusDisplay();
}

void CTrelliumView::OnAddressEdited(const QString& text)
{
    if (m_bLoading)
        return;
    const CCommInfo before = m_pDoc->Info();
    m_pDoc->EditInfo()->m_strAddress = text.toLatin1();
    MarkModifiedSince(before);
    m_pDoc->UpdateTitle();
}

void CTrelliumView::SelectServiceFor(int port)
{
    int index = IndexOf(m_pService, port);
    if (index < 0)
        index = IndexOf(m_pService, -1);
    m_pService->setCurrentIndex(index);
}

void CTrelliumView::OnNetPortEdited(const QString& text)
{
    if (m_bLoading)
        return;
    const int port = LeadingInteger(text);
    SelectServiceFor(port);
    const CCommInfo before = m_pDoc->Info();
    m_pDoc->EditInfo()->m_nNetworkPort = port;
    MarkModifiedSince(before);
    m_pDoc->UpdateTitle();
}

void CTrelliumView::OnServiceChosen(int index)
{
    if (index < 0)
        return;
    // The port box's own change stores the number and refreshes the title.
    m_pNetPort->setEditText(QString::number(m_pService->itemData(index).toInt()));
}

void CTrelliumView::OnOnlineClicked()
{
    // The box follows the session, not the click: it is set again, and
    // enabled, when the attempt has settled (hint 3037).
    m_pOnline->setChecked(m_pDoc->IsOnline());
    m_pOnline->setEnabled(false);
    m_pDoc->ToggleOnline();
}

void CTrelliumView::OpenServerDialog()
{
    if (m_pServerDialog)
        return;
    auto* dialog = new CDlgTCPSvr(this);
    dialog->SetListener(this);
    m_pServerDialog = dialog;
    m_pDoc->SetServerLogWindow(dialog);
    if (CTCPIPSvr* server = m_pDoc->TcpServer())
        dialog->AppendLog(server->Log().Text());
    dialog->show();
}

void CTrelliumView::CharClicked(int value)
{
    const char byte = static_cast<char>(value);
    m_pDoc->SendData(&byte, 1);
}

QString CTrelliumView::Prompt() const
{
    return QStringLiteral("Click character to send from window: %1").arg(m_pDoc->GetTitle());
}

void CTrelliumView::OnServerDialogClosed()
{
    m_pServerDialog = nullptr;
    m_pDoc->SetServerLogWindow(nullptr);
}

int CTrelliumView::DisplayWidth() const
{
    return (m_pDisplay->LineWidth() + 7) * m_pDisplay->CharPitch();
}

int CTrelliumView::WantedWidth() const
{
    // The display's 81 columns, and the whole strip of the widest layout.
    return std::max(DisplayWidth(), m_pConnections->geometry().right() + m_cw);
}

// Only a frame narrower than the display is widened, and not one whose
// placement the user made (a tiled frame saved in the workspace comes back
// as narrow as it was).
void CTrelliumView::WidenFrame()
{
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!frame || m_bKeepFrameWidth)
        return;
    const int wanted = DisplayWidth();
    const int chrome = frame->width() - width();
    if (width() < wanted && !frame->isMaximized())
        frame->resize(wanted + chrome, frame->height());
}

void CTrelliumView::StartLabelTimer()
{
    m_nWatchedModifiers = m_modifiers();
    m_nLabelTicks = 0;
    m_labelTimer->Start(50);
}

void CTrelliumView::OnLabelTick()
{
    if (m_modifiers() != m_nWatchedModifiers)
        return;
    if (++m_nLabelTicks < 5) {
        m_labelTimer->Start(50);
        return;
    }
    m_pDoc->RefreshKeyLabels(m_nWatchedModifiers & 1, m_nWatchedModifiers & 2);
}

void CTrelliumView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int top = StripHeight();
    m_pDisplay->setGeometry(0, top, width(), std::max(0, height() - top));
}

void CTrelliumView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    m_pDoc->RefreshKeyLabels(false, false);
    FocusDisplay();
}

void CTrelliumView::Print()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintTo(printer);
}

void CTrelliumView::PrintTo(QPrinter& printer)
{
    printer.setDocName(QStringLiteral("Trellium"));
    QPainter painter(&printer);
    // The pane as it stands on screen, scaled to the page's width.
    const QRect page = painter.viewport();
    const double scale = std::min(1.0 * page.width() / std::max(1, width()),
                                  1.0 * page.height() / std::max(1, height()));
    painter.scale(scale, scale);
    render(&painter);
}
