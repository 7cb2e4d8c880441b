#pragma once
// Every fixed number that passes between the parts of the program: posted
// messages, commands, view-update hints, timers and menu commands. The values
// are fixed; keep them greppable here.

namespace Ids {

// Posted window message: new bytes in a session's ring (start index, count).
inline constexpr int MsgNewBytes = 1024 + 500; // 1524

// Commands posted or routed to a session's pane.
inline constexpr int CmdModemStatus = 3001;    // modem status changed
inline constexpr int CmdRefillPorts = 3002;    // refill the port selector
inline constexpr int CmdPlainKeyLabels = 3007; // key labels for no modifiers
inline constexpr int CmdRestoreWorkspace = 3008;
inline constexpr int CmdRefreshTitle = 3011; // document opened or saved
inline constexpr int CmdWidenFrame = 3036;
inline constexpr int CmdPortsChanged = 3047;
inline constexpr int CmdModifiersChanged = 6020; // Shift or Ctrl changed in the display

// View-update hints.
inline constexpr int HintRebuildDisplay = 3033;
inline constexpr int HintOnlineSettled = 3037;
inline constexpr int HintConnectionStatus = 3038;
inline constexpr int HintConnectionType = 3039;
inline constexpr int HintSettingsLoaded = 3040;

// Timers.
inline constexpr int TimerPortRefresh = 3048; // 2000 ms one-shot
inline constexpr int TimerKeyLabels = 3051;   // 50 ms
inline constexpr int TimerRepeatFirst = 1400; // + running slot
inline constexpr int TimerRepeatLast = 1499;

// Function-key commands: + key index 0..11.
inline constexpr int CmdKeySetupFirst = 4001;  // Alt+F1..F12
inline constexpr int CmdKeyEditFirst = 6001;   // status-bar right click
inline constexpr int CmdKeyPressFirst = 32772; // status-bar left click
inline constexpr int KeyCount = 12;

// Status-bar key panes.
inline constexpr int PaneKeyFirst = 3021; // 3021..3032

// Menu commands.
inline constexpr int CmdFunctionKeys = 32771;
inline constexpr int CmdStartCapture = 32784;
inline constexpr int CmdEndCapture = 32785;
inline constexpr int CmdClear = 32786;
inline constexpr int CmdHold = 32787;
inline constexpr int CmdWebSite = 32789;
inline constexpr int CmdFocusPort = 32802;
inline constexpr int CmdFocusDataBits = 32803;
inline constexpr int CmdFocusStopBits = 32804;
inline constexpr int CmdFocusFlow = 32805;
inline constexpr int CmdFocusMode = 32806;
inline constexpr int CmdFocusBaud = 32807;
inline constexpr int CmdFocusParity = 32808;
inline constexpr int CmdCaptureOptions = 32809;
inline constexpr int CmdColors = 32810;
inline constexpr int CmdTiming = 32811;
inline constexpr int CmdInstallToDrive = 32812;
inline constexpr int CmdInstructions = 32813;
inline constexpr int CmdAsciiChart = 32815;
inline constexpr int CmdDataConverter = 32816;
inline constexpr int CmdEchoSetting = 32817;
inline constexpr int CmdOnline = 32818;  // Alt+N: the active session on or off line
inline constexpr int CmdHistory = 32819; // the lines every session keeps
inline constexpr int CmdFind = 32820;    // the find bar, on the active session's display
inline constexpr int CmdSendBreak = 32821;
inline constexpr int CmdBreakLength = 32822;

inline constexpr int CmdFileNew = 57600;
inline constexpr int CmdFileOpen = 57601;
inline constexpr int CmdFileClose = 57602;
inline constexpr int CmdFileSave = 57603;
inline constexpr int CmdFileSaveAs = 57604;
inline constexpr int CmdFilePrint = 57607;
inline constexpr int CmdFileMruFirst = 57616;
inline constexpr int CmdAppAbout = 57664;
inline constexpr int CmdAppExit = 57665;

} // namespace Ids
