#include "app/SessionDialogs.h"

#include "app/ChildFrame.h"
#include "app/ToolWindows.h"
#include "controls/SettingsDialogs.h"
#include "controls/TrelliumView.h"
#include "display/ui/ColorDlg.h"
#include "display/ui/HistoryDlg.h"
#include "display/ui/RichCtrl.h"
#include "display/ui/TimingDlg.h"
#include "platform/Alerts.h"
#include "platform/Profile.h"
#include "send/ui/FKeyDlg.h"
#include "session/HistorySetting.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/ui/CapDlg.h"
#include "session/ui/SaveFileDialog.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

namespace SessionDialogs {

void EditFunctionKey(QWidget* parent, CChildFrame* frame, int key, CToolWindows& tools)
{
    if (!frame)
        return;
    CTrelliumDoc* doc = frame->GetDocument();
    bool accepted = false;
    {
        CFKeyDlg dialog(&doc->m_funcKeys, key, parent);
        // The preview shows what the key would send now, checksums included.
        dialog.SetChecksumState(doc->Context().Checksum().State());
        // Lent once the dialog is up, so that the window manager stacks the
        // chart above the dialog that now owns it.
        QTimer::singleShot(0, &dialog, [&tools, &dialog] { tools.LendChartTo(&dialog); });
        dialog.SetChartOpener([&tools, &dialog] { return tools.OpenChartFor(&dialog); },
                              tools.Chart());
        accepted = dialog.exec() == QDialog::Accepted;
        // Back before the dialog goes, and sending through the session again.
        tools.GiveBackChart(frame);
    }
    if (!accepted)
        return;
    doc->SetModifiedFlag();
    doc->RefreshKeyLabels(false, false);
}

void Colors(QWidget* parent, CChildFrame* frame)
{
    if (!frame)
        return;
    bool accepted = false;
    {
        auto info = frame->GetDocument()->EditInfo();
        CColorDlg dialog(&info->m_colors, parent);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    // Colours picked before Cancel stay in the session; the display takes
    // them for new text only when the dialog ends with OK.
    if (accepted)
        frame->GetView()->GetDisplay()->UpdateColors();
}

void Timing(QWidget* parent, CChildFrame* frame)
{
    if (!frame)
        return;
    auto info = frame->GetDocument()->EditInfo();
    CTimingDlg dialog(&info->m_timing, parent);
    dialog.exec();
}

void EchoSetting(QWidget* parent, CChildFrame* frame)
{
    if (!frame)
        return;
    CTrelliumDoc* doc = frame->GetDocument();
    bool changed = false;
    {
        auto info = doc->EditInfo();
        CCommSettingsDlg dialog(&*info, parent);
        changed = dialog.exec() == QDialog::Accepted && dialog.IsChanged();
    }
    if (changed) {
        doc->SetModifiedFlag();
        doc->UpdateTitle();
    }
}

void CaptureOptions(QWidget* parent, CChildFrame* frame)
{
    if (!frame)
        return;
    CTrelliumDoc* doc = frame->GetDocument();
    CCapDlg dialog(&doc->m_capture, parent);
    if (dialog.exec() == QDialog::Accepted)
        doc->SetModifiedFlag();
}

namespace {
const QString kBreakKey = QStringLiteral("Serial/BreakMs");
constexpr int kDefaultBreakMs = 250;
constexpr int kMaxBreakMs = 10000;
} // namespace

int BreakLength()
{
    const int ms = Platform::OpenProfile()->value(kBreakKey, kDefaultBreakMs).toInt();
    return ms > 0 && ms <= kMaxBreakMs ? ms : kDefaultBreakMs;
}

void AskBreakLength(QWidget* parent)
{
    bool ok = false;
    const int ms = QInputDialog::getInt(parent, QStringLiteral("Break Length"),
                                        QStringLiteral("Milliseconds a break holds the line:"),
                                        BreakLength(), 1, kMaxBreakMs, 10, &ok);
    if (ok)
        Platform::OpenProfile()->setValue(kBreakKey, ms);
}

void StartCapture(CChildFrame* frame)
{
    if (!frame)
        return;
    const QString path = SaveFileDialog::AskCapture(frame, QStringLiteral("Start Capture"));
    if (path.isEmpty())
        return;
    if (!frame->GetDocument()->StartCapture(path))
        QMessageBox::warning(frame->GetView(), Alerts::AppTitle(),
                             QStringLiteral("Error - Cannot open file [%1] to capture data: %2")
                                 .arg(path, frame->GetDocument()->CaptureProblem()));
}

void History(QWidget* parent, CSessionContext& context)
{
    CHistoryDlg dialog(context.HistoryLines(), parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    context.SetHistoryLines(dialog.Lines());
    HistorySetting::Save(context.HistoryLines());
}

} // namespace SessionDialogs
