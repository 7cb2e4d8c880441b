#pragma once
#include "net/ui/DlgTCPSvr.h"
#include "session/SessionView.h"
#include "tools/ui/ASCIIWnd.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class CComboBoxMulti;
class CCommInfo;
class COneShotTimer;
class CRichCtrl;
class CTrelliumDoc;
class QCheckBox;
class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;

// The one view of a session's child frame: a strip of controls across the
// top (what the session connects to, its parameters, the display mode,
// "Online", the modem lines or the TCP server's connection count) and the
// session's terminal display below. The pane keeps no settings of its own:
// every change goes straight into the session's settings record, and the
// session's hints bring the controls back in line. User-interface thread
// only.
class CTrelliumView : public QWidget,
                      public CSessionView,
                      public CASCIIWndListener,
                      public CDlgTCPSvrListener
{
    Q_OBJECT
public:
    explicit CTrelliumView(CTrelliumDoc* doc, QWidget* parent = nullptr);
    ~CTrelliumView() override;

    CTrelliumDoc* GetDocument() const { return m_pDoc; }
    CRichCtrl* GetDisplay() const { return m_pDisplay; }

    void OnUpdate(int hint) override;
    int FrameMs(int standard) const override;
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick) override;
    void OnDatagramsLost(uint64_t count) override;
    void OnCommand(int id) override;
    void ClearDisplay() override;
    void OnServerDialogClosed() override;
    // A character clicked in the ASCII chart is sent as one byte.
    void CharClicked(int value) override;
    QString Prompt() const override;

    // The strip's controls, for the window's accelerators and for tests.
    CComboBoxMulti* PortSelector() const { return m_pPort; }
    QCheckBox* OnlineBox() const { return m_pOnline; }
    QCheckBox* DtrBox() const { return m_pDtr; }
    QCheckBox* RtsBox() const { return m_pRts; }
    QComboBox* BaudBox() const { return m_pBaud; }
    QComboBox* ParityBox() const { return m_pParity; }
    QComboBox* DataBitsBox() const { return m_pDataBits; }
    QComboBox* StopBitsBox() const { return m_pStopBits; }
    QComboBox* FlowBox() const { return m_pFlow; }
    QComboBox* ModeBox() const { return m_pMode; }
    QComboBox* AddressBox() const { return m_pAddress; }
    QComboBox* ServiceBox() const { return m_pService; }
    QComboBox* NetPortBox() const { return m_pNetPort; }
    QLabel* AddressLabel() const { return m_pAddressLabel; }
    QPushButton* ConnectionsButton() const { return m_pConnections; }
    QLabel* ModemIndicator(int i) const { return m_modem[static_cast<size_t>(i)]; }
    QDialog* ServerDialog() const { return m_pServerDialog; }
    int CharWidth() const { return m_cw; }
    int LineHeight() const { return m_lh; }
    // The top of the display below the strip.
    int StripHeight() const;
    // The width that shows the display's 81 columns and the whole strip.
    int WantedWidth() const;
    // The width the frame is widened to when narrower (command 3036): the
    // display's line width and seven more characters.
    int DisplayWidth() const;
    // The frame was given a placement of its own (a restored workspace):
    // command 3036 leaves its width as it is.
    void KeepFrameWidth() { m_bKeepFrameWidth = true; }

    // Where the pane reads the held modifiers (bit 0 Shift, bit 1 Ctrl); the
    // keyboard unless a test gives its own.
    void SetModifierSource(std::function<int()> source) { m_modifiers = std::move(source); }

    // Print the pane: a print dialog, then the pane rendered on one page.
    void Print();
    // The pane rendered on one page of `printer` (a PDF file works too).
    void PrintTo(QPrinter& printer);
    // Opens the TCP server connections window (once).
    void OpenServerDialog();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void BuildStrip();
    void Layout();
    void LoadSettings();
    void RefillPorts();
    void RefreshModemIndicators();
    void RefreshConnections();
    void WidenFrame();
    void StartLabelTimer();
    void OnLabelTick();
    void FocusDisplay();

    void OnPortChosen(int index);
    // Asks for a remote port and maps it; its port id, or -1 when cancelled.
    int AddRemotePort();
    void MarkModifiedSince(const CCommInfo& before);
    void AddToolTips();
    void OnLineSettingChosen(QComboBox* box, int index);
    void OnModeChosen(int index);
    void OnAddressEdited(const QString& text);
    void OnNetPortEdited(const QString& text);
    void OnServiceChosen(int index);
    void OnOnlineClicked();
    void SelectServiceFor(int port);

    CTrelliumDoc* m_pDoc;
    CRichCtrl* m_pDisplay;
    int m_cw = 8;
    int m_lh = 16;
    CComboBoxMulti* m_pPort = nullptr;
    QCheckBox* m_pOnline = nullptr;
    QCheckBox* m_pDtr = nullptr;
    QCheckBox* m_pRts = nullptr;
    QComboBox* m_pBaud = nullptr;
    QComboBox* m_pParity = nullptr;
    QComboBox* m_pDataBits = nullptr;
    QComboBox* m_pStopBits = nullptr;
    QComboBox* m_pFlow = nullptr;
    QComboBox* m_pMode = nullptr;
    QLabel* m_pAddressLabel = nullptr;
    QComboBox* m_pAddress = nullptr;
    QComboBox* m_pService = nullptr;
    QComboBox* m_pNetPort = nullptr;
    QPushButton* m_pConnections = nullptr;
    std::array<QLabel*, 4> m_modem{};
    QPointer<QDialog> m_pServerDialog;
    bool m_bLoading = false; // controls are being set from the settings

    // The function-key label timer (3051).
    std::unique_ptr<COneShotTimer> m_labelTimer;
    std::function<int()> m_modifiers;
    int m_nWatchedModifiers = 0;
    int m_nLabelTicks = 0;
    bool m_bKeepFrameWidth = false;
};
