#include "PdfTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pdf {

namespace {

// Beyond this a coordinate is no place on a page (points: about 35 km).
constexpr double MaxCoordinate = 1e8;
// Words of one phrase lie closer than this many word heights (a blank is about a quarter of one).
constexpr double PhraseGap = 0.5;
// Words of one line have baselines closer than this many word heights.
constexpr double LineTolerance = 0.45;
// Words that start (or end) within this many points of each other line up.
constexpr double AnchorTolerance = 0.75;

struct Phrase {
    double x0, x1;
    std::string text;
    uint32_t column = 0;
};

struct Line {
    double base = 0;
    double height = 0;
    std::vector<const Word *> words;
    std::vector<Phrase> phrases;
};

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + long(mid), v.end());
    return v[mid];
}

bool usable(const Word &w)
{
    const double c[] = {w.x0, w.y0, w.x1, w.y1};
    for (double v : c)
        if (!std::isfinite(v) || std::fabs(v) > MaxCoordinate) return false;
    return w.x1 >= w.x0 && w.y1 >= w.y0 && !w.text.empty();
}

double heightOf(const Word &w)
{
    return std::max(1.0, w.y1 - w.y0);
}

// The page's words grouped into lines by their baselines (the box's bottom), top to bottom, each
// left to right.
std::vector<Line> linesOf(const Page &page)
{
    std::vector<const Word *> words;
    words.reserve(page.words.size());
    std::vector<double> heights;
    for (const Word &w : page.words)
        if (usable(w)) {
            words.push_back(&w);
            heights.push_back(heightOf(w));
        }
    std::vector<Line> lines;
    if (words.empty()) return lines;
    const double tolerance = LineTolerance * std::max(1.0, median(heights));
    std::stable_sort(words.begin(), words.end(), [](const Word *a, const Word *b) { return a->y1 < b->y1; });
    double first = 0;
    for (const Word *w : words) {
        if (lines.empty() || w->y1 - first > tolerance) {
            lines.emplace_back();
            first = w->y1;
        }
        lines.back().words.push_back(w);
    }
    for (Line &line : lines) {
        std::stable_sort(line.words.begin(), line.words.end(),
                         [](const Word *a, const Word *b) { return a->x0 < b->x0; });
        std::vector<double> bases, hs;
        for (const Word *w : line.words) {
            bases.push_back(w->y1);
            hs.push_back(heightOf(*w));
        }
        line.base = median(bases);
        line.height = median(hs);
    }
    return lines;
}

// Places (rounded to AnchorTolerance) where words of several lines start, or end.
class Anchors {
  public:
    void add(double x, size_t line) { m_marks.push_back({long(std::lround(x / AnchorTolerance)), line}); }
    // Call once after the last add.
    void done()
    {
        std::sort(m_marks.begin(), m_marks.end());
        m_marks.erase(std::unique(m_marks.begin(), m_marks.end()), m_marks.end());
    }
    // Lines with a word at x (a line counted once for each of the three places next to x it has one at).
    size_t support(double x) const
    {
        const long key = long(std::lround(x / AnchorTolerance));
        const auto from =
            std::lower_bound(m_marks.begin(), m_marks.end(), std::pair<long, size_t>{key - 1, 0});
        const auto to = std::lower_bound(m_marks.begin(), m_marks.end(), std::pair<long, size_t>{key + 2, 0});
        return size_t(to - from);
    }

  private:
    std::vector<std::pair<long, size_t>> m_marks; // place, line
};

void append(std::string &text, const Word &prev, const Word &next, double height)
{
    if (next.x0 - prev.x1 > 0.1 * height || prev.spaceAfter) text += ' ';
    text += next.text;
}

// Each line's words joined into phrases: words close together, unless many other lines have words
// that end and start where these do (columns printed tight).
void phrasesOf(std::vector<Line *> &lines)
{
    Anchors starts, ends;
    size_t worded = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i]->words.size() >= 3) ++worded;
        for (const Word *w : lines[i]->words) {
            starts.add(w->x0, i);
            ends.add(w->x1, i);
        }
    }
    // Most of the table's lines, or a column printed tight would not tell from words that meet by chance.
    starts.done();
    ends.done();
    const size_t strong = std::max<size_t>(3, worded * 2 / 5);
    for (Line *line : lines) {
        const double h = std::max(1.0, line->height);
        const Word *prev = nullptr;
        for (const Word *w : line->words) {
            bool join = false;
            if (prev) {
                const double gap = w->x0 - prev->x1;
                const double height = std::max(heightOf(*prev), heightOf(*w));
                // Columns printed tight: many lines end a word where this one ends and start one where
                // the next starts.
                join = gap < PhraseGap * height && !(gap > 0.08 * h && starts.support(w->x0) >= strong &&
                                                     ends.support(prev->x1) >= strong);
            }
            if (join) {
                Phrase &p = line->phrases.back();
                append(p.text, *prev, *w, h);
                p.x1 = std::max(p.x1, w->x1);
            } else {
                line->phrases.push_back({w->x0, w->x1, w->text});
            }
            prev = w;
        }
    }
}

struct Column {
    double left, right; // what the table's lines print in it
    double from, to;    // its share of the page: from the middle of one gutter to the next
};

// The column x falls in (columns in order, the first from the far left).
uint32_t columnAt(double x, const std::vector<Column> &columns, bool open)
{
    const auto after = open ? std::lower_bound(columns.begin(), columns.end(), x,
                                               [](const Column &c, double v) { return c.from < v; })
                            : std::upper_bound(columns.begin(), columns.end(), x,
                                               [](double v, const Column &c) { return v < c.from; });
    return uint32_t(std::max<long>(0, long(after - columns.begin()) - 1));
}

// Runs of x where coverage[bin] <= allowed, inside [1, size - 2], as bin ranges.
std::vector<std::pair<size_t, size_t>> runs(const std::vector<int> &coverage, int allowed)
{
    std::vector<std::pair<size_t, size_t>> out;
    size_t i = 0;
    while (i < coverage.size()) {
        if (coverage[i] > allowed) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < coverage.size() && coverage[j] <= allowed)
            ++j;
        if (i > 0 && j < coverage.size()) out.push_back({i, j});
        i = j;
    }
    return out;
}

// The columns: gutters where the table's lines (those of three phrases or more) print nothing, a
// phrase that spans a gutter most lines leave free (a title, a wide heading) not counted.
std::vector<Column> columnsOf(const std::vector<Line *> &lines)
{
    std::vector<const Line *> table;
    for (size_t least : {3, 2}) {
        for (const Line *l : lines)
            if (l->phrases.size() >= least) table.push_back(l);
        if (table.size() >= 2) break;
        table.clear();
    }
    double lo = MaxCoordinate, hi = -MaxCoordinate;
    for (const Line *l : table) {
        lo = std::min(lo, l->phrases.front().x0);
        hi = std::max(hi, l->phrases.back().x1);
    }
    if (table.empty() || hi <= lo) return {Column{0, 0, -MaxCoordinate, MaxCoordinate}};
    const double bin = std::max(0.25, (hi - lo) / 20000);
    const size_t bins = size_t((hi - lo) / bin) + 3;
    const auto binOf = [&](double x) { return std::min(bins - 1, size_t((x - lo) / bin) + 1); };
    const auto cover = [&](const std::vector<std::pair<const Phrase *, bool>> &phrases) {
        std::vector<int> delta(bins + 1, 0);
        for (const auto &[p, counted] : phrases)
            if (counted) {
                ++delta[binOf(p->x0)];
                --delta[binOf(p->x1) + 1];
            }
        std::vector<int> coverage(bins);
        int c = 0;
        for (size_t i = 0; i < bins; ++i)
            coverage[i] = c += delta[i];
        return coverage;
    };
    std::vector<std::pair<const Phrase *, bool>> phrases;
    for (const Line *l : table)
        for (const Phrase &p : l->phrases)
            phrases.push_back({&p, true});
    const int allowed = int(table.size() / 4);
    std::vector<std::pair<double, double>> free; // the runs in points, left to right
    for (const auto &[a, b] : runs(cover(phrases), allowed))
        free.push_back({lo + (double(a) - 1) * bin, lo + (double(b) - 1) * bin});
    for (auto &[p, counted] : phrases) {
        // It spans a run when the first run starting right of its left edge ends before its right one.
        const auto next =
            std::upper_bound(free.begin(), free.end(), p->x0,
                             [](double x, const std::pair<double, double> &r) { return x < r.first; });
        if (next != free.end() && next->second < p->x1) counted = false;
    }
    const std::vector<int> coverage = cover(phrases);
    std::vector<double> cuts;
    for (const auto &[a, b] : runs(coverage, 0)) {
        const double x0 = lo + (double(a) - 1) * bin, x1 = lo + (double(b) - 1) * bin;
        if (x1 - x0 >= 1.0) cuts.push_back((x0 + x1) / 2);
    }
    std::vector<Column> columns;
    double from = -MaxCoordinate;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        const double to = i < cuts.size() ? cuts[i] : MaxCoordinate;
        columns.push_back({MaxCoordinate, -MaxCoordinate, from, to});
        from = to;
    }
    for (const auto &[p, counted] : phrases) {
        if (!counted) continue;
        Column &c = columns[columnAt((p->x0 + p->x1) / 2, columns, false)];
        c.left = std::min(c.left, p->x0);
        c.right = std::max(c.right, p->x1);
    }
    for (Column &c : columns)
        if (c.left > c.right) c.left = c.right = (std::max(c.from, lo) + std::min(c.to, hi)) / 2;
    return columns;
}

// The column a phrase belongs to: the one it lies in; one spanning several, the one whose left
// edge, right edge or centre it lines up with, else the one it starts in.
uint32_t columnOf(const Phrase &p, const std::vector<Column> &columns, double tolerance)
{
    const uint32_t first = columnAt(p.x0, columns, false),
                   last = std::max(first, columnAt(p.x1, columns, true));
    if (first == last) return first;
    for (uint32_t i = first; i <= last; ++i)
        if (std::fabs(p.x0 - columns[i].left) <= tolerance) return i;
    for (uint32_t i = first; i <= last; ++i)
        if (std::fabs(p.x1 - columns[i].right) <= tolerance) return i;
    const double mid = (p.x0 + p.x1) / 2;
    for (uint32_t i = first; i <= last; ++i)
        if (std::fabs(mid - (columns[i].left + columns[i].right) / 2) <= tolerance) return i;
    return first;
}

// Neighbouring columns that no line fills both of, one of them filled in at most half as many lines
// as the other (a heading set left over numbers set right), are one column.
void mergeComplementary(std::vector<Column> &columns, const std::vector<Line *> &lines)
{
    for (bool merged = true; merged && columns.size() > 1;) {
        merged = false;
        // For each pair k, k + 1: lines in k, in k + 1, in both.
        std::vector<size_t> in(columns.size(), 0), both(columns.size(), 0);
        std::vector<uint32_t> used;
        for (const Line *l : lines) {
            if (l->phrases.size() < 2) continue;
            used.clear();
            const double tolerance = std::max(1.0, 0.5 * l->height);
            for (const Phrase &p : l->phrases)
                used.push_back(columnOf(p, columns, tolerance));
            std::sort(used.begin(), used.end());
            used.erase(std::unique(used.begin(), used.end()), used.end());
            for (size_t i = 0; i < used.size(); ++i) {
                ++in[used[i]];
                if (i + 1 < used.size() && used[i + 1] == used[i] + 1) ++both[used[i]];
            }
        }
        std::vector<Column> out;
        out.reserve(columns.size());
        for (size_t k = 0; k < columns.size(); ++k) {
            const size_t fewer = k + 1 < columns.size() ? std::min(in[k], in[k + 1]) : 0,
                         more = k + 1 < columns.size() ? std::max(in[k], in[k + 1]) : 0;
            if (k + 1 < columns.size() && both[k] == 0 && fewer > 0 && fewer * 2 <= more) {
                Column c = columns[k];
                c.left = std::min(c.left, columns[k + 1].left);
                c.right = std::max(c.right, columns[k + 1].right);
                c.to = columns[k + 1].to;
                out.push_back(c);
                ++k; // the pair is one now; its neighbours are looked at again on the next pass
                merged = true;
            } else {
                out.push_back(columns[k]);
            }
        }
        columns = std::move(out);
    }
}

} // namespace

Table buildTable(const std::vector<Page> &pages)
{
    std::vector<std::vector<Line>> pageLines;
    pageLines.reserve(pages.size());
    std::vector<Line *> all;
    for (const Page &page : pages) {
        pageLines.push_back(linesOf(page));
        for (Line &l : pageLines.back())
            all.push_back(&l);
    }
    phrasesOf(all);
    std::vector<Column> columns = columnsOf(all);
    mergeComplementary(columns, all);

    // The row pitch: the usual distance between the baselines of neighbouring lines of the table.
    std::vector<double> pitches, anyPitches;
    for (const auto &lines : pageLines)
        for (size_t i = 1; i < lines.size(); ++i) {
            const double d = lines[i].base - lines[i - 1].base;
            if (d <= 0) continue;
            anyPitches.push_back(d);
            if (lines[i].phrases.size() >= 2 && lines[i - 1].phrases.size() >= 2) pitches.push_back(d);
        }
    const double pitch = median(pitches.size() >= 2 ? pitches : anyPitches);

    Table table;
    table.columns = uint32_t(columns.size());
    table.pageStart.push_back(0);
    for (const auto &lines : pageLines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line &line = lines[i];
            if (i > 0 && pitch > 0 && line.base - lines[i - 1].base > BlankRowPitches * pitch)
                table.rows.emplace_back(table.columns);
            std::vector<std::string> row(table.columns);
            const double tolerance = std::max(1.0, 0.5 * line.height);
            for (const Phrase &p : line.phrases) {
                std::string &cell = row[columnOf(p, columns, tolerance)];
                if (!cell.empty()) cell += ' ';
                cell += p.text;
            }
            table.rows.push_back(std::move(row));
        }
        table.pageStart.push_back(table.rows.size());
    }
    return table;
}

namespace {

// -?digits with separators, split: the integer part's digits, groups well formed, the decimals.
struct NumberShape {
    bool ok = false;
    int separators = 0;   // of each kind seen: '.' and ','
    char last = 0;        // the last separator
    size_t afterLast = 0; // digits after it
};

NumberShape shapeOf(std::string_view text)
{
    NumberShape s;
    size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i >= text.size()) return s;
    size_t digits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++digits;
            ++s.afterLast;
        } else if ((c == '.' || c == ',') && digits > 0 && i + 1 < text.size()) {
            ++s.separators;
            s.last = c;
            s.afterLast = 0;
        } else {
            return s;
        }
    }
    s.ok = digits > 0 && s.afterLast > 0;
    return s;
}

} // namespace

char decimalSeparator(const Table &table, char fallback)
{
    long point = 0, comma = 0;
    for (const auto &row : table.rows)
        for (const std::string &text : row) {
            if (text.empty() || text.size() > 40) continue;
            const NumberShape s = shapeOf(text);
            if (!s.ok || s.separators == 0) continue;
            const bool both = text.find('.') != std::string::npos && text.find(',') != std::string::npos;
            if (both || (s.separators == 1 && s.afterLast != 3)) (s.last == '.' ? point : comma) += 1;
        }
    if (point == comma) return fallback;
    return point > comma ? '.' : ',';
}

bool numberOf(std::string_view text, char decimal, double &value)
{
    const char group = decimal == '.' ? ',' : '.';
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    std::string normal;
    normal.reserve(text.size() + 1);
    if (negative) normal += '-';
    int groupDigits = -1; // digits since the last group separator; -1 before the first
    size_t intDigits = 0, significant = 0;
    bool leading = true;
    for (; i < text.size() && text[i] != decimal; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (intDigits == 1 && normal.back() == '0' && leading) return false; // a code: 0117
            ++intDigits;
            if (groupDigits >= 0) ++groupDigits;
            if (c != '0') leading = false;
            if (!leading) ++significant;
            normal += c;
        } else if (c == group && intDigits > 0) {
            if ((groupDigits >= 0 && groupDigits != 3) || (groupDigits < 0 && intDigits > 3)) return false;
            if (groupDigits < 0 && normal[negative ? 1 : 0] == '0') return false;
            groupDigits = 0;
        } else {
            return false;
        }
    }
    if (intDigits == 0 || (groupDigits >= 0 && groupDigits != 3)) return false;
    if (i < text.size()) {
        ++i;
        if (i == text.size()) return false;
        normal += '.';
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c < '0' || c > '9') return false;
            if (c != '0') leading = false;
            if (!leading) ++significant;
            normal += c;
        }
    }
    if (significant > 15) return false;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (error != std::errc() || !std::isfinite(value) || end != normal.data() + normal.size()) return false;
    if (value == 0) value = 0; // no negative zero
    return true;
}

} // namespace pdf
