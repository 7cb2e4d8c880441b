#include "send/FuncKeys.h"

#include "send/DataString.h"
#include "send/KeyPanes.h"
#include "session/Archive.h"
#include "session/TrelliumIds.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kFileVersion = 2;
// Timer ids 1400..1499 serve at most this many running slots.
constexpr int kMaxSlots = Ids::TimerRepeatLast - Ids::TimerRepeatFirst + 1;
} // namespace

CFuncKeys::~CFuncKeys() = default;

void CFuncKeys::SetOwner(CFuncKeysOwner* owner)
{
    auto lock = Lock();
    m_pOwner = owner;
}

CKeyPaneTable& CFuncKeys::Panes() const
{
    return m_pPanes ? *m_pPanes : CKeyPaneTable::Instance();
}

MacroKey* CFuncKeys::FindKey(int key, int shift, int ctrl, int alt) const
{
    auto lock = Lock();
    for (const auto& macro : m_macros) {
        if (macro->Is(key, shift, ctrl, alt))
            return macro.get();
    }
    return nullptr;
}

bool CFuncKeys::AddKey(int key, int shift, int ctrl, int alt, const QByteArray& label,
                       const QByteArray& description, const QByteArray& data, int repeat,
                       int interval, int autoResponseOn, const QByteArray& autoResponse)
{
    auto lock = Lock();
    if (FindKey(key, shift, ctrl, alt))
        return false;
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
    m_macros.push_back(std::move(macro));
    return true;
}

bool CFuncKeys::SetKeyFields(int key, int shift, int ctrl, int alt, const QByteArray& label,
                             const QByteArray& description, const QByteArray& data, int repeat,
                             int interval)
{
    auto lock = Lock();
    MacroKey* macro = FindKey(key, shift, ctrl, alt);
    if (!macro)
        return false;
    macro->m_strLabel = label;
    macro->m_strDescription = description;
    macro->m_strData = data;
    macro->m_nRepeat = repeat;
    macro->m_nInterval = interval;
    return true;
}

bool CFuncKeys::RemoveKey(int key, int shift, int ctrl, int alt)
{
    auto lock = Lock();
    const auto it = std::find_if(m_macros.begin(), m_macros.end(), [&](const auto& macro) {
        return macro->Is(key, shift, ctrl, alt);
    });
    if (it == m_macros.end())
        return false;
    MacroKey* macro = it->get();
    // A removed macro must not stay behind in a running slot or the matcher,
    // where a timer or a received byte would reach freed memory.
    const int slot = RunningSlotOf(macro);
    if (slot >= 0) {
        ClearHighlight(macro);
        FreeRunningSlot(slot);
    }
    std::erase(m_autoResponses, macro);
    RefreshHasAutoResponses();
    m_macros.erase(it);
    return true;
}

void CFuncKeys::RemoveAllKeys()
{
    auto lock = Lock();
    for (int slot = 0; slot < static_cast<int>(m_running.size()); ++slot) {
        if (m_running[slot]) {
            ClearHighlight(m_running[slot]);
            FreeRunningSlot(slot);
        }
    }
    m_autoResponses.clear();
    RefreshHasAutoResponses();
    m_macros.clear();
}

int CFuncKeys::CountKeys(int shift, int ctrl, int alt) const
{
    auto lock = Lock();
    return static_cast<int>(std::count_if(m_macros.begin(), m_macros.end(), [&](const auto& m) {
        return m->m_bShift == shift && m->m_bCtrl == ctrl && m->m_bAlt == alt;
    }));
}

std::vector<MacroKey> CFuncKeys::Snapshot() const
{
    auto lock = Lock();
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
    auto lock = Lock();
    StopAllRepeats();
    RemoveAllKeys();
    for (const MacroKey& source : copies) {
        auto macro = std::make_unique<MacroKey>(source);
        macro->m_nDone = 0;
        m_macros.push_back(std::move(macro));
    }
}

int CFuncKeys::RunningSlotOf(const MacroKey* macro) const
{
    auto lock = Lock();
    const auto it = std::find(m_running.begin(), m_running.end(), macro);
    return it == m_running.end() || !macro ? -1 : static_cast<int>(it - m_running.begin());
}

MacroKey* CFuncKeys::MacroInSlot(int slot) const
{
    auto lock = Lock();
    return slot >= 0 && slot < static_cast<int>(m_running.size()) ? m_running[slot] : nullptr;
}

void CFuncKeys::ScheduleRepeat(MacroKey* macro, CRepeatTimerHost* host)
{
    auto lock = Lock();
    int slot = -1;
    for (int i = 0; i < static_cast<int>(m_running.size()); ++i) {
        if (m_running[i] == macro || !m_running[i]) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        if (static_cast<int>(m_running.size()) >= kMaxSlots)
            return; // no timer id left; the run ends with this send
        m_running.push_back(nullptr);
        slot = static_cast<int>(m_running.size()) - 1;
    }
    m_running[slot] = macro;
    if (host)
        host->StartRepeatTimer(Ids::TimerRepeatFirst + slot, macro->m_nInterval, macro);
}

void CFuncKeys::FreeRunningSlot(int slot)
{
    auto lock = Lock();
    if (slot < 0 || slot >= static_cast<int>(m_running.size()))
        return;
    m_running[slot] = nullptr;
    if (m_pOwner)
        m_pOwner->StopRepeat(slot);
}

void CFuncKeys::StopAllRepeats()
{
    auto lock = Lock();
    for (const MacroKey* macro : m_running) {
        if (macro)
            ClearHighlight(macro);
    }
    for (int slot = 0; slot < static_cast<int>(m_running.size()); ++slot)
        FreeRunningSlot(slot);
    m_running.clear();
}

void CFuncKeys::StopKeyRepeat(int key, int shift, int ctrl, int alt)
{
    auto lock = Lock();
    MacroKey* macro = FindKey(key, shift, ctrl, alt);
    if (!macro)
        return;
    const int slot = RunningSlotOf(macro);
    if (slot < 0)
        return;
    macro->m_nDone = 0;
    FreeRunningSlot(slot);
    ClearHighlight(macro);
}

void CFuncKeys::ClearHighlight(const MacroKey* macro)
{
    CKeyPaneTable& panes = Panes();
    if (panes.SetRepeating(macro->m_nKey, false))
        panes.Redraw();
}

void CFuncKeys::RepeatBookkeeping(MacroKey* macro, CRepeatTimerHost* host)
{
    auto lock = Lock();
    if (macro->m_nRepeat == 0)
        return;
    ++macro->m_nDone;
    if (macro->m_nRepeat == -1 || macro->m_nDone < macro->m_nRepeat) {
        CKeyPaneTable& panes = Panes();
        if (panes.SetRepeating(macro->m_nKey, true))
            panes.Redraw();
        ScheduleRepeat(macro, host);
        if (RunningSlotOf(macro) >= 0)
            return;
        // No slot could be had: the run ends here.
    }
    macro->m_nDone = 0;
    const int slot = RunningSlotOf(macro);
    if (slot >= 0)
        FreeRunningSlot(slot);
    ClearHighlight(macro);
}

void CFuncKeys::RebuildAutoResponses()
{
    auto lock = Lock();
    m_autoResponses.clear();
    for (int shift = 0; shift <= 1; ++shift) {
        for (int ctrl = 0; ctrl <= 1; ++ctrl) {
            for (int key = 0; key < 12; ++key) {
                MacroKey* macro = FindKey(key, shift, ctrl, 0);
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

void CFuncKeys::RefreshHasAutoResponses()
{
    const bool any = std::any_of(m_autoResponses.begin(), m_autoResponses.end(),
                                 [](const MacroKey* macro) { return macro->m_nMatchLength > 0; });
    m_bHasAutoResponses.store(any, std::memory_order_release);
}

void CFuncKeys::MatchAutoResponse(uint8_t byte)
{
    auto lock = Lock();
    for (MacroKey* macro : m_autoResponses) {
        if (macro->m_nMatchLength == 0)
            continue;
        if (byte == macro->m_match[macro->m_nMatchProgress]) {
            if (++macro->m_nMatchProgress == macro->m_nMatchLength) {
                macro->m_nMatchProgress = 0;
                if (m_pOwner)
                    m_pOwner->SendMacro(macro);
            }
        } else {
            macro->m_nMatchProgress = 0;
        }
    }
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
    auto lock = Lock();
    if ((shift || ctrl) && CountKeys(shift, ctrl, 0) == 0)
        return;
    for (int key = 0; key < 12; ++key) {
        const MacroKey* macro = FindKey(key, shift, ctrl, 0);
        const QString prefix = key == 0 ? QStringLiteral("F") : QString();
        const QString label = macro ? QString::fromLatin1(macro->m_strLabel) : QString();
        const QString text = QStringLiteral("%1%2 %3").arg(prefix).arg(key + 1).arg(label);
        panes.SetKeyPane(key + 1, text, macro ? ToolTipText(*macro) : QString(),
                         macro && !macro->m_strData.isEmpty());
    }
    panes.Redraw();
}

QByteArray CFuncKeys::ProgressText() const
{
    auto lock = Lock();
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
    auto lock = Lock();
    if (ar.IsStoring()) {
        const uint32_t header = (static_cast<uint32_t>(kFileVersion) << 16) |
                                (static_cast<uint32_t>(m_macros.size()) & 0xFFFFu);
        ar.WriteU32(header);
        for (const auto& macro : m_macros) {
            ar.WriteU8(macro->m_nKey);
            ar.WriteI32(macro->m_bShift);
            ar.WriteI32(macro->m_bCtrl);
            ar.WriteI32(macro->m_bAlt);
            ar.WriteString(macro->m_strLabel);
            ar.WriteString(macro->m_strDescription);
            ar.WriteString(macro->m_strData);
            ar.WriteI32(macro->m_nRepeat);
            ar.WriteI32(macro->m_nInterval);
            ar.WriteI32(macro->m_bAutoResponseOn);
            ar.WriteString(macro->m_strAutoResponse);
        }
        return;
    }

    // Rebuild the matcher even when the block is cut short: the macros read
    // so far stay in the set and their auto responses must work.
    struct RebuildOnExit
    {
        CFuncKeys& keys;
        ~RebuildOnExit() { keys.RebuildAutoResponses(); }
    } rebuild{*this};

    const uint32_t header = ar.ReadU32();
    const int count = static_cast<int>(header & 0xFFFFu);
    const int version = static_cast<int>((header >> 16) & 0xFFu);
    for (int i = 0; i < count; ++i) {
        MacroKey m;
        m.m_nKey = ar.ReadU8();
        m.m_bShift = ar.ReadI32();
        m.m_bCtrl = ar.ReadI32();
        m.m_bAlt = ar.ReadI32();
        m.m_strLabel = ar.ReadString();
        m.m_strDescription = ar.ReadString();
        m.m_strData = ar.ReadString();
        if (version >= 1) {
            m.m_nRepeat = ar.ReadI32();
            m.m_nInterval = ar.ReadI32();
        }
        if (version >= 2) {
            m.m_bAutoResponseOn = ar.ReadI32();
            m.m_strAutoResponse = ar.ReadString();
        }
        AddKey(m.m_nKey, m.m_bShift, m.m_bCtrl, m.m_bAlt, m.m_strLabel, m.m_strDescription,
               m.m_strData, m.m_nRepeat, m.m_nInterval, m.m_bAutoResponseOn, m.m_strAutoResponse);
    }
}
