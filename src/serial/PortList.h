#pragma once
#include <QString>
#include <functional>
#include <vector>

// One entry of the port list: a serial port or one of the fixed entries.
struct CPortItem
{
    int m_nPortId = 0;
    QString m_strName;
    QString m_strDescription;
    bool m_bInUse = false;
};

struct CSelectorEntry
{
    int portId = 0;
    QString name;
    QString description;
    bool inUse = false;
};
struct CSelectorContents
{
    std::vector<CSelectorEntry> entries;
    int selected = -1;
};

// The connection choices of the program: the serial ports present, then the
// five fixed entries. One per program, in its CSessionContext.
class CPortList
{
public:
    void Enumerate();
    void Clear() { m_items.clear(); }
    const std::vector<CPortItem>& Items() const { return m_items; }
    void SetInUse(int portId, bool inUse);
    void SetInUseCallback(std::function<void()> callback) { m_inUseChanged = std::move(callback); }
    CSelectorContents FillSelector(int currentPortId) const;

private:
    std::vector<CPortItem> m_items;
    std::function<void()> m_inUseChanged;
};
