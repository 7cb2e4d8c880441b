#pragma once
#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CArchive;
class CKeyPaneTable;

// One function-key macro. Identity: (key, shift, ctrl, alt).
struct MacroKey
{
    uint8_t m_match[20] = {};     // decoded auto-response pattern
    int32_t m_nMatchLength = 0;   // 0: no pattern
    int32_t m_nMatchProgress = 0; // pattern bytes matched so far
    uint8_t m_nKey = 0;           // 0..11 for F1..F12
    int32_t m_bShift = 0;
    int32_t m_bCtrl = 0;
    int32_t m_bAlt = 0; // always 0 from key presses
    QByteArray m_strLabel;
    QByteArray m_strDescription;
    QByteArray m_strData;
    int32_t m_nRepeat = 0;   // 0 once, -1 endless, N>0 N times in all
    int32_t m_nInterval = 0; // ms between repetitions
    int32_t m_nDone = 0;     // sends of the current run; not stored
    int32_t m_bAutoResponseOn = 0;
    QByteArray m_strAutoResponse;

    bool Is(int key, int shift, int ctrl, int alt) const
    {
        return m_nKey == static_cast<uint8_t>(key) && m_bShift == shift && m_bCtrl == ctrl &&
               m_bAlt == alt;
    }
};

// Implemented by the session that owns a macro set.
class CFuncKeysOwner
{
public:
    // Kill repeat timer 1400 + slot and refresh the title.
    virtual void StopRepeat(int slot) = 0;
    // Send the macro's data string, with the repeat bookkeeping.
    virtual void SendMacro(MacroKey* macro) = 0;

protected:
    ~CFuncKeysOwner() = default;
};

// Where ScheduleRepeat starts its one-shot timers (id 1400 + slot).
class CRepeatTimerHost
{
public:
    // Starting a timer with a pending id replaces it. Any thread may call.
    virtual void StartRepeatTimer(int timerId, int intervalMs, MacroKey* macro) = 0;

protected:
    ~CRepeatTimerHost() = default;
};

// A session's function-key macros: up to one per key F1..F12 and per
// Shift/Ctrl combination, the running (repeat) slots, and the auto-response
// matcher.
//
// Threads: the user-interface thread edits and presses keys; a serial reader
// thread runs MatchAutoResponse, which may send. Every operation takes the
// set's recursive lock; a caller that must keep a MacroKey pointer across
// calls holds Lock() for as long.
class CFuncKeys
{
public:
    CFuncKeys() = default;
    ~CFuncKeys();
    CFuncKeys(const CFuncKeys&) = delete;
    CFuncKeys& operator=(const CFuncKeys&) = delete;

    std::unique_lock<std::recursive_mutex> Lock() const
    {
        return std::unique_lock<std::recursive_mutex>(m_mutex);
    }

    void SetOwner(CFuncKeysOwner* owner);

    MacroKey* FindKey(int key, int shift, int ctrl, int alt) const;
    bool AddKey(int key, int shift, int ctrl, int alt, const QByteArray& label,
                const QByteArray& description, const QByteArray& data, int repeat, int interval,
                int autoResponseOn, const QByteArray& autoResponse);
    bool SetKeyFields(int key, int shift, int ctrl, int alt, const QByteArray& label,
                      const QByteArray& description, const QByteArray& data, int repeat,
                      int interval);
    bool RemoveKey(int key, int shift, int ctrl, int alt);
    void RemoveAllKeys();
    int CountKeys(int shift, int ctrl, int alt) const;
    // Copies of the macros, in list order.
    std::vector<MacroKey> Snapshot() const;

    // Stops every repeat, removes every macro, then copies `other`'s macros
    // (done 0) in its order.
    void Assign(const CFuncKeys& other);

    int RunningSlotOf(const MacroKey* macro) const;
    MacroKey* MacroInSlot(int slot) const;
    void ScheduleRepeat(MacroKey* macro, CRepeatTimerHost* host);
    void FreeRunningSlot(int slot);
    void StopAllRepeats();
    void StopKeyRepeat(int key, int shift, int ctrl, int alt);

    // After one send of `macro` (not a file reference): counts the send,
    // highlights and schedules the next repetition, or ends the run.
    void RepeatBookkeeping(MacroKey* macro, CRepeatTimerHost* host);

    void RebuildAutoResponses();
    // Feeds one received byte; may call the owner's SendMacro at once.
    void MatchAutoResponse(uint8_t byte);
    bool HasAutoResponses() const { return m_bHasAutoResponses.load(std::memory_order_acquire); }

    void UpdateKeyPanes(CKeyPaneTable& panes, int shift, int ctrl) const;
    QByteArray ProgressText() const;
    static QString ToolTipText(const MacroKey& macro);

    // Reads versions 0..2 (skipping duplicate identities), writes version 2.
    // Throws CArchiveException; macros read before a failure are kept.
    void Serialize(CArchive& ar);

    // The key panes to highlight; the process-wide table unless a test sets another.
    void SetKeyPanes(CKeyPaneTable* panes) { m_pPanes = panes; }

private:
    CKeyPaneTable& Panes() const;
    void ClearHighlight(const MacroKey* macro);
    void RefreshHasAutoResponses();

    mutable std::recursive_mutex m_mutex;
    std::vector<MacroKey*> m_running;                // slot -> macro or null
    std::vector<std::unique_ptr<MacroKey>> m_macros; // owned, in order of addition
    std::vector<MacroKey*> m_autoResponses;          // not owned
    CFuncKeysOwner* m_pOwner = nullptr;
    CKeyPaneTable* m_pPanes = nullptr;
    std::atomic<bool> m_bHasAutoResponses{false};
};
