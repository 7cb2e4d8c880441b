#include "send/FuncKeys.h"

#include "base/Archive.h"
#include "base/TrelliumIds.h"
#include "send/DataString.h"
#include "send/KeyPanes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
constexpr int kFileVersion = 2;
// Timer ids 1400..1499 serve at most this many running slots.
constexpr int kMaxSlots = Ids::TimerRepeatLast - Ids::TimerRepeatFirst + 1;

uint64_t Mix(uint64_t x)
{
    // splitmix64's finaliser: identities from a hostile file still spread.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
} // namespace

size_t CMacroIdHash::operator()(const CMacroId& id) const noexcept
{
    const uint64_t low = (static_cast<uint64_t>(static_cast<uint32_t>(id.m_bShift)) << 32) |
                         static_cast<uint32_t>(id.m_bCtrl);
    const uint64_t high =
        (static_cast<uint64_t>(static_cast<uint32_t>(id.m_bAlt)) << 8) | id.m_nKey;
    return static_cast<size_t>(Mix(low ^ Mix(high)));
}

CFuncKeys::~CFuncKeys() = default;

void CFuncKeys::SetOwner(CFuncKeysOwner* owner)
{
    std::lock_guard lock(m_mutex);
    m_pOwner = owner;
}

void CFuncKeys::SetKeyPanes(CKeyPaneTable* panes)
{
    std::lock_guard lock(m_mutex);
    m_pPanes = panes;
}

void CFuncKeys::Run(CCallouts& callouts, CRepeatTimerHost* host) const
{
    CFuncKeysOwner* owner = nullptr;
    CKeyPaneTable* panes = nullptr;
    {
        std::lock_guard lock(m_mutex);
        owner = m_pOwner;
        panes = m_pPanes;
    }
    if (panes) {
        bool changed = false;
        for (const auto& [key, repeating] : callouts.highlights)
            changed |= panes->SetRepeating(key, repeating);
        if (changed)
            panes->Redraw();
    }
    if (owner) {
        for (int slot : callouts.stoppedSlots)
            owner->StopRepeat(slot);
    }
    if (host) {
        for (const auto& timer : callouts.timers)
            host->StartRepeatTimer(timer.timerId, timer.intervalMs, timer.macro);
    }
    if (owner) {
        for (const MacroKey& macro : callouts.sends)
            owner->SendMacro(macro);
    }
}

MacroKey* CFuncKeys::FindLocked(const CMacroId& id) const
{
    const auto it = m_index.find(id);
    return it == m_index.end() ? nullptr : it->second;
}

std::optional<MacroKey> CFuncKeys::FindKey(int key, int shift, int ctrl, int alt) const
{
    std::lock_guard lock(m_mutex);
    if (const MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, alt)))
        return *macro;
    return std::nullopt;
}

bool CFuncKeys::AddLocked(std::unique_ptr<MacroKey> macro)
{
    const CMacroId id = macro->Id();
    if (m_index.contains(id))
        return false;
    m_index.emplace(id, macro.get());
    m_macros.push_back(std::move(macro));
    return true;
}

bool CFuncKeys::AddKey(int key, int shift, int ctrl, int alt, const QByteArray& label,
                       const QByteArray& description, const QByteArray& data, int repeat,
                       int interval, int autoResponseOn, const QByteArray& autoResponse)
{
    auto macro = std::make_unique<MacroKey>();
    macro->m_nKey = static_cast<uint8_t>(key);
    macro->m_bShift = shift;
    macro->m_bCtrl = ctrl;
    macro->m_bAlt = alt;
    macro->m_strLabel = label;
    macro->m_strDescription = description;
    macro->m_strData = data;
    macro->m_nRepeat = repeat;
    macro->m_nInterval = interval;
    macro->m_bAutoResponseOn = autoResponseOn;
    macro->m_strAutoResponse = autoResponse;
    std::lock_guard lock(m_mutex);
    return AddLocked(std::move(macro));
}

bool CFuncKeys::SetKeyFields(int key, int shift, int ctrl, int alt, const QByteArray& label,
                             const QByteArray& description, const QByteArray& data, int repeat,
                             int interval)
{
    std::lock_guard lock(m_mutex);
    MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, alt));
    if (!macro)
        return false;
    macro->m_strLabel = label;
    macro->m_strDescription = description;
    macro->m_strData = data;
    macro->m_nRepeat = repeat;
    macro->m_nInterval = interval;
    return true;
}

bool CFuncKeys::SetAutoResponse(int key, int shift, int ctrl, int alt, int on,
                                const QByteArray& pattern)
{
    std::lock_guard lock(m_mutex);
    MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, alt));
    if (!macro)
        return false;
    macro->m_bAutoResponseOn = on;
    macro->m_strAutoResponse = pattern;
    return true;
}

bool CFuncKeys::RemoveKey(int key, int shift, int ctrl, int alt)
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, alt));
        if (!macro)
            return false;
        // A removed macro must not stay behind in a running slot or the
        // matcher, where a timer or a received byte would reach freed memory.
        const int slot = RunningSlotLocked(macro);
        if (slot >= 0) {
            out.highlights.emplace_back(macro->m_nKey, false);
            FreeSlotLocked(slot, out);
        }
        std::erase(m_autoResponses, macro);
        RefreshHasAutoResponses();
        m_index.erase(macro->Id());
        std::erase_if(m_macros, [macro](const auto& owned) { return owned.get() == macro; });
    }
    Run(out);
    return true;
}

void CFuncKeys::RemoveAllLocked(CCallouts& out)
{
    for (int slot = 0; slot < static_cast<int>(m_running.size()); ++slot) {
        if (m_running[slot]) {
            out.highlights.emplace_back(m_running[slot]->m_nKey, false);
            FreeSlotLocked(slot, out);
        }
    }
    // The matcher's flag is left to the caller: a reader thread reads it
    // without the lock, and Assign must not show it "no patterns" between
    // removing the old macros and adding their replacements.
    m_autoResponses.clear();
    m_index.clear();
    m_macros.clear();
}

void CFuncKeys::RemoveAllKeys()
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        RemoveAllLocked(out);
        RefreshHasAutoResponses();
    }
    Run(out);
}

int CFuncKeys::CountKeys(int shift, int ctrl, int alt) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_macros.begin(), m_macros.end(), [&](const auto& m) {
        return m->m_bShift == shift && m->m_bCtrl == ctrl && m->m_bAlt == alt;
    }));
}

std::vector<MacroKey> CFuncKeys::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    std::vector<MacroKey> copies;
    copies.reserve(m_macros.size());
    for (const auto& macro : m_macros)
        copies.push_back(*macro);
    return copies;
}

void CFuncKeys::Assign(const CFuncKeys& other)
{
    if (&other == this)
        return;
    const std::vector<MacroKey> copies = other.Snapshot();
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        StopAllLocked(out);
        RemoveAllLocked(out);
        for (const MacroKey& source : copies) {
            auto macro = std::make_unique<MacroKey>(source);
            macro->m_nDone = 0;
            AddLocked(std::move(macro));
        }
        // In the same step, so that no received byte finds the matcher empty.
        RebuildAutoResponsesLocked();
    }
    Run(out);
}

int CFuncKeys::RunningSlotLocked(const MacroKey* macro) const
{
    if (!macro)
        return -1;
    const auto it = std::find(m_running.begin(), m_running.end(), macro);
    return it == m_running.end() ? -1 : static_cast<int>(it - m_running.begin());
}

int CFuncKeys::RunningSlotOf(const CMacroId& macro) const
{
    std::lock_guard lock(m_mutex);
    return RunningSlotLocked(FindLocked(macro));
}

std::optional<MacroKey> CFuncKeys::MacroInSlot(int slot) const
{
    std::lock_guard lock(m_mutex);
    if (slot >= 0 && slot < static_cast<int>(m_running.size()) && m_running[slot])
        return *m_running[slot];
    return std::nullopt;
}

void CFuncKeys::FreeSlotLocked(int slot, CCallouts& out)
{
    if (slot < 0 || slot >= static_cast<int>(m_running.size()))
        return;
    m_running[slot] = nullptr;
    out.stoppedSlots.push_back(slot);
}

void CFuncKeys::FreeRunningSlot(int slot)
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        FreeSlotLocked(slot, out);
    }
    Run(out);
}

void CFuncKeys::StopAllLocked(CCallouts& out)
{
    for (const MacroKey* macro : m_running) {
        if (macro)
            out.highlights.emplace_back(macro->m_nKey, false);
    }
    for (int slot = 0; slot < static_cast<int>(m_running.size()); ++slot)
        FreeSlotLocked(slot, out);
    m_running.clear();
}

void CFuncKeys::StopAllRepeats()
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        StopAllLocked(out);
    }
    Run(out);
}

void CFuncKeys::StopRunLocked(MacroKey* macro, CCallouts& out)
{
    const int slot = RunningSlotLocked(macro);
    if (slot < 0)
        return;
    macro->m_nDone = 0;
    FreeSlotLocked(slot, out);
    out.highlights.emplace_back(macro->m_nKey, false);
}

void CFuncKeys::StopKeyRepeat(int key, int shift, int ctrl, int alt)
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        if (MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, alt)))
            StopRunLocked(macro, out);
    }
    Run(out);
}

std::optional<MacroKey> CFuncKeys::Press(const CMacroId& id)
{
    CCallouts out;
    std::optional<MacroKey> toSend;
    {
        std::lock_guard lock(m_mutex);
        MacroKey* macro = FindLocked(id);
        if (!macro)
            return std::nullopt;
        macro->m_nDone = 0;
        if (RunningSlotLocked(macro) >= 0)
            StopRunLocked(macro, out);
        else
            toSend = *macro;
    }
    Run(out);
    return toSend;
}

void CFuncKeys::RepeatBookkeeping(const CMacroId& id, CRepeatTimerHost* host)
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        MacroKey* macro = FindLocked(id);
        if (!macro || macro->m_nRepeat == 0)
            return;
        ++macro->m_nDone;
        bool scheduled = false;
        if (macro->m_nRepeat == -1 || macro->m_nDone < macro->m_nRepeat) {
            int slot = RunningSlotLocked(macro);
            if (slot < 0) {
                const auto freeSlot = std::find(m_running.begin(), m_running.end(), nullptr);
                if (freeSlot != m_running.end()) {
                    slot = static_cast<int>(freeSlot - m_running.begin());
                } else if (static_cast<int>(m_running.size()) < kMaxSlots) {
                    m_running.push_back(nullptr);
                    slot = static_cast<int>(m_running.size()) - 1;
                }
            }
            // With no timer id left the run ends with this send.
            if (slot >= 0) {
                m_running[slot] = macro;
                out.highlights.emplace_back(macro->m_nKey, true);
                out.timers.push_back({Ids::TimerRepeatFirst + slot, macro->m_nInterval, id});
                scheduled = true;
            }
        }
        if (!scheduled) {
            macro->m_nDone = 0;
            FreeSlotLocked(RunningSlotLocked(macro), out);
            out.highlights.emplace_back(macro->m_nKey, false);
        }
    }
    Run(out, host);
}

void CFuncKeys::RebuildAutoResponsesLocked()
{
    m_autoResponses.clear();
    for (int shift = 0; shift <= 1; ++shift) {
        for (int ctrl = 0; ctrl <= 1; ++ctrl) {
            for (int key = 0; key < 12; ++key) {
                MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, 0));
                if (!macro || macro->m_bAutoResponseOn != 1)
                    continue;
                macro->m_nMatchLength = 0;
                macro->m_nMatchProgress = 0;
                if (!macro->m_strAutoResponse.isEmpty()) {
                    QByteArray pattern;
                    try {
                        pattern = DecodeDataString(macro->m_strAutoResponse);
                    } catch (const CDataStringError&) {
                        pattern.clear(); // a refused pattern never matches
                    }
                    if (pattern.size() < static_cast<qsizetype>(sizeof macro->m_match)) {
                        std::memcpy(macro->m_match, pattern.constData(),
                                    static_cast<size_t>(pattern.size()));
                        macro->m_nMatchLength = static_cast<int32_t>(pattern.size());
                    }
                }
                m_autoResponses.push_back(macro);
            }
        }
    }
    RefreshHasAutoResponses();
}

void CFuncKeys::RebuildAutoResponses()
{
    std::lock_guard lock(m_mutex);
    RebuildAutoResponsesLocked();
}

void CFuncKeys::RefreshHasAutoResponses()
{
    const bool any = std::any_of(m_autoResponses.begin(), m_autoResponses.end(),
                                 [](const MacroKey* macro) { return macro->m_nMatchLength > 0; });
    m_bHasAutoResponses.store(any, std::memory_order_release);
}

void CFuncKeys::MatchAutoResponse(uint8_t byte)
{
    MatchAutoResponse(byte, {});
}

void CFuncKeys::MatchAutoResponse(uint8_t byte, const std::function<void()>& beforeSend)
{
    CCallouts out;
    {
        std::lock_guard lock(m_mutex);
        for (MacroKey* macro : m_autoResponses) {
            if (macro->m_nMatchLength == 0)
                continue;
            if (byte == macro->m_match[macro->m_nMatchProgress]) {
                if (++macro->m_nMatchProgress == macro->m_nMatchLength) {
                    macro->m_nMatchProgress = 0;
                    out.sends.push_back(*macro);
                }
            } else {
                macro->m_nMatchProgress = 0;
            }
        }
    }
    if (out.sends.empty())
        return;
    if (beforeSend)
        beforeSend();
    Run(out);
}

QString CFuncKeys::ToolTipText(const MacroKey& macro)
{
    QString tip = QString::fromLatin1(macro.m_strDescription);
    const QByteArray& data = macro.m_strData;
    if (!data.isEmpty()) {
        if (!macro.m_strDescription.isEmpty())
            tip += QStringLiteral("\r\n");
        tip += QStringLiteral("Data: [") + QString::fromLatin1(data.left(20));
        if (data.size() > 20) {
            tip += QStringLiteral("...");
            if (data.size() > 26)
                tip += QString::fromLatin1(data.right(6));
        }
        tip += QStringLiteral("]");
    }
    if (macro.m_nRepeat == -1)
        tip += QStringLiteral("\r\nRepeat: indefinitely, Interval: %1 ms").arg(macro.m_nInterval);
    else if (macro.m_nRepeat != 0)
        tip += QStringLiteral("\r\nRepeat: %1 times, Interval: %2 ms")
                   .arg(macro.m_nRepeat)
                   .arg(macro.m_nInterval);
    return tip;
}

void CFuncKeys::UpdateKeyPanes(CKeyPaneTable& panes, int shift, int ctrl) const
{
    struct CPaneText
    {
        QString label;
        QString toolTip;
        bool hasData = false;
    };
    std::array<CPaneText, 12> texts;
    std::array<bool, 12> repeating{};
    {
        std::lock_guard lock(m_mutex);
        // The highlight follows the set shown: another session's repeats
        // leave with its labels.
        for (const MacroKey* running : m_running) {
            if (running && running->m_nKey < 12)
                repeating[static_cast<size_t>(running->m_nKey)] = true;
        }
        if (shift || ctrl) {
            const bool any = std::any_of(m_macros.begin(), m_macros.end(), [&](const auto& m) {
                return m->m_bShift == shift && m->m_bCtrl == ctrl && m->m_bAlt == 0;
            });
            if (!any)
                return;
        }
        for (int key = 0; key < 12; ++key) {
            const MacroKey* macro = FindLocked(CMacroId::Of(key, shift, ctrl, 0));
            const QString prefix = key == 0 ? QStringLiteral("F") : QString();
            const QString label = macro ? QString::fromLatin1(macro->m_strLabel) : QString();
            texts[key] = {QStringLiteral("%1%2 %3").arg(prefix).arg(key + 1).arg(label),
                          macro ? ToolTipText(*macro) : QString(),
                          macro && !macro->m_strData.isEmpty()};
        }
    }
    for (int key = 0; key < 12; ++key) {
        panes.SetKeyPane(key + 1, texts[key].label, texts[key].toolTip, texts[key].hasData);
        panes.SetRepeating(key, repeating[static_cast<size_t>(key)]);
    }
    panes.Redraw();
}

QByteArray CFuncKeys::ProgressText() const
{
    std::lock_guard lock(m_mutex);
    QByteArray text;
    for (const auto& macro : m_macros) {
        if (macro->m_nDone <= 0)
            continue;
        text += '(' + macro->m_strLabel + ' ' + QByteArray::number(macro->m_nDone);
        if (macro->m_nRepeat != -1)
            text += '/' + QByteArray::number(macro->m_nRepeat);
        text += ") ";
    }
    return text;
}

void CFuncKeys::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        // The archive writes to a file: never under the lock.
        const std::vector<MacroKey> macros = Snapshot();
        const uint32_t header = (static_cast<uint32_t>(kFileVersion) << 16) |
                                (static_cast<uint32_t>(macros.size()) & 0xFFFFu);
        ar.WriteU32(header);
        for (const MacroKey& macro : macros) {
            ar.WriteU8(macro.m_nKey);
            ar.WriteI32(macro.m_bShift);
            ar.WriteI32(macro.m_bCtrl);
            ar.WriteI32(macro.m_bAlt);
            ar.WriteString(macro.m_strLabel);
            ar.WriteString(macro.m_strDescription);
            ar.WriteString(macro.m_strData);
            ar.WriteI32(macro.m_nRepeat);
            ar.WriteI32(macro.m_nInterval);
            ar.WriteI32(macro.m_bAutoResponseOn);
            ar.WriteString(macro.m_strAutoResponse);
        }
        return;
    }

    // Read outside the lock, then add what was read, even when the block is
    // cut short: those macros stay in the set and their auto responses work.
    std::vector<std::unique_ptr<MacroKey>> read;
    const auto install = [this, &read] {
        std::lock_guard lock(m_mutex);
        for (auto& macro : read)
            AddLocked(std::move(macro)); // a duplicate identity is skipped
        RebuildAutoResponsesLocked();
    };
    try {
        const uint32_t header = ar.ReadU32();
        const int count = static_cast<int>(header & 0xFFFFu);
        const int version = static_cast<int>((header >> 16) & 0xFFu);
        for (int i = 0; i < count; ++i) {
            auto m = std::make_unique<MacroKey>();
            m->m_nKey = ar.ReadU8();
            m->m_bShift = ar.ReadI32();
            m->m_bCtrl = ar.ReadI32();
            m->m_bAlt = ar.ReadI32();
            m->m_strLabel = ar.ReadString();
            m->m_strDescription = ar.ReadString();
            m->m_strData = ar.ReadString();
            if (version >= 1) {
                m->m_nRepeat = ar.ReadI32();
                m->m_nInterval = ar.ReadI32();
            }
            if (version >= 2) {
                m->m_bAutoResponseOn = ar.ReadI32();
                m->m_strAutoResponse = ar.ReadString();
            }
            read.push_back(std::move(m));
        }
    } catch (...) {
        install();
        throw;
    }
    install();
}

QString MacroKeyName(const MacroKey& macro)
{
    QString name;
    if (macro.m_bCtrl)
        name += QStringLiteral("Ctrl+");
    if (macro.m_bShift)
        name += QStringLiteral("Shift+");
    return name + QStringLiteral("F%1").arg(macro.m_nKey + 1);
}
