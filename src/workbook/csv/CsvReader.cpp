#include "workbook/csv/CsvReader.h"

#include "workbook/common/ByteScan.h"
#include "workbook/common/FileKind.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace csv {
namespace {

using workbook::fail;
// The delimiter is told from at most this many records at the file's start.
constexpr int SampleRecords = 50;
constexpr size_t SampleBytes = 64 * 1024;

// Windows-1252's characters for bytes 0x80 to 0x9F (the five it leaves undefined as in Latin-1).
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

using bytescan::Highs;
using bytescan::load8;

bool validUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p < end) {
        // Plain ASCII sixteen or eight bytes at a time, up to the next byte that is not.
#ifdef __SSE2__
        if (end - p >= 16) {
            const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
            if (!high) {
                p += 16;
                continue;
            }
            p += std::countr_zero(unsigned(high));
        } else
#endif
            if (end - p >= 8) {
            const uint64_t high = load8(reinterpret_cast<const char *>(p)) & Highs;
            if (!high) {
                p += 8;
                continue;
            }
            p += std::countr_zero(high) >> 3;
        } else if (*p < 0x80) {
            ++p;
            continue;
        }
        int more;
        uint32_t cp;
        // Two-byte characters (accented letters), the usual ones, at once.
        if (end - p >= 2 && *p >= 0xC2 && *p < 0xE0 && (p[1] & 0xC0) == 0x80) {
            p += 2;
            continue;
        }
        if ((*p & 0xE0) == 0xC0) {
            more = 1;
            cp = *p & 0x1F;
        } else if ((*p & 0xF0) == 0xE0) {
            more = 2;
            cp = *p & 0x0F;
        } else if ((*p & 0xF8) == 0xF0) {
            more = 3;
            cp = *p & 0x07;
        } else {
            return false;
        }
        if (end - p <= more) return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are no UTF-8.
        static constexpr uint32_t Least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < Least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += more + 1;
    }
    return true;
}

// The locale's separators as UTF-8, looked up once per file.
struct NumberForm {
    std::string decimal, group;
    // The first bytes a number may have: digits, signs, the decimal separator's, blanks.
    bool mayStart[256] = {};
    NumberForm()
    {
        const QLocale locale;
        decimal = locale.decimalPoint().isEmpty() ? std::string(".") : locale.decimalPoint().toStdString();
        group = locale.groupSeparator().toStdString();
        if (group == decimal) group.clear();
        for (const char c : std::string_view("0123456789+- \t\n\r\f\v"))
            mayStart[uint8_t(c)] = true;
        mayStart[uint8_t(decimal[0])] = true;
    }
};

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Every form numberSyntax takes, the slow way.
[[gnu::noinline]] bool numberForms(std::string_view field, const NumberForm &form, char *normal,
                                   size_t &normalLength, bool &exponent)
{
    // Texts cannot be numbers: most fields end here at their first character.
    while (!field.empty() && blank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && blank(field.back()))
        field.remove_suffix(1);
    if (field.empty() || field.size() > 64) return false;
    // Most fields are texts, told by their first character.
    const char first = field[0];
    if (!(first >= '0' && first <= '9') && first != '+' && first != '-' && first != form.decimal[0])
        return false;
    size_t n = 0;
    size_t i = 0;
    if (field[0] == '+' || field[0] == '-') {
        if (field[0] == '-') normal[n++] = '-';
        ++i;
    }
    const auto at = [&](std::string_view token) {
        return !token.empty() && i < field.size() && field[i] == token[0] &&
               (token.size() == 1 || field.substr(i, token.size()) == token);
    };
    // Integer part, with group separators every three digits.
    const size_t intStart = i;
    int groupDigits = -1; // digits since the last group separator; -1 before the first one
    int firstGroup = 0;
    int significant = 0;
    bool leadingZeros = true;
    bool anyDigit = false;
    while (i < field.size()) {
        const char c = field[i];
        if (c >= '0' && c <= '9') {
            if (i == intStart + 0 && c == '0' && i + 1 < field.size() && field[i + 1] >= '0' &&
                field[i + 1] <= '9')
                return false; // a code with its leading zeros
            normal[n++] = c;
            anyDigit = true;
            if (c != '0' || !leadingZeros) {
                leadingZeros = false;
                ++significant;
            }
            if (groupDigits >= 0)
                ++groupDigits;
            else
                ++firstGroup;
            ++i;
        } else if (at(form.group) && anyDigit) {
            if ((groupDigits >= 0 && groupDigits != 3) ||
                (groupDigits < 0 && (firstGroup > 3 || field[intStart] == '0')))
                return false;
            groupDigits = 0;
            i += form.group.size();
        } else {
            break;
        }
        if (n > 40) return false;
    }
    if (groupDigits >= 0 && groupDigits != 3) return false;
    // Decimals.
    if (at(form.decimal)) {
        i += form.decimal.size();
        normal[n++] = '.';
        size_t trailingZeros = 0;
        while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
            if (n > 60) return false;
            normal[n++] = field[i];
            anyDigit = true;
            if (field[i] == '0') {
                ++trailingZeros;
                if (leadingZeros) trailingZeros = 0;
            } else {
                significant += int(trailingZeros) + 1;
                trailingZeros = 0;
                leadingZeros = false;
            }
            ++i;
        }
    }
    if (!anyDigit || significant > 15) return false;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        normal[n++] = 'e';
        exponent = true;
        ++i;
        if (i < field.size() && (field[i] == '+' || field[i] == '-')) normal[n++] = field[i++];
        const size_t expStart = i;
        while (i < field.size() && field[i] >= '0' && field[i] <= '9' && i - expStart < 6)
            normal[n++] = field[i++];
        if (i == expStart) return false;
    }
    if (i != field.size()) return false;
    normalLength = n;
    return true;
}

// normal receives the number in C form (at most NormalChars bytes), its length in normalLength;
// exponent tells whether it has one. Whether the value is finite is valueOf's to tell.
constexpr size_t NormalChars = 80;
// Whether a field that starts -?digits(decimal digits)? (decimal: one byte) can be no number for
// what follows at p: only a group separator after one to three digits, an exponent or blanks may
// follow in the other forms. Dates, and positions like 8400.10.00 in a comma locale, end here.
inline bool textAfterDigits(const char *p, const char *end, const char *digits, size_t intDigits,
                            const NumberForm &form)
{
    return p < end && *p != 'e' && *p != 'E' && !blank(*p) &&
           (form.group.empty() || *p != form.group[0] || intDigits > 3 ||
            (intDigits == 0 && form.group.size() == 1)) &&
           !(p == digits && (*p == form.decimal[0] || *p == '+'));
}

// plain: the field is -?digits(decimal digits)? without blanks, so that the number written in the
// locale's form is the field itself whenever its C form is.
bool numberSyntax(std::string_view field, const NumberForm &form, char *normal, size_t &normalLength,
                  bool &exponent, bool &plain)
{
    exponent = false;
    plain = false;
    if (field.empty()) return false;
    const char first = field[0];
    // Most fields are texts, told by their first character.
    if (!(first >= '0' && first <= '9') && first != '-' && first != '+' && first != form.decimal[0] &&
        !blank(first))
        return false;
    // The usual forms, -?digits(,digits)? with at most 15 digits and one-byte separators, in one pass.
    if (form.decimal.size() == 1 && field.size() <= 16 + 1 + 1) {
        const char *p = field.data();
        const char *end = p + field.size();
        size_t n = 0;
        if (*p == '-') normal[n++] = *p++;
        const char *digits = p;
        while (p < end && *p >= '0' && *p <= '9')
            normal[n++] = *p++;
        const size_t intDigits = size_t(p - digits);
        if (intDigits > 1 && digits[0] == '0') return false; // a code with its leading zeros
        size_t fracDigits = 0;
        if (intDigits > 0 && p < end && *p == form.decimal[0]) {
            normal[n++] = '.';
            const char *frac = ++p;
            while (p < end && *p >= '0' && *p <= '9')
                normal[n++] = *p++;
            fracDigits = size_t(p - frac);
        }
        if (p == end && intDigits > 0 && intDigits + fracDigits <= 15) {
            normalLength = n;
            plain = true;
            return true;
        }
        if (textAfterDigits(p, end, digits, intDigits, form)) return false;
    }
    return numberForms(field, form, normal, normalLength, exponent);
}

// The value of a number in C form; false when it is no finite double.
bool valueOf(const char *normal, size_t n, double &value)
{
    const auto r = std::from_chars(normal, normal + n, value, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != normal + n || !std::isfinite(value)) {
        // A number too small for a double reads as zero, as VB reads it.
        if (r.ec == std::errc::result_out_of_range && r.ptr == normal + n && std::fabs(value) < 1) {
            value = 0;
            return true;
        }
        return false;
    }
    return true;
}

bool numberIn(std::string_view field, const NumberForm &form, double &value, char *normal,
              size_t &normalLength)
{
    bool exponent = false, plain = false;
    return numberSyntax(field, form, normal, normalLength, exponent, plain) &&
           valueOf(normal, normalLength, value);
}

// Fields are long runs of bytes.
inline const char *findAny(const char *p, const char *end, char a, char b, char c)
{
    return bytescan::findAnyLong(p, end, a, b, c);
}

// Splits text into records of fields: fields in double quotes may hold the delimiter, line breaks
// and doubled quotes; a line ends with LF, CR LF or CR.
class Splitter {
  public:
    Splitter(std::string_view text, char delimiter)
        : m_p(text.data()), m_end(text.data() + text.size()), m_delim(delimiter)
    {
    }

    bool atEnd() const { return m_p >= m_end; }
    const char *position() const { return m_p; }

    // The next field of the current record into field (a view into the text or into scratch);
    // false when the record ended before it (then the next call starts the next record).
    bool nextField(std::string_view &field, bool &recordEnds)
    {
        recordEnds = false;
        if (m_p >= m_end) {
            recordEnds = true;
            field = {};
            return true;
        }
        if (*m_p == '"') {
            ++m_p;
            // Most quoted fields hold neither a doubled quote nor a line break: a view, no copy.
            const char *q = findAny(m_p, m_end, '"', '\r', '"');
            if (q < m_end && *q == '"' &&
                (q + 1 >= m_end || q[1] == m_delim || q[1] == '\n' || q[1] == '\r')) {
                field = std::string_view(m_p, size_t(q - m_p));
                m_p = q + 1;
                return finishField(recordEnds);
            }
            m_scratch.clear();
            for (;;) {
                q = findAny(m_p, m_end, '"', '\r', '"');
                m_scratch.append(m_p, size_t(q - m_p));
                m_p = q;
                if (q >= m_end) break; // unterminated: the rest is the field
                if (*q == '\r') {
                    m_scratch += '\n';
                    m_p = q + 1 < m_end && q[1] == '\n' ? q + 2 : q + 1;
                    continue;
                }
                if (q + 1 < m_end && q[1] == '"') {
                    m_scratch += '"';
                    m_p = q + 2;
                    continue;
                }
                m_p = q + 1;
                // Text after the closing quote belongs to the field, as spreadsheets read it.
                const char *r = findAny(m_p, m_end, m_delim, '\n', '\r');
                m_scratch.append(m_p, size_t(r - m_p));
                m_p = r;
                break;
            }
            field = m_scratch;
        } else {
            const char *q = findAny(m_p, m_end, m_delim, '\n', '\r');
            field = std::string_view(m_p, size_t(q - m_p));
            m_p = q;
        }
        return finishField(recordEnds);
    }

    // The next record's fields as views into the text, when none has quotes doubled or text after
    // its closing quote and each passes keep; otherwise nothing is taken and false returned.
    template <class Keep> bool viewsOfRecord(std::vector<std::string_view> &fields, Keep keep)
    {
        fields.clear();
        const char *p = m_p;
        for (;;) {
            std::string_view field;
            if (p < m_end && *p == '"') {
                const char *q = findAny(p + 1, m_end, '"', '\r', '"');
                if (q >= m_end || *q != '"') return false;
                const char *after = q + 1;
                if (after < m_end && *after != m_delim && *after != '\n' && *after != '\r') return false;
                field = std::string_view(p + 1, size_t(q - p - 1));
                p = after;
            } else {
                const char *q = findAny(p, m_end, m_delim, '\n', '\r');
                field = std::string_view(p, size_t(q - p));
                p = q;
            }
            if (!field.empty() && !keep(field)) return false;
            fields.push_back(field);
            if (p >= m_end) break;
            if (*p == m_delim) {
                // A delimiter at the very end leaves one empty field, which ends the record.
                if (++p == m_end) {
                    fields.push_back(std::string_view());
                    break;
                }
                continue;
            }
            p += (*p == '\r' && p + 1 < m_end && p[1] == '\n') ? 2 : 1;
            break;
        }
        m_p = p;
        return true;
    }

  private:
    bool finishField(bool &recordEnds)
    {
        if (m_p >= m_end) {
            recordEnds = true;
        } else if (*m_p == m_delim) {
            ++m_p;
            // A delimiter at the very end leaves one empty field, which ends the record.
        } else {
            recordEnds = true;
            m_p += (*m_p == '\r' && m_p + 1 < m_end && m_p[1] == '\n') ? 2 : 1;
        }
        return true;
    }

    const char *m_p;
    const char *m_end;
    char m_delim;
    std::string m_scratch;
};

// Field counts of the first records with this delimiter; the last record is left out when the
// sample cuts it.
std::vector<int> fieldCounts(std::string_view text, char delimiter, bool cut)
{
    std::vector<int> counts;
    Splitter splitter(text, delimiter);
    std::string_view field;
    while (!splitter.atEnd() && int(counts.size()) < SampleRecords) {
        int fields = 0;
        bool ends = false;
        bool empty = true;
        while (!ends) {
            splitter.nextField(field, ends);
            ++fields;
            if (!field.empty()) empty = false;
        }
        if (splitter.atEnd() && cut) break;
        if (fields == 1 && empty) continue; // a blank line
        counts.push_back(fields);
    }
    return counts;
}

QString sheetName(const QString &path)
{
    return QFileInfo(path).completeBaseName().left(31);
}

} // namespace

QByteArray toUtf8(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) return bytes.mid(3);
    const bool le = bytes.startsWith("\xFF\xFE");
    if (le || bytes.startsWith("\xFE\xFF")) {
        const qsizetype units = (bytes.size() - 2) / 2;
        QString text(units, Qt::Uninitialized);
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData()) + 2;
        for (qsizetype i = 0; i < units; ++i, p += 2)
            text[i] = QChar(char16_t(le ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1])));
        return text.toUtf8();
    }
    if (validUtf8(bytes)) return bytes;
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uchar(bytes[i]);
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text.toUtf8();
}

char detectDelimiter(std::string_view text)
{
    const bool cut = text.size() > SampleBytes;
    if (cut) text = text.substr(0, SampleBytes);
    const bool comma = NumberForm().decimal == ",";
    const char order[3] = {comma ? ';' : ',', '\t', comma ? ',' : ';'};
    char widest = 0;
    int widestCount = 1;
    for (const char delimiter : order) {
        const std::vector<int> counts = fieldCounts(text, delimiter, cut);
        if (counts.empty()) continue;
        if (counts[0] > 1 && std::all_of(counts.begin(), counts.end(), [&](int n) { return n == counts[0]; }))
            return delimiter;
        if (counts[0] > widestCount) {
            widest = delimiter;
            widestCount = counts[0];
        }
    }
    return widest ? widest : order[0];
}

bool numberOf(std::string_view field, double &value)
{
    char normal[NormalChars];
    size_t length = 0;
    return numberIn(field, NumberForm(), value, normal, length);
}

bool isText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return isTextStart(file.read(qint64(SampleBytes)));
}

bool isTextStart(const QByteArray &head)
{
    if (head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return true;
    qsizetype controls = 0;
    for (const char c : head) {
        const auto b = uchar(c);
        if (b == 0) return false;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != '\v' && b != 0x1A)
            ++controls;
    }
    return controls * 100 <= head.size();
}

namespace {

// Whether the grid shows the field as it is written: a text, or a number whose text in the locale
// is the one the grid writes for its value. point: the one-byte decimal separator, or 0.
bool shownAsWritten(std::string_view field, const NumberForm &form, char point)
{
    if (!form.mayStart[uint8_t(field[0])]) return true;
    // -?digits(point digits)?, 15 digits at most: the usual numbers, told without a copy.
    const char *p = field.data();
    const char *end = p + field.size();
    const bool negative = *p == '-';
    if (negative) ++p;
    const char *digits = p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    const size_t intDigits = size_t(p - digits);
    if (intDigits > 1 && digits[0] == '0') return true; // a code with its leading zeros
    const char *frac = p;
    const bool hasPoint = intDigits > 0 && p < end && *p == point && point;
    if (hasPoint) {
        frac = ++p;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
    }
    if (p == end && intDigits > 0 && intDigits + size_t(p - frac) <= 15) {
        const std::string_view decimals(frac, size_t(p - frac));
        return WorkbookSheet::isNumberUtf8(negative, std::string_view(digits, intDigits),
                                           hasPoint ? &decimals : nullptr);
    }
    if (point && textAfterDigits(p, end, digits, intDigits, form)) return true;
    char normal[NormalChars];
    size_t length = 0;
    bool exponent = false, plain = false;
    return !numberSyntax(field, form, normal, length, exponent, plain);
}

// Splits the next record into fields when each is shown in the grid exactly as written: a view of
// the text that is no number, or a number as the grid writes it. Otherwise leaves the splitter
// where it was and returns false.
bool wholeRow(Splitter &splitter, const NumberForm &form, std::vector<std::string_view> &fields)
{
    const char point = form.decimal.size() == 1 ? form.decimal[0] : 0;
    return splitter.viewsOfRecord(fields,
                                  [&](std::string_view field) { return shownAsWritten(field, form, point); });
}

} // namespace

void read(const QString &path, WorkbookSheet &sheet, int sheetIndex)
{
    WorkbookFile file(path);
    CsvReader().read(file, sheetIndex, sheet);
}

namespace {

void readText(const QByteArray &text, WorkbookSheet &sheet)
{
    std::string_view all(text.constData(), size_t(text.size()));
    // Excel's own hint, a first line "sep=;", names the delimiter and is no row.
    char delimiter = 0;
    if (all.size() >= 5 && all.substr(0, 4) == "sep=" &&
        (all.size() == 5 || all[5] == '\n' || all[5] == '\r')) {
        delimiter = all[4];
        all.remove_prefix(
            all.size() > 6 && all[5] == '\r' && all[6] == '\n' ? 7 : std::min<size_t>(all.size(), 6));
    }
    if (!delimiter) delimiter = detectDelimiter(all);
    const NumberForm form;
    // About one cell per eight bytes.
    sheet.reserveCells(size_t(text.size() / 8));
    // Fields without escapes are views into text, which a sink may keep as they are.
    sheet.shareText(text);
    Splitter splitter(all, delimiter);
    uint64_t row = 1;
    std::string_view field;
    std::vector<std::string_view> fields;
    while (!splitter.atEnd()) {
        if (sheet.streaming() && wholeRow(splitter, form, fields)) {
            // Every field is the text the grid shows: the row goes at once.
            sheet.addStreamedRow(uint32_t(std::min<uint64_t>(row, uint64_t(WorkbookSheet::MaxRows) + 1)),
                                 fields.data(), uint32_t(std::min<size_t>(fields.size(), UINT32_MAX)));
            ++row;
            continue;
        }
        uint64_t col = 1;
        for (bool ends = false; !ends; ++col) {
            splitter.nextField(field, ends);
            if (field.empty()) continue;
            const auto r = uint32_t(std::min<uint64_t>(row, uint64_t(WorkbookSheet::MaxRows) + 1));
            const auto c = uint32_t(std::min<uint64_t>(col, uint64_t(WorkbookSheet::MaxCols) + 1));
            char normal[NormalChars];
            size_t length = 0;
            bool exponent = false, plain = false;
            double value = 0;
            if (!numberSyntax(field, form, normal, length, exponent, plain)) {
                sheet.addStreamedText(r, c, field);
            } else if (!exponent && sheet.addNumberText(r, c, std::string_view(normal, length),
                                                        plain ? field : std::string_view())) {
                // A number written as the grid writes it goes to a sink as its text, unconverted
                // (without an exponent it is always a finite double).
            } else if (valueOf(normal, length, value)) {
                sheet.addNumber(r, c, value, false);
            } else {
                sheet.addStreamedText(r, c, field);
            }
        }
        ++row;
    }
    sheet.finish();
}

} // namespace
} // namespace csv

bool CsvReader::canRead(WorkbookFile &file) const
{
    // Text of no other kind is a delimited table; the sample is read only for a file that may be one.
    return !file.looksLikeZip() && !filekind::isExcel4OrOlder(file.head()) &&
           filekind::otherDocument(file).isEmpty() && csv::isText(file.path());
}

WorkbookSheetList CsvReader::sheets(WorkbookFile &file) const
{
    if (!QFileInfo(file.path()).isReadable()) workbook::cannotRead(file.path());
    return {{csv::sheetName(file.path()), false}};
}

void CsvReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    if (index != 0) workbook::fail(QStringLiteral("El libro no tiene la hoja %1").arg(index + 1));
    // Handed over, not kept: the grid may keep the text and append its own to it.
    csv::readText(csv::toUtf8(file.readAll(csv::MaxFileBytes,
                                           QStringLiteral("El archivo supera %1 MiB, el máximo que se lee"))),
                  sheet);
}
