#pragma once
#include "send/DataString.h"
#include "send/FuncKeys.h"
#include "tools/ui/ASCIIWnd.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

// "Function Key Macro Setup": the macros of one session, one tab per key,
// the Shift and Ctrl boxes choosing the combination. The dialog edits a
// copy of the set; OK replaces the session's set with it (which stops every
// repeat) and Cancel discards it. Stop ends the key's repetition in the
// session's own set at once. A data string the sending engine would refuse,
// or a CRC name the catalogue lacks, is pointed out beside the Data field,
// and the bytes the string sends are previewed under it.
class CFKeyDlg : public QDialog, public CASCIIWndListener
{
    Q_OBJECT
public:
    // `keys` is the session's set (not owned); `key` the starting key 0..11.
    CFKeyDlg(CFuncKeys* keys, int key, QWidget* parent = nullptr);

    const CFuncKeys& WorkingCopy() const { return m_work; }

    // The controls, for tests.
    QTabBar* Tabs() const { return m_pTabs; }
    QCheckBox* ShiftBox() const { return m_pShift; }
    QCheckBox* CtrlBox() const { return m_pCtrl; }
    QLineEdit* LabelEdit() const { return m_pLabel; }
    QLineEdit* DescriptionEdit() const { return m_pDescription; }
    QLineEdit* DataEdit() const { return m_pData; }
    QLineEdit* RepeatEdit() const { return m_pRepeat; }
    QLineEdit* IntervalEdit() const { return m_pInterval; }
    QPushButton* StopButton() const { return m_pStop; }
    QCheckBox* AutoResponseBox() const { return m_pAutoResponse; }
    QLineEdit* PatternEdit() const { return m_pPattern; }
    QLabel* DataHint() const { return m_pHint; }
    QLabel* DataPreview() const { return m_pPreview; }

    void accept() override;

    // A clicked character is added to the Data field: 32..126 as itself,
    // any other as its percent escape (%0D).
    void CharClicked(int value) override;
    QString Prompt() const override;
    // Opens (or raises) the ASCII chart with this dialog as its listener;
    // set by the window, which owns the chart.
    void SetChartOpener(std::function<CASCIIWnd*()> opener, CASCIIWnd* existing);
    // The session's checksum state: the preview shows what the key would
    // send now, after the checksums other macros have started.
    void SetChecksumState(const ChecksumState& state);

protected:
    // Opens at the main window's left edge, its bottom 20 pixels above the
    // main window's bottom, so the session's display stays in sight.
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();
    void ShowPreview();
    void LoadPage();
    void SavePage();
    void UpdateEnables();
    void UpdateDataCheck();
    void OnTab(int index);
    void OnModifier();
    void OnStop();

    void HandChart();

    std::function<CASCIIWnd*()> m_openChart;
    QPointer<CASCIIWnd> m_pExistingChart;
    QPushButton* m_pChartButton = nullptr;
    CFuncKeys* m_pKeys;
    CFuncKeys m_work;
    int m_nKey;
    int m_bShift = 0;
    int m_bCtrl = 0;

    QTabBar* m_pTabs;
    QCheckBox* m_pShift;
    QCheckBox* m_pCtrl;
    QLineEdit* m_pLabel;
    QLineEdit* m_pDescription;
    QLineEdit* m_pData;
    QLabel* m_pHint;
    QLabel* m_pPreview;
    QLineEdit* m_pRepeat;
    QLineEdit* m_pInterval;
    QPushButton* m_pStop;
    QCheckBox* m_pAutoResponse;
    QLineEdit* m_pPattern;
    QElapsedTimer m_sinceShown;
    bool m_bUserMoved = false;
    QString m_previewText; // the whole preview, shortened to fit when shown
    ChecksumState m_checksum;
    int m_nPreviewBytes = -1;
};
