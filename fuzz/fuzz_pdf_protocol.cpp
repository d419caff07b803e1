// libFuzzer target: the fuzzed bytes as planexo-pdftext's output, read by the PDF reader's strict
// parser; what it accepts goes on to the table builder and the number reading.
#include "workbook/pdf/PdfProtocol.h"

#include <QByteArray>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    pdf::HelperOutput out;
    try {
        out = pdf::parseHelperOutput(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const pdf::ProtocolError &) {
        return 0;
    }
    if (out.kind == pdf::HelperOutput::Kind::Pages && int(out.pages.size()) != out.declaredPages)
        std::abort();
    const pdf::Table table = pdf::buildTable(out.pages);
    if (table.pageStart.size() != out.pages.size() + 1 || table.pageStart.back() != table.rows.size())
        std::abort();
    const char decimal = pdf::decimalSeparator(table, ',');
    for (const auto &row : table.rows)
        for (const std::string &cell : row) {
            double value = 0;
            if (pdf::numberOf(cell, decimal, value) && !std::isfinite(value)) std::abort();
        }
    return 0;
}
