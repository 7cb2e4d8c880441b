#pragma once

class CChildFrame;
class CSessionContext;
class CToolWindows;
class QWidget;

// The dialogs the menus open on the active session; each marks the session
// modified when it changed what the session file keeps.
namespace SessionDialogs {

// The function-key setup on key 0..11; the chart it opens is lent to it.
void EditFunctionKey(QWidget* parent, CChildFrame* frame, int key, CToolWindows& tools);
void Colors(QWidget* parent, CChildFrame* frame);
void Timing(QWidget* parent, CChildFrame* frame);
void EchoSetting(QWidget* parent, CChildFrame* frame);
void CaptureOptions(QWidget* parent, CChildFrame* frame);
// How long Send Break holds the line (the profile's "Serial/BreakMs",
// 250 ms unless set), and the dialog that sets it.
int BreakLength();
void AskBreakLength(QWidget* parent);
// Asks for a file and starts capturing to it; a file that cannot be opened
// is named with the system's reason.
void StartCapture(CChildFrame* frame);
// The program's history setting: every session keeps that many lines from
// its next append on, and the profile keeps the choice.
void History(QWidget* parent, CSessionContext& context);

} // namespace SessionDialogs
