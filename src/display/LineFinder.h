#pragma once
#include "display/LineBuffer.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// A place in a display's lines: the line's serial (CLineBuffer) and a column.
struct CLinePlace
{
    uint64_t serial = 0;
    uint32_t column = 0;
    auto operator<=>(const CLinePlace&) const = default;
};

// One match, from `begin` up to `end` (exclusive). A byte-value match in a
// Hex display may end on a later line than it begins.
struct CFindMatch
{
    CLinePlace begin;
    CLinePlace end;
};

// Finds a text, or byte values, in a display's lines and keeps the matches up
// to date as lines arrive and are trimmed: Update searches only what is new
// since the last call (the last line again, as it may have grown), so a
// display keeping a million lines is searched once, not at every frame.
// User-interface thread only, like the lines.
class CLineFinder
{
public:
    // Text: the characters as the display shows them, within one line, case
    // sensitive or not (ASCII letters). Byte values: "0D 0A" or "0d0a", the
    // values a Hex display shows, wherever its lines break. Returns why a
    // byte-value query cannot be read ("0D 0"), and then finds nothing. The
    // matches are searched afresh at the next Update.
    std::string SetQuery(std::string_view text, bool caseSensitive, bool byteValues);
    bool HasQuery() const { return !m_needle.empty(); }

    void Update(const CLineBuffer& lines);
    // In order, non-overlapping.
    const std::deque<CFindMatch>& Matches() const { return m_matches; }
    // The first match that begins after `place`, or the first of all when
    // none does; none without matches.
    std::optional<size_t> Next(CLinePlace place) const;
    // The last match that begins before `place`, or the last of all when
    // none does; none without matches.
    std::optional<size_t> Previous(CLinePlace place) const;

private:
    void SearchText(const CLineBuffer& lines, uint64_t from);
    void SearchBytes(const CLineBuffer& lines, uint64_t from);

    // Folded to lower case when not case sensitive; for byte values, the text
    // a Hex display shows for them.
    std::string m_needle;
    bool m_bCaseSensitive = true;
    bool m_bBytes = false;
    std::deque<CFindMatch> m_matches;
    uint64_t m_nSearchFrom = 0; // lines before it were searched whole
};
