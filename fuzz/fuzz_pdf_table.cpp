// libFuzzer target: the fuzzed bytes as the words of up to three pages, eight bytes a word (page,
// x, y, width, height, text), for the table builder; checks the table's shape and the numbers read
// from its cells.
#include "workbook/pdf/PdfTable.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Texts an invoice prints: amounts of both forms, codes, words, a separator alone.
const char *const Texts[] = {"1.234,50", "1,234.50", "12", "4.25", "0117", "8205.20.00", "Total", "de",
                             "CHINA",    "-5",       ",",  ".",    "A-1",  "Código",     "100",   "12,5"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    std::vector<pdf::Page> pages(1 + data[0] % 3);
    for (size_t i = 1; i + 8 <= size; i += 8) {
        const uint8_t *r = data + i;
        pdf::Page &page = pages[r[0] % pages.size()];
        pdf::Word w;
        w.x0 = double(r[1] | (r[2] & 0x0F) << 8) / 4;
        w.y1 = double(r[3] | (r[4] & 0x0F) << 8) / 4;
        w.x1 = w.x0 + double(r[5]) / 2;
        w.y0 = w.y1 - 1 - double(r[6] & 0x7F) / 16;
        w.spaceAfter = r[6] & 0x80;
        w.text = r[7] & 0x80 ? std::string(1, char(0x21 + (r[7] & 0x3F))) : Texts[r[7] % 16];
        // Now and then a box no page has.
        if ((r[2] & 0xF0) == 0xF0) w.x1 = (r[4] & 0x10) ? NAN : -1e12;
        page.words.push_back(std::move(w));
    }
    const pdf::Table table = pdf::buildTable(pages);
    if (table.pageStart.size() != pages.size() + 1 || table.pageStart.front() != 0 ||
        table.pageStart.back() != table.rows.size())
        std::abort();
    for (size_t p = 1; p < table.pageStart.size(); ++p)
        if (table.pageStart[p] < table.pageStart[p - 1]) std::abort();
    const char decimal = pdf::decimalSeparator(table, '.');
    for (const auto &row : table.rows) {
        if (row.size() != table.columns) std::abort();
        for (const std::string &cell : row) {
            double value = 0;
            if (pdf::numberOf(cell, decimal, value) && !std::isfinite(value)) std::abort();
        }
    }
    return 0;
}
