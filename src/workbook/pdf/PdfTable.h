#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// From the words a PDF prints, with their boxes, to the table they form: lines from the words'
// baselines, columns from how the words of many lines line up, one cut for every page.
namespace pdf {

// A word's box in points, y growing down the page.
struct Word {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::string text; // UTF-8
    bool spaceAfter = false;
};

struct Page {
    double width = 0, height = 0;
    std::vector<Word> words;
};

struct Table {
    uint32_t columns = 0;
    // Each row has `columns` texts; an empty text is no cell; a row of them is a blank row.
    std::vector<std::vector<std::string>> rows;
    // The rows of page p are rows[pageStart[p]] .. rows[pageStart[p + 1] - 1].
    std::vector<size_t> pageStart;
};

// Lines whose baselines lie apart by more than this many row pitches have a blank row between them.
constexpr double BlankRowPitches = 1.7;

Table buildTable(const std::vector<Page> &pages);

// The decimal separator the table's numbers are printed with: a text with both separators ends with
// the decimal one, a separator followed by other than three digits is decimal; fallback when the
// texts do not tell.
char decimalSeparator(const Table &table, char fallback);

// Whether a printed text is a number with this decimal separator (the other one grouping the integer
// part in threes), with its value: an optional '-', digits, the separator and digits. Codes stay text:
// a leading zero before a digit (0117), more than 15 significant digits.
bool numberOf(std::string_view text, char decimal, double &value);

} // namespace pdf
