#include "workbook/common/WorkbookSheet.h"

#include "data/VbFormat.h"
#include "workbook/common/Surrogates.h"
#include "workbook/common/WorkbookError.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

namespace {

// Excel's error and the number of a type mismatch, as VB raised it converting an error value.
constexpr long TypeMismatch = 13;
using workbook::WorkbookError;

// The locale's short date form with a two-digit year widened to four digits.
QString shortDateFormat()
{
    const QString f = QLocale().dateFormat(QLocale::ShortFormat);
    QString out;
    out.reserve(f.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < f.size();) {
        const QChar ch = f[i];
        if (ch == '\'') {
            quoted = !quoted;
            out += ch;
            ++i;
            continue;
        }
        if (!quoted && ch == 'y') {
            qsizetype n = 0;
            while (i + n < f.size() && f[i + n] == 'y')
                ++n;
            out += QString(n == 2 ? 4 : n, 'y');
            i += n;
            continue;
        }
        out += ch;
        ++i;
    }
    return out;
}

// The locale's long time form without its time-zone part (the value of a cell has no zone).
QString longTimeFormat()
{
    const QString f = QLocale().timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar ch : f) {
        if (ch == '\'') quoted = !quoted;
        if (!quoted && ch == 't') continue;
        out += ch;
    }
    out.remove(QStringLiteral("()"));
    return out.trimmed();
}

#if defined(__SIZEOF_INT128__)
using u128 = unsigned __int128;

// The eight decimal digits of v (below 10^8) as the values 0 to 9 in the bytes of a word, the
// first in the lowest byte: split in halves, quarters and eighths by multiplications that work
// on every lane at once (each lane's product stays within the lane).
Q_ALWAYS_INLINE uint64_t eightDigits(uint32_t v)
{
    uint64_t x = v / 10000 | uint64_t(v % 10000) << 32;
    uint64_t q = (x * 5243 >> 19) & 0x0000007F0000007Full; // each 32-bit lane over 100
    x = q | (x - q * 100) << 16;
    q = (x * 103 >> 10) & 0x000F000F000F000Full; // each 16-bit lane over 10
    return q | (x - q * 10) << 8;
}

// The sixteen digits of q (below 10^16), leading zeros included, byte i the i-th digit.
Q_ALWAYS_INLINE u128 sixteenDigits(uint64_t q)
{
    return eightDigits(uint32_t(q / 100000000)) | u128(eightDigits(uint32_t(q % 100000000))) << 64;
}

// The digits' bytes as text, and the first and last byte that is not 0 (some byte is not).
constexpr u128 Zeros = u128(0x3030303030303030ull) << 64 | 0x3030303030303030ull;
int firstNonZero(u128 v)
{
    const auto low = uint64_t(v);
    return low ? std::countr_zero(low) / 8 : 8 + std::countr_zero(uint64_t(v >> 64)) / 8;
}
int lastNonZero(u128 v)
{
    const auto high = uint64_t(v >> 64);
    return high ? 15 - std::countl_zero(high) / 8 : 7 - std::countl_zero(uint64_t(v)) / 8;
}

// 16 bytes written from a register: no digit is stored and read back.
void store16(char *out, u128 v)
{
    std::memcpy(out, &v, sizeof v);
}

// A positive value from 2^-14 to below 2^49 rounded to 15 significant digits, worked out exactly
// on its binary mantissa (a 117-bit product): the digits as an integer from 10^14 to below 10^15
// and the decimal exponent of the first. When the shortest digits that read back as the value are
// 15 or fewer they are these (half a unit in the last place of a double is under half a unit of
// the 15th digit), and when they are more these are what is shown: one answer for both. False
// outside that range and for a value exactly half way, whose tie is left to the general path.
bool roundTo15(double magnitude, uint64_t &digits, int &exponent)
{
    static constexpr uint64_t Pow10[20] = {1ull,
                                           10ull,
                                           100ull,
                                           1000ull,
                                           10000ull,
                                           100000ull,
                                           1000000ull,
                                           10000000ull,
                                           100000000ull,
                                           1000000000ull,
                                           10000000000ull,
                                           100000000000ull,
                                           1000000000000ull,
                                           10000000000000ull,
                                           100000000000000ull,
                                           1000000000000000ull,
                                           10000000000000000ull,
                                           100000000000000000ull,
                                           1000000000000000000ull,
                                           10000000000000000000ull};
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int binary = int(bits >> 52 & 0x7FF) - 1023; // magnitude in [2^binary, 2^(binary + 1))
    if (binary < -14 || binary > 48) return false;
    const uint64_t mantissa = (bits & ((uint64_t(1) << 52) - 1)) | uint64_t(1) << 52;
    const int shift = 52 - binary; // magnitude = mantissa / 2^shift, shift from 4 to 66
    // About binary * log10(2): the decimal exponent or one off.
    int x = (binary * 78913) >> 18;
    for (;;) {
        const u128 scaled = u128(mantissa) * Pow10[14 - x]; // 10^(14 - x) <= 10^19 < 2^64
        uint64_t q = uint64_t(scaled >> shift);
        if (q >= Pow10[15] || q < Pow10[14]) {
            x += q >= Pow10[15] ? 1 : -1; // the estimate was one off
            continue;
        }
        const u128 rest = scaled & ((u128(1) << shift) - 1);
        const u128 half = u128(1) << (shift - 1);
        if (rest == half) return false;
        if (rest > half && ++q == Pow10[15]) {
            q = Pow10[14];
            ++x;
        }
        digits = q;
        exponent = x;
        return true;
    }
}
#endif

} // namespace

SheetTextRun::SheetTextRun()
{
    const QString point = QLocale().decimalPoint();
    decimal = point.isEmpty() ? std::string(".") : point.toStdString();
}

uint32_t WorkbookSheet::addString(QStringView text)
{
    // Kept as UTF-8, half the memory of most texts; lone surrogates, which UTF-8 cannot hold, are
    // replaced first.
    QString copy = text.toString();
    workbook::replaceLoneSurrogates(copy);
    const QByteArray bytes = copy.toUtf8();
    if (m_pool.size() + bytes.size() > qsizetype(UINT32_MAX) || m_spans.size() >= UINT32_MAX ||
        (uint32_t(bytes.size()) & Utf8Span))
        throw PlanexoError(WorkbookError, QStringLiteral("El libro tiene más texto del que se puede leer"));
    m_spans.push_back({uint32_t(m_pool.size()), uint32_t(bytes.size())});
    m_pool.append(bytes);
    return uint32_t(m_spans.size() - 1);
}

uint32_t WorkbookSheet::addUtf8Text(std::string_view text)
{
    if (m_pool.size() + qsizetype(text.size()) > qsizetype(UINT32_MAX) || m_spans.size() >= UINT32_MAX ||
        (uint32_t(text.size()) & Utf8Span))
        throw PlanexoError(WorkbookError, QStringLiteral("El libro tiene más texto del que se puede leer"));
    m_spans.push_back({uint32_t(m_pool.size()), uint32_t(text.size())});
    m_pool.append(text.data(), qsizetype(text.size()));
    return uint32_t(m_spans.size() - 1);
}

QString WorkbookSheet::string(uint32_t index) const
{
    if (index >= m_spans.size()) return {};
    const Span s = m_spans[index];
    if (s.length & Utf8Span) {
        const uint32_t length = s.length & ~Utf8Span;
        if (qsizetype(s.offset) + length > m_utf8.size()) return {};
        return QString::fromUtf8(m_utf8.constData() + s.offset, length);
    }
    return QString::fromUtf8(m_pool.constData() + s.offset, s.length);
}

uint32_t WorkbookSheet::addUtf8String(uint32_t offset, uint32_t length)
{
    if ((length & Utf8Span) || m_spans.size() >= UINT32_MAX)
        throw PlanexoError(WorkbookError, QStringLiteral("El libro tiene más texto del que se puede leer"));
    m_spans.push_back({offset, length | Utf8Span});
    return uint32_t(m_spans.size() - 1);
}

void WorkbookSheet::holdUtf8(QByteArray buffer)
{
    // The strings move down within the buffer, which then shrinks in place: a large block freed
    // here would make the allocator keep later large blocks on its heap, where they cost more.
    char *data = buffer.data();
    qsizetype at = 0;
    for (Span &s : m_spans) {
        if (!(s.length & Utf8Span)) continue;
        const uint32_t length = s.length & ~Utf8Span;
        if (qsizetype(s.offset) < at || qsizetype(s.offset) + length > buffer.size()) {
            s = {0, Utf8Span}; // not a span of this buffer in order: an empty text
            continue;
        }
        std::memmove(data + at, data + s.offset, length);
        s.offset = uint32_t(at);
        at += length;
    }
    buffer.truncate(at);
    buffer.squeeze();
    m_utf8 = std::move(buffer);
}

void WorkbookSheet::reserveCells(size_t cells)
{
    if (m_sink)
        m_sink->reserve(std::min(cells, m_maxCells));
    else
        m_cells.reserve(std::min(cells, m_maxCells));
}

void WorkbookSheet::streamTo(SheetCellSink *sink)
{
    m_sink = sink;
    if (sink && !m_run) m_run = std::make_unique<SheetTextRun>();
}

WorkbookSheet::Cell &WorkbookSheet::pushChecked(uint32_t row, uint32_t col, Kind kind)
{
    if (row < 1 || row > MaxRows || col < 1 || col > MaxCols)
        throw PlanexoError(WorkbookError,
                           QStringLiteral("La hoja usa la fila %1, columna %2, fuera del máximo de Excel "
                                          "(1048576 filas por 16384 columnas)")
                               .arg(row)
                               .arg(col));
    if ((m_sink ? m_streamedCount : m_cells.size()) >= m_maxCells)
        throw PlanexoError(
            WorkbookError,
            QStringLiteral("La hoja tiene más de %1 celdas con valor, el máximo que se lee").arg(m_maxCells));
    if (m_sink) {
        // A sink takes the cells in order, each once, and an error value fails where it is read.
        if (kind == Kind::Error) throw SheetStreamFallback{};
        if (m_streamedCount == 0)
            m_keepStrings = uint32_t(m_spans.size());
        else if (row < m_streamed.row || (row == m_streamed.row && col <= m_streamed.col))
            throw SheetStreamFallback{};
        return streamed(row, col, kind, 1);
    }
    if (!m_cells.empty()) {
        const Cell &last = m_cells.back();
        if (row < last.row || (row == last.row && col <= last.col)) m_sorted = false;
    }
    Cell &c = m_cells.emplace_back();
    c.row = row;
    c.col = uint16_t(col);
    c.kind = kind;
    c.number = 0;
    return c;
}

void WorkbookSheet::addText(uint32_t row, uint32_t col, uint32_t stringIndex)
{
    push(row, col, Kind::Text).str = stringIndex;
    if (m_sink) streamCell();
}

void WorkbookSheet::addSharedText(uint32_t row, uint32_t col, uint32_t stringIndex)
{
    push(row, col, Kind::Text).str = stringIndex;
    if (!m_sink) return;
    if (stringIndex >= m_keepStrings) {
        streamCell();
        return;
    }
    m_sink->cell(row, col, stringUtf8(stringIndex));
}

void WorkbookSheet::addNumber(uint32_t row, uint32_t col, double value, bool isDate)
{
    push(row, col, isDate ? Kind::Date : Kind::Number).number = value;
    if (m_sink) streamCell();
}

void WorkbookSheet::addBool(uint32_t row, uint32_t col, bool value)
{
    push(row, col, Kind::Bool).number = value ? 1 : 0;
    if (m_sink) streamCell();
}

bool WorkbookSheet::addNumberText(uint32_t row, uint32_t col, std::string_view text, std::string_view shown)
{
    if (!m_sink) return false;
    char rounded[NumberChars];
    if (!isNumberUtf8(text)) {
        const size_t n = numberTextUtf8(text, rounded);
        if (n == 0) return false;
        text = std::string_view(rounded, n);
        shown = {};
    }
    push(row, col, Kind::Number);
    if (!shown.empty()) {
        m_sink->cell(row, col, shown);
        return true;
    }
    const char *dot = m_run->decimal == "."
                          ? nullptr
                          : static_cast<const char *>(std::memchr(text.data(), '.', text.size()));
    if (!dot) {
        m_sink->cell(row, col, text);
        return true;
    }
    const size_t point = size_t(dot - text.data());
    char out[NumberChars + 8];
    std::memcpy(out, text.data(), point);
    std::memcpy(out + point, m_run->decimal.data(), m_run->decimal.size());
    std::memcpy(out + point + m_run->decimal.size(), text.data() + point + 1, text.size() - point - 1);
    m_sink->cell(row, col, std::string_view(out, text.size() - 1 + m_run->decimal.size()));
    return true;
}

void WorkbookSheet::addStreamedRow(uint32_t row, const std::string_view *texts, uint32_t count)
{
    uint32_t cells = 0, last = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (!texts[i].empty()) {
            ++cells;
            last = i + 1;
        }
    if (cells == 0) return;
    // Only a row that passes every check of push at once goes whole; any other cell by cell, which
    // fails where push fails.
    if (!m_sink || m_streamedCount == 0 || row - 1 >= MaxRows || last > MaxCols ||
        m_streamedCount + cells > m_maxCells || row <= m_streamed.row) {
        for (uint32_t i = 0; i < count; ++i)
            if (!texts[i].empty()) addStreamedText(row, std::min<uint32_t>(i + 1, MaxCols + 1), texts[i]);
        return;
    }
    streamed(row, last, Kind::Text, cells);
    m_sink->row(row, texts, count);
}

size_t WorkbookSheet::numberTextUtf8(std::string_view text, char *out)
{
    if (text.size() >= NumberChars) return 0;
    if (isNumberUtf8(text)) {
        std::memcpy(out, text.data(), text.size());
        return text.size();
    }
    // -?digits.digits with 16 or 17 significant digits, from 1E-04 to below 1E+15.
    const bool negative = !text.empty() && text[0] == '-';
    size_t i = negative ? 1 : 0;
    char digits[24];
    int count = 0, point = 0, leadingZeros = 0; // point: digits before the decimal point
    const size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    const size_t intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && text[intStart] == '0') || intDigits > 15) return 0;
    if (i == text.size() || text[i] != '.' || i + 1 == text.size()) return 0;
    const size_t fracStart = i + 1;
    for (size_t k = intStart; k < i; ++k)
        if (count > 0 || text[k] != '0') digits[count++] = text[k];
    point = count;
    for (i = fracStart; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9' || count >= 18) return 0;
        if (count == 0 && c == '0') {
            ++leadingZeros;
            continue;
        }
        digits[count++] = c;
    }
    if (count < 16 || count > 17 || leadingZeros > 3) return 0;
    // The text is within half a unit in the last place of the value it reads as, under 0.11 of a
    // unit of the 15th digit: the rounding of the text is the value's when the dropped digits are
    // clearly below or above one half.
    const char dropped = digits[15];
    if (dropped >= '3' && dropped <= '6') return 0;
    count = 15;
    if (dropped >= '7') {
        int k = 14;
        while (k >= 0 && digits[k] == '9')
            digits[k--] = '0';
        if (k < 0) return 0; // a carry into a new digit
        ++digits[k];
    }
    size_t n = 0;
    if (negative) out[n++] = '-';
    if (point == 0) {
        out[n++] = '0';
        out[n++] = '.';
        for (int k = 0; k < leadingZeros; ++k)
            out[n++] = '0';
    } else {
        std::memcpy(out + n, digits, size_t(point));
        n += size_t(point);
        out[n++] = '.';
    }
    while (count > point && digits[count - 1] == '0')
        --count;
    if (count == point) return n - 1; // no decimals left: no point
    std::memcpy(out + n, digits + point, size_t(count - point));
    return n + size_t(count - point);
}

void WorkbookSheet::streamCell()
{
    const Cell &c = m_streamed;
    m_sink->cell(c.row, c.col, cellUtf8(c, *m_run));
    // A cell's own text (an inline string) is not needed once handed over: its room is used again.
    if (c.kind == Kind::Text && c.str >= m_keepStrings && c.str + 1 == m_spans.size() &&
        !(m_spans.back().length & Utf8Span)) {
        m_pool.truncate(m_spans.back().offset);
        m_spans.pop_back();
    }
}

void WorkbookSheet::addError(uint32_t row, uint32_t col, uint32_t stringIndex)
{
    push(row, col, Kind::Error).str = stringIndex;
}

void WorkbookSheet::addMergedRange(uint32_t firstRow, uint32_t firstCol, uint32_t lastRow, uint32_t lastCol)
{
    if (m_merged.size() >= MaxMergedRanges) return;
    if (firstRow > lastRow) std::swap(firstRow, lastRow);
    if (firstCol > lastCol) std::swap(firstCol, lastCol);
    firstRow = std::max<uint32_t>(firstRow, 1);
    firstCol = std::max<uint32_t>(firstCol, 1);
    lastRow = std::min(lastRow, MaxRows);
    lastCol = std::min(lastCol, MaxCols);
    if (firstRow > lastRow || firstCol > lastCol || (firstRow == lastRow && firstCol == lastCol)) return;
    m_merged.append({firstRow, firstCol, lastRow, lastCol});
}

void WorkbookSheet::finish()
{
    if (!m_merged.isEmpty()) {
        const auto key = [](const MergedRange &m) {
            return std::tie(m.firstRow, m.firstCol, m.lastRow, m.lastCol);
        };
        std::sort(m_merged.begin(), m_merged.end(),
                  [&](const MergedRange &a, const MergedRange &b) { return key(a) < key(b); });
        m_merged.erase(std::unique(m_merged.begin(), m_merged.end()), m_merged.end());
    }
    if (!m_sorted) {
        // Stable, so that of two values for one cell the later one ends last and is kept.
        std::stable_sort(m_cells.begin(), m_cells.end(), [](const Cell &a, const Cell &b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        std::vector<Cell> unique;
        unique.reserve(m_cells.size());
        for (const Cell &c : m_cells) {
            if (!unique.empty() && unique.back().row == c.row && unique.back().col == c.col)
                unique.back() = c;
            else
                unique.push_back(c);
        }
        m_cells.swap(unique);
        m_sorted = true;
    }
    // Spare room is kept: never written, it costs no memory, and a copy would.
    const uint32_t lastRow = m_cells.empty() ? 0 : m_cells.back().row;
    m_rowStart.assign(size_t(lastRow) + 2, 0);
    for (const Cell &c : m_cells)
        ++m_rowStart[c.row + 1];
    for (size_t r = 1; r < m_rowStart.size(); ++r)
        m_rowStart[r] += m_rowStart[r - 1];
}

const WorkbookSheet::Cell *WorkbookSheet::find(uint32_t row, uint32_t col) const
{
    if (size_t(row) + 1 >= m_rowStart.size()) return nullptr;
    const uint32_t begin = m_rowStart[row];
    const uint32_t end = m_rowStart[row + 1];
    if (begin == end) return nullptr;
    // Rows without gaps, the usual case, are indexed directly.
    const uint32_t first = m_cells[begin].col;
    if (col >= first && col - first < end - begin && m_cells[begin + col - first].col == col)
        return &m_cells[begin + col - first];
    const auto it = std::lower_bound(m_cells.begin() + begin, m_cells.begin() + end, col,
                                     [](const Cell &c, uint32_t value) { return c.col < value; });
    if (it != m_cells.begin() + end && it->col == col) return &*it;
    return nullptr;
}

QString WorkbookSheet::text(uint32_t row, uint32_t col) const
{
    if (!m_written.isEmpty()) {
        const auto it = m_written.constFind((uint64_t(row) << 32) | col);
        if (it != m_written.constEnd()) return *it;
    }
    const Cell *c = find(row, col);
    if (!c) return {};
    switch (c->kind) {
    case Kind::Text:
        return string(c->str);
    case Kind::Number: {
        // The separator is looked up when the locale changes, not for every cell.
        const QLocale locale;
        if (m_decimal.isNull() || m_numberLocale != locale) {
            const QString point = locale.decimalPoint();
            m_decimal = point.isEmpty() ? QChar('.') : point.at(0);
            m_numberLocale = locale;
        }
        return numberText(c->number, m_decimal);
    }
    case Kind::Date: {
        // An invoice repeats a few dates many times; whole days are converted once.
        if (c->number != std::floor(c->number) || std::abs(c->number) > 1e7)
            return dateText(c->number, m_date1904);
        const QLocale locale;
        if (m_dayTextsLocale != locale || m_dayTexts.size() > 4096) {
            m_dayTexts.clear();
            m_dayTextsLocale = locale;
        }
        const auto day = int64_t(c->number);
        auto it = m_dayTexts.constFind(day);
        if (it == m_dayTexts.constEnd()) it = m_dayTexts.insert(day, dateText(c->number, m_date1904));
        return *it;
    }
    case Kind::Bool:
        return boolText(c->number != 0);
    case Kind::Error:
        throw PlanexoError(TypeMismatch,
                           QStringLiteral("No coinciden los tipos: la celda %1 contiene el error %2")
                               .arg(cellName(row, col), string(c->str)));
    }
    return {};
}

std::string_view WorkbookSheet::textUtf8(uint32_t row, uint32_t col, SheetTextRun &run) const
{
    const auto copy = [&run](const QString &text) {
        run.scratch = text.toStdString();
        return std::string_view(run.scratch);
    };
    if (!m_written.isEmpty()) {
        const auto it = m_written.constFind((uint64_t(row) << 32) | col);
        if (it != m_written.constEnd()) return copy(*it);
    }
    const Cell *c = find(row, col);
    if (!c) return {};
    if (c->kind == Kind::Error) return copy(text(row, col));
    return cellUtf8(*c, run);
}

std::string_view WorkbookSheet::stringUtf8(uint32_t i) const
{
    if (i >= m_spans.size()) return {};
    const Span s = m_spans[i];
    if (!(s.length & Utf8Span)) return std::string_view(m_pool.constData() + s.offset, s.length);
    const uint32_t length = s.length & ~Utf8Span;
    if (qsizetype(s.offset) + length > m_utf8.size()) return {};
    // As the part holds them: bytes that are no UTF-8 read as U+FFFD once decoded, as in text().
    return std::string_view(m_utf8.constData() + s.offset, length);
}

std::string_view WorkbookSheet::cellUtf8(const Cell &cell, SheetTextRun &run) const
{
    const auto copy = [&run](const QString &text) {
        run.scratch = text.toStdString();
        return std::string_view(run.scratch);
    };
    const Cell *c = &cell;
    switch (c->kind) {
    case Kind::Text:
        return stringUtf8(c->str);
    case Kind::Number: {
        // A separator of one byte (a point or a comma) is written in place, into the run's own room.
        if (run.decimal.size() == 1)
            return std::string_view(run.number, numberUtf8(c->number, run.number, run.decimal[0]));
        char digits[NumberChars];
        const size_t n = numberUtf8(c->number, digits);
        const char *point = static_cast<const char *>(std::memchr(digits, '.', n));
        if (!point) return run.scratch.assign(digits, n);
        run.scratch.assign(digits, size_t(point - digits));
        run.scratch += run.decimal;
        return run.scratch.append(point + 1, size_t(digits + n - point - 1));
    }
    case Kind::Date: {
        if (c->number != std::floor(c->number) || std::abs(c->number) > 1e7)
            return copy(dateText(c->number, m_date1904));
        const auto day = int64_t(c->number);
        auto it = run.days.constFind(day);
        if (it == run.days.constEnd())
            it = run.days.insert(day, dateText(c->number, m_date1904).toStdString());
        return *it;
    }
    case Kind::Bool:
        return copy(boolText(c->number != 0));
    case Kind::Error:
        return copy(text(c->row, c->col));
    }
    return {};
}

void WorkbookSheet::setText(uint32_t row, uint32_t col, const QString &text)
{
    m_written.insert((uint64_t(row) << 32) | col, text);
}

QString WorkbookSheet::numberText(double value)
{
    return vb::str(value);
}

QString WorkbookSheet::numberText(double value, QChar decimal)
{
    if (!std::isfinite(value)) return vb::str(value);
    QString text = vb::sqlNumberLiteral(value); // C form: a point, no grouping, 15 digits
    if (decimal != QChar('.')) text.replace(QChar('.'), decimal);
    return text;
}

static_assert(sizeof(SheetTextRun::number) >= WorkbookSheet::NumberChars);

size_t WorkbookSheet::numberUtf8(double value, char *out)
{
    return numberUtf8(value, out, '.');
}

size_t WorkbookSheet::numberUtf8(double value, char *out, char decimal)
{
    // The rare forms are written with a point, which is then replaced.
    const auto withDecimal = [out, decimal](size_t n) {
        if (decimal != '.')
            if (char *point = static_cast<char *>(std::memchr(out, '.', n))) *point = decimal;
        return n;
    };
    if (value == 0) {
        out[0] = '0';
        return 1;
    }
    if (!std::isfinite(value)) {
        const QByteArray text = QString::number(value, 'g', 15).toLatin1();
        const size_t n = std::min(size_t(text.size()), NumberChars);
        std::memcpy(out, text.constData(), n);
        return n;
    }
    size_t n = 0;
#if defined(__SIZEOF_INT128__)
    // The usual numbers are worked out in integers and written as whole words: 16 bytes at a time,
    // within the room out has (NumberChars) past the text.
    if constexpr (std::endian::native == std::endian::little) {
        // Whole numbers, most of an invoice's quantities and codes.
        if (std::fabs(value) < 1e15 && double(int64_t(value)) == value) {
            const auto whole = int64_t(value);
            if (whole < 0) out[n++] = '-';
            const u128 digits = sixteenDigits(whole < 0 ? uint64_t(-whole) : uint64_t(whole));
            const int leading = firstNonZero(digits);
            store16(out + n, (digits + Zeros) >> (8 * leading));
            return n + size_t(16 - leading);
        }
        // Prices, weights and amounts, whether their digits are few or the trail of a product, are
        // rounded exactly; a tie or a value out of range takes the general path.
        uint64_t rounded = 0;
        int exponent = 0;
        if (roundTo15(std::fabs(value), rounded, exponent)) {
            const u128 digits = sixteenDigits(rounded); // byte 0 is 0: fifteen digits follow
            const int count = lastNonZero(digits);      // of them significant
            const u128 text = (digits + Zeros) >> 8;
            if (exponent < -4 || exponent >= 15) {
                char laid[16];
                store16(laid, text);
                return withDecimal(size_t(vb::layoutDigits(out, value < 0, laid, count, exponent, 'E')));
            }
            // Plain, as layoutDigits lays it out.
            if (value < 0) out[n++] = '-';
            if (exponent < 0) {
                // "0", the separator and up to three zeros, then the digits over the rest.
                const uint64_t lead = (0x3030303030303030ull & ~0xFF00ull) | uint64_t(uint8_t(decimal)) << 8;
                std::memcpy(out + n, &lead, sizeof lead);
                n += size_t(1 - exponent);
                store16(out + n, text);
                return n + size_t(count);
            }
            // The whole part keeps its zeros; the separator goes in after it when decimals follow.
            if (count <= exponent + 1) {
                store16(out + n, text);
                return n + size_t(exponent + 1);
            }
            // The decimals written over the digits' copy past the whole part (exponent below 14
            // here: within the room).
            store16(out + n, text);
            out[n + size_t(exponent) + 1] = decimal;
            store16(out + n + size_t(exponent) + 2, text >> (8 * (exponent + 1)));
            return n + size_t(count) + 1;
        }
    }
#endif
    // The shortest digits that read back as the value, when they are at most 15, else the value
    // rounded to 15 digits; laid out as VB does (exponent from 1E+15 and below 1E-04).
    char sci[48];
    const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    const char *e = std::find(sci, r.ptr, 'e');
    const bool negative = sci[0] == '-';
    char digits[24];
    int k = 0;
    for (const char *q = sci + (negative ? 1 : 0); q < e && k < 24; ++q)
        if (*q != '.') digits[k++] = *q;
    int x = 0;
    if (k > 15 || std::fabs(value) < std::numeric_limits<double>::min() || e == r.ptr ||
        std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, x).ec != std::errc()) {
        // Rounded to 15 digits from 16; a value near the half-way point goes to Qt, which rounds
        // ties away from zero where the C library rounds them to even.
        const auto t = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 15);
        const char *end = t.ptr;
        e = std::find(static_cast<const char *>(sci), end, 'e');
        const bool nearHalf = e[-1] == '5';
        if (nearHalf) {
            const QByteArray text = QString::number(value, 'g', 15).toLatin1();
            const size_t length = std::min(size_t(text.size()), sizeof sci);
            std::memcpy(sci, text.constData(), length);
            end = sci + length;
            e = std::find(static_cast<const char *>(sci), end, 'e');
            if (e == end) {
                std::memcpy(out, sci, size_t(end - sci));
                return withDecimal(size_t(end - sci));
            }
        }
        k = 0;
        for (const char *q = sci + (negative ? 1 : 0); q < e && k < 24; ++q)
            if (*q != '.') digits[k++] = *q;
        x = 0;
        std::from_chars(e + (e[1] == '+' ? 2 : 1), end, x);
        if (!nearHalf && k == 16) {
            const bool up = digits[15] > '5';
            k = 15;
            int i = 14;
            while (up && i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (up && i >= 0) {
                ++digits[i];
            } else if (up) {
                digits[0] = '1';
                ++x;
            }
        }
        while (k > 1 && digits[k - 1] == '0') // as %g drops them
            --k;
    }
    return withDecimal(n + size_t(vb::layoutDigits(out + n, negative, digits, k, x, 'E')));
}

QString WorkbookSheet::dateText(double serial, bool date1904)
{
    // Values that are no date Excel can show stay numbers.
    if (!std::isfinite(serial) || serial < 0 || serial >= (date1904 ? 2957004.0 : 2958466.0))
        return numberText(serial);
    double days = std::floor(serial);
    qint64 seconds = qint64(std::llround((serial - days) * 86400.0));
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QTime time = QTime(0, 0).addSecs(seconds);
    const QLocale locale;
    const QString timeText = locale.toString(time, longTimeFormat());
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(qint64(days));
    } else {
        // Serial 0 is no day; VB shows such a value as a time alone.
        if (days == 0) return timeText;
        // Excel counts a 29 February 1900 that never was: serials before it are one day later.
        if (days < 60)
            date = QDate(1899, 12, 31).addDays(qint64(days));
        else if (days == 60)
            date = QDate(1900, 2, 28);
        else
            date = QDate(1899, 12, 30).addDays(qint64(days));
    }
    QString text = locale.toString(date, shortDateFormat());
    if (seconds != 0) text += ' ' + timeText;
    return text;
}

double WorkbookSheet::serialOf(const QDate &date, const QTime &time, bool date1904)
{
    const QDate base = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    double days = double(base.daysTo(date));
    if (!date1904 && days < 61) days -= 1; // serials before 1 March 1900 count Excel's 29 February 1900
    return days + time.msecsSinceStartOfDay() / 86400000.0;
}

QString WorkbookSheet::boolText(bool value)
{
    if (QLocale().language() == QLocale::Spanish)
        return value ? QStringLiteral("Verdadero") : QStringLiteral("Falso");
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString WorkbookSheet::cellName(uint32_t row, uint32_t col)
{
    QString letters;
    for (uint32_t c = col; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row);
}
