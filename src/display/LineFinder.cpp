#include "display/LineFinder.h"

#include "display/DisplayRenderer.h"

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace {

char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of each hexadecimal digit, -1 for every other character: a
// table, since a Hex search reads every character of a million lines.
constexpr std::array<int8_t, 256> kHexDigits = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table['a' + i] = static_cast<int8_t>(10 + i);
        table['A' + i] = static_cast<int8_t>(10 + i);
    }
    return table;
}();

int HexDigit(char c)
{
    return kHexDigits[static_cast<uint8_t>(c)];
}

// Appends the characters of `line` that are not a time stamp's to `text`;
// when any are left out, `columns` gets the column of each appended one.
// Returns whether any were.
bool AppendUnstamped(const CDisplayLine& line, std::string& text, std::vector<uint32_t>& columns)
{
    const std::string_view formats = line.Formats();
    // Most lines hold no stamp: one quick scan, then one copy. Every run
    // starts anew on each line it reaches, so a stamp on a line has a first
    // character there.
    constexpr auto kStampStart =
        static_cast<char>(static_cast<uint8_t>(RunFormat::Stamp) | kCellRunStart);
    if (formats.find(kStampStart) == std::string_view::npos) {
        text.append(line.Text());
        return false;
    }
    columns.clear();
    for (size_t column = 0; column < formats.size(); ++column) {
        if (CDisplayLine::FormatOf(formats[column]) != RunFormat::Stamp) {
            text += line.Text()[column];
            columns.push_back(static_cast<uint32_t>(column));
        }
    }
    return true;
}

// Finds every non-overlapping occurrence of `needle` in `text` with `search`.
template <typename Searcher, typename Found>
void FindAll(std::string_view text, const Searcher& search, size_t length, Found found)
{
    auto at = text.begin();
    while (true) {
        const auto hit = std::search(at, text.end(), search);
        if (hit == text.end())
            return;
        found(static_cast<size_t>(hit - text.begin()));
        at = hit + static_cast<std::ptrdiff_t>(length);
    }
}

} // namespace

std::string CLineFinder::SetQuery(std::string_view text, bool caseSensitive, bool byteValues)
{
    m_needle.clear();
    m_matches.clear();
    m_nSearchFrom = 0;
    m_bCaseSensitive = caseSensitive;
    m_bBytes = byteValues;
    if (!byteValues) {
        m_needle = text;
        if (!caseSensitive)
            std::transform(m_needle.begin(), m_needle.end(), m_needle.begin(), Folded);
        return {};
    }
    std::string bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == ',')
            continue;
        const int digit = HexDigit(c);
        if (digit < 0)
            return "'" + std::string(1, c) + "' is not a hexadecimal digit";
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    if (high >= 0)
        return "byte values need two digits each";
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        if (i > 0) {
            m_needle += ' ';
            m_needle += byte >= 32 && byte <= 127 ? static_cast<char>(byte) : '_';
            m_needle += ' ';
        }
        m_needle += kDigits[byte >> 4];
        m_needle += kDigits[byte & 0x0F];
    }
    return {};
}

void CLineFinder::Update(const CLineBuffer& lines)
{
    const uint64_t first = lines.FirstSerial();
    const uint64_t last = lines.EndSerial() - 1;
    while (!m_matches.empty() && m_matches.front().begin.serial < first)
        m_matches.pop_front();
    uint64_t from = std::clamp(m_nSearchFrom, first, last);
    // A byte-value match may begin a few lines before the last one: as many
    // as its text takes, and one more for each time stamp (shorter than a
    // line) that may sit between two of its bytes.
    if (m_bBytes) {
        const uint64_t stamps = (m_needle.size() - 2) / 5; // between its bytes
        const uint64_t back = m_needle.size() / CDisplayRenderer::kLineWidth + 2 + stamps;
        from = from > first + back ? from - back : first;
    }
    while (!m_matches.empty() && m_matches.back().begin.serial >= from)
        m_matches.pop_back();
    if (!m_needle.empty()) {
        if (m_bBytes)
            SearchBytes(lines, from);
        else
            SearchText(lines, from);
    }
    m_nSearchFrom = last;
}

void CLineFinder::SearchText(const CLineBuffer& lines, uint64_t from)
{
    const size_t length = m_needle.size();
    // Without case, each line is folded as a whole and searched like the
    // folded query: a searcher that folds as it compares is several times slower.
    std::string folded;
    const std::boyer_moore_horspool_searcher searcher(m_needle.begin(), m_needle.end());
    for (uint64_t serial = from; serial < lines.EndSerial(); ++serial) {
        std::string_view text = lines.Line(static_cast<int>(serial - lines.FirstSerial())).Text();
        if (text.size() < length)
            continue;
        if (!m_bCaseSensitive) {
            folded.resize(text.size());
            std::transform(text.begin(), text.end(), folded.begin(), Folded);
            text = folded;
        }
        FindAll(text, searcher, length, [&](size_t column) {
            const auto begin = static_cast<uint32_t>(column);
            m_matches.push_back({{serial, begin}, {serial, begin + static_cast<uint32_t>(length)}});
        });
    }
}

// A Hex display writes each byte as its character column ("%c " for 32 to
// 127, else "_ ") and its value ("%02X "), so byte values are found as the
// text they show, from the first value on. Only a value can begin such a
// text: after a character column comes a space, never a digit. A line break
// may fall anywhere in it, and a time stamp between two chunks anywhere
// between two bytes, so the text is searched without the stamps' characters,
// each line joined to the end of what was read before it.
void CLineFinder::SearchBytes(const CLineBuffer& lines, uint64_t from)
{
    const size_t length = m_needle.size();
    const std::boyer_moore_horspool_searcher searcher(m_needle.begin(), m_needle.end());
    // The characters carried from the lines before (at most length - 1),
    // then the line's own without its stamps; `columns` holds the column of
    // each of those when a stamp was left out. The carried characters follow
    // each other in one line from `carriedAt` on, or else have their places
    // one by one in `carried` (after a stamp or a short line).
    std::string joined;
    CLinePlace carriedAt;
    bool inOneLine = false; // the carried characters follow each other from carriedAt
    std::vector<CLinePlace> carried;
    std::vector<uint32_t> columns;
    std::vector<CLinePlace> carry;
    // Matches do not overlap: none begins inside the last one kept.
    CLinePlace after{from, 0};
    if (!m_matches.empty())
        after = std::max(after, m_matches.back().end);
    for (uint64_t serial = from; serial < lines.EndSerial(); ++serial) {
        const CDisplayLine& line = lines.Line(static_cast<int>(serial - lines.FirstSerial()));
        const size_t before = joined.size();
        const bool stamped = AppendUnstamped(line, joined, columns);
        const auto placeOf = [&](size_t index) {
            if (index < before)
                return inOneLine ? CLinePlace{carriedAt.serial,
                                              carriedAt.column + static_cast<uint32_t>(index)}
                                 : carried[index];
            index -= before;
            return CLinePlace{serial, stamped ? columns[index] : static_cast<uint32_t>(index)};
        };
        for (auto at = joined.cbegin();;) {
            const auto hit = std::search(at, joined.cend(), searcher);
            if (hit == joined.cend())
                break;
            at = hit + 1;
            const auto index = static_cast<size_t>(hit - joined.cbegin());
            // One that ends before this line was found there.
            if (index + length <= before)
                continue;
            const CLinePlace begin = placeOf(index);
            const CLinePlace end{serial, placeOf(index + length - 1).column + 1};
            const CDisplayLine& first =
                lines.Line(static_cast<int>(begin.serial - lines.FirstSerial()));
            // A marker may hold digits; values are text.
            if (begin < after ||
                CDisplayLine::FormatOf(first.FormatAt(begin.column)) != RunFormat::Text)
                continue;
            m_matches.push_back({begin, end});
            after = end;
            at = hit + static_cast<std::ptrdiff_t>(length);
        }
        // What the next line's matches may begin with.
        const size_t firstKept = joined.size() - std::min(joined.size(), length - 1);
        if (!stamped && firstKept >= before) {
            carriedAt = CLinePlace{serial, static_cast<uint32_t>(firstKept - before)};
            inOneLine = true;
        } else {
            carry.clear();
            for (size_t index = firstKept; index < joined.size(); ++index)
                carry.push_back(placeOf(index));
            carried.swap(carry);
            inOneLine = false;
        }
        joined.erase(0, firstKept);
    }
}

std::optional<size_t> CLineFinder::Next(CLinePlace place) const
{
    if (m_matches.empty())
        return std::nullopt;
    const auto it = std::upper_bound(
        m_matches.begin(), m_matches.end(), place,
        [](const CLinePlace& at, const CFindMatch& match) { return at < match.begin; });
    return it == m_matches.end() ? 0 : static_cast<size_t>(it - m_matches.begin());
}

std::optional<size_t> CLineFinder::Previous(CLinePlace place) const
{
    if (m_matches.empty())
        return std::nullopt;
    const auto it = std::lower_bound(
        m_matches.begin(), m_matches.end(), place,
        [](const CFindMatch& match, const CLinePlace& at) { return match.begin < at; });
    return it == m_matches.begin() ? m_matches.size() - 1
                                   : static_cast<size_t>(it - m_matches.begin()) - 1;
}
