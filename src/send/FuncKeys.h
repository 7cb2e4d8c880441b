#pragma once
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

class CArchive;
class CKeyPaneTable;

// A macro's identity: function key (a byte; 0..11 for F1..F12) and the three
// modifier flags. A set never holds two macros with the same identity.
struct CMacroId
{
    uint8_t m_nKey = 0;
    int32_t m_bShift = 0;
    int32_t m_bCtrl = 0;
    int32_t m_bAlt = 0;

    static CMacroId Of(int key, int shift, int ctrl, int alt)
    {
        return {static_cast<uint8_t>(key), shift, ctrl, alt};
    }
    bool operator==(const CMacroId&) const = default;
};

struct CMacroIdHash
{
    size_t operator()(const CMacroId& id) const noexcept;
};

// One function-key macro.
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

    CMacroId Id() const { return {m_nKey, m_bShift, m_bCtrl, m_bAlt}; }
};

// Implemented by the session that owns a macro set. The set calls these with
// its lock released, so an implementation may send, show a message or call
// back into the set.
class CFuncKeysOwner
{
public:
    // Kill repeat timer 1400 + slot and refresh the title.
    virtual void StopRepeat(int slot) = 0;
    // Send the macro's data string, with the repeat bookkeeping. `macro` is
    // a copy: the set may change while it is sent.
    virtual void SendMacro(const MacroKey& macro) = 0;

protected:
    ~CFuncKeysOwner() = default;
};

// Where repeat runs start their one-shot timers (id 1400 + slot). Called with
// the set's lock released, on the thread that did the send.
class CRepeatTimerHost
{
public:
    // Starting a timer with a pending id replaces it. `macro` is the identity
    // the slot held when the timer was asked for.
    virtual void StartRepeatTimer(int timerId, int intervalMs, const CMacroId& macro) = 0;

protected:
    ~CRepeatTimerHost() = default;
};

// A session's function-key macros: up to one per key F1..F12 and per
// Shift/Ctrl combination, the running (repeat) slots, and the auto-response
// matcher. Macros are indexed by identity, so loading a file with many macros
// costs time linear in their number.
//
// Threads: the user-interface thread edits and presses keys; a serial reader
// thread runs MatchAutoResponse, which may send. Every operation takes the
// set's lock for as long as it decides, and calls the owner, the repeat timer
// host and the key panes only after releasing it. No pointer into the set is
// ever handed out: lookups return copies.
class CFuncKeys
{
public:
    CFuncKeys() = default;
    ~CFuncKeys();
    CFuncKeys(const CFuncKeys&) = delete;
    CFuncKeys& operator=(const CFuncKeys&) = delete;

    void SetOwner(CFuncKeysOwner* owner);
    // The key panes to highlight; none until set.
    void SetKeyPanes(CKeyPaneTable* panes);

    std::optional<MacroKey> FindKey(int key, int shift, int ctrl, int alt) const;
    bool AddKey(int key, int shift, int ctrl, int alt, const QByteArray& label,
                const QByteArray& description, const QByteArray& data, int repeat, int interval,
                int autoResponseOn, const QByteArray& autoResponse);
    bool SetKeyFields(int key, int shift, int ctrl, int alt, const QByteArray& label,
                      const QByteArray& description, const QByteArray& data, int repeat,
                      int interval);
    // The auto-response box and pattern of a macro; false when there is none.
    bool SetAutoResponse(int key, int shift, int ctrl, int alt, int on, const QByteArray& pattern);
    bool RemoveKey(int key, int shift, int ctrl, int alt);
    void RemoveAllKeys();
    int CountKeys(int shift, int ctrl, int alt) const;
    // Copies of the macros, in list order.
    std::vector<MacroKey> Snapshot() const;

    // Stops every repeat, removes every macro, then copies `other`'s macros
    // (done 0) in its order and rebuilds the matcher, all in one step.
    void Assign(const CFuncKeys& other);

    int RunningSlotOf(const CMacroId& macro) const;
    std::optional<MacroKey> MacroInSlot(int slot) const;
    void FreeRunningSlot(int slot);
    void StopAllRepeats();
    void StopKeyRepeat(int key, int shift, int ctrl, int alt);

    // A key press: done = 0; a macro that repeats stops (its highlight is
    // cleared) and nothing is returned; an idle one is returned for sending.
    std::optional<MacroKey> Press(const CMacroId& macro);

    // After one send of `macro` (not a file reference): counts the send,
    // highlights and schedules the next repetition, or ends the run. Does
    // nothing when the macro is gone.
    void RepeatBookkeeping(const CMacroId& macro, CRepeatTimerHost* host);

    void RebuildAutoResponses();
    // Feeds one received byte; a completed pattern calls the owner's
    // SendMacro before this returns (after the lock is released).
    void MatchAutoResponse(uint8_t byte);
    // The same, calling `beforeSend` (with no lock held) just before the
    // byte's responses are sent, and only when one is.
    void MatchAutoResponse(uint8_t byte, const std::function<void()>& beforeSend);
    bool HasAutoResponses() const { return m_bHasAutoResponses.load(std::memory_order_acquire); }

    void UpdateKeyPanes(CKeyPaneTable& panes, int shift, int ctrl) const;
    QByteArray ProgressText() const;
    static QString ToolTipText(const MacroKey& macro);

    // Reads versions 0..2 (skipping duplicate identities), writes version 2.
    // Throws CArchiveException; macros read before a failure are kept.
    void Serialize(CArchive& ar);

private:
    // What an operation decided under the lock and carries out after it.
    struct CCallouts
    {
        std::vector<int> stoppedSlots;
        std::vector<std::pair<int, bool>> highlights; // key 0..11, repeating
        struct CTimerStart
        {
            int timerId;
            int intervalMs;
            CMacroId macro;
        };
        std::vector<CTimerStart> timers;
        std::vector<MacroKey> sends;
    };

    void Run(CCallouts& callouts, CRepeatTimerHost* host = nullptr) const;
    MacroKey* FindLocked(const CMacroId& id) const;
    bool AddLocked(std::unique_ptr<MacroKey> macro);
    int RunningSlotLocked(const MacroKey* macro) const;
    void FreeSlotLocked(int slot, CCallouts& out);
    void StopRunLocked(MacroKey* macro, CCallouts& out);
    void StopAllLocked(CCallouts& out);
    void RemoveAllLocked(CCallouts& out);
    void RebuildAutoResponsesLocked();
    void RefreshHasAutoResponses();

    mutable std::mutex m_mutex;
    std::vector<MacroKey*> m_running;                // slot -> macro or null
    std::vector<std::unique_ptr<MacroKey>> m_macros; // owned, in order of addition
    std::unordered_map<CMacroId, MacroKey*, CMacroIdHash> m_index;
    std::vector<MacroKey*> m_autoResponses; // not owned
    CFuncKeysOwner* m_pOwner = nullptr;
    CKeyPaneTable* m_pPanes = nullptr;
    std::atomic<bool> m_bHasAutoResponses{false};
};

// A macro's key as a person names it: "F2", "Shift+F3", "Ctrl+Shift+F12".
QString MacroKeyName(const MacroKey& macro);
