#include "workbook/ods/OdsReader.h"

#include "workbook/common/ByteScan.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/common/XmlScanner.h"
#include "workbook/common/ZipPackage.h"

#include <QDate>
#include <QSet>
#include <QTime>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ods {
namespace {

using workbook::damaged;
using workbook::fail;

const QString ContentPart = QStringLiteral("content.xml");
constexpr std::string_view SpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

// Thrown when content.xml, read in pieces, is no valid XML: it is read again whole, so that the
// failure names the line where it is.
struct RetryWhole {};

// content.xml as one run of tokens, read in pieces (each ending after a row) or whole.
class Content {
  public:
    Content(workbook::ZipPackage &package, int64_t index, bool whole)
    {
        if (whole) {
            m_whole = package.read(index, ContentPart);
            m_xml =
                std::make_unique<XmlScanner>(std::string_view(m_whole.constData(), size_t(m_whole.size())));
            return;
        }
        // A part that fails is read again whole to name the line, when it is small enough to hold.
        m_retryWhole = package.declaredSize(index) <= workbook::ZipPackage::MaxUncompressedBytes;
        m_pieces = std::make_unique<workbook::ZipPackage::Pieces>(package, index, ContentPart,
                                                                  QByteArrayLiteral("</table:table-row>"));
        const std::string_view first = m_pieces->next();
        // A part in UTF-16 is converted whole by the scanner.
        if (!first.empty() && (uchar(first[0]) == 0xFF || uchar(first[0]) == 0xFE)) throw RetryWhole{};
        m_xml = std::make_unique<XmlScanner>(first);
        m_xml->setMoreToFollow(!m_pieces->atEnd());
    }

    XmlScanner &xml() { return *m_xml; }

    XmlScanner::Token next()
    {
        XmlScanner::Token t = m_xml->next();
        while (t == XmlScanner::More) {
            m_xml->releaseInput();
            const std::string_view piece = m_pieces->next();
            m_xml->continueWith(piece, !m_pieces->atEnd());
            t = m_xml->next();
        }
        if (t == XmlScanner::Error) malformed();
        return t;
    }

    // Skips the rest of the element whose start tag was just read.
    void skip()
    {
        for (int depth = 1; depth > 0;) {
            switch (next()) {
            case XmlScanner::StartElement:
                ++depth;
                break;
            case XmlScanner::EndElement:
                --depth;
                break;
            case XmlScanner::EndDocument:
                malformed();
            default:
                break;
            }
        }
    }

    [[noreturn]] void malformed()
    {
        if (m_pieces && m_retryWhole) throw RetryWhole{};
        m_xml->failPart(ContentPart, !m_pieces);
    }

  private:
    QByteArray m_whole;
    bool m_retryWhole = false;
    std::unique_ptr<workbook::ZipPackage::Pieces> m_pieces;
    std::unique_ptr<XmlScanner> m_xml;
};

// A repeat count (table:number-rows-repeated, -columns-repeated): at least 1, kept below a bound
// far past Excel's grid so that counts add up without overflow.
uint64_t repeatCount(const XmlScanner &xml, std::string_view attribute)
{
    std::string_view raw;
    if (!xml.attribute(attribute, raw)) return 1;
    uint64_t n = 0;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), n);
    if (r.ec != std::errc() || n == 0) return 1;
    return std::min<uint64_t>(n, uint64_t(1) << 32);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The text of paragraphs as a reader of the format sees it: runs of white space in the markup are
// one blank, none at a paragraph's start or end; text:s, text:tab and text:line-break are kept.
class ParagraphText {
  public:
    explicit ParagraphText(std::string &out) : m_out(out) {}

    void startParagraph()
    {
        end();
        if (m_paragraphs++ > 0) m_out += '\n';
        m_afterSpace = true;
        m_pending = false;
        m_markupBlanks = false;
    }
    // The paragraph ends: a blank after its last word is kept when the paragraph is written as
    // LibreOffice and Gnumeric write a text, every other blank an element and the last one literal
    // ("abc "); in markup laid out with line ends or runs of blanks it is layout, and dropped.
    void end()
    {
        if (m_trailingBlank && !m_markupBlanks) flush();
        m_trailingBlank = false;
    }
    void raw(std::string_view text)
    {
        if (text.empty()) return;
        for (size_t k = 0; k < text.size() && !m_markupBlanks; ++k)
            m_markupBlanks =
                isSpace(text[k]) && (text[k] != ' ' || (k == 0 ? m_pending : isSpace(text[k - 1])));
        m_trailingBlank = text.back() == ' ' &&
                          (text.size() >= 2 ? !isSpace(text[text.size() - 2]) : !m_afterSpace && !m_pending);
        size_t i = 0;
        while (i < text.size()) {
            if (isSpace(text[i])) {
                if (!m_afterSpace) m_pending = true;
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end < text.size() && !isSpace(text[end]))
                ++end;
            flush();
            m_out.append(text.data() + i, end - i);
            m_afterSpace = false;
            i = end;
        }
    }
    // A blank, tab or line break written as an element.
    void kept(char c, uint64_t count = 1)
    {
        m_trailingBlank = false;
        flush();
        m_out.append(size_t(std::min<uint64_t>(count, 32767)), c);
        m_afterSpace = true;
    }

  private:
    void flush()
    {
        if (m_pending) m_out += ' ';
        m_pending = false;
    }
    std::string &m_out;
    int m_paragraphs = 0;
    bool m_afterSpace = true;
    bool m_pending = false;
    bool m_trailingBlank = false;
    bool m_markupBlanks = false;
};

// Elements inside a paragraph whose text is not the cell's: notes, comments, ruby annotations,
// drawings.
bool notCellText(std::string_view local)
{
    return local == "note" || local == "annotation" || local == "ruby-text" || local == "frame" ||
           local == "custom-shape" || local == "g";
}

void readParagraph(Content &content, ParagraphText &text)
{
    text.startParagraph();
    QString scratch;
    for (int depth = 1; depth > 0;) {
        switch (content.next()) {
        case XmlScanner::Text:
            scratch.clear();
            if (!content.xml().appendText(scratch)) content.malformed();
            text.raw(scratch.toStdString());
            break;
        case XmlScanner::StartElement: {
            const std::string_view local = content.xml().name();
            if (notCellText(local)) {
                content.skip();
                break;
            }
            if (local == "s")
                text.kept(' ', repeatCount(content.xml(), "c"));
            else if (local == "tab")
                text.kept('\t');
            else if (local == "line-break")
                text.kept('\n');
            ++depth;
            break;
        }
        case XmlScanner::EndElement:
            --depth;
            break;
        case XmlScanner::EndDocument:
            content.malformed();
        default:
            break;
        }
    }
}

// One cell's value as it goes into the sheet.
struct Value {
    enum Kind { None, Number, Date, Bool, Text, Error } kind = None;
    double number = 0;
    // Text, Error; a Number's text as written (for a sink to take it as is). A view into the input
    // or the cell's attributes while the cell is added, its own copy once kept.
    std::string_view text;
    std::string own;
    bool owned = false;
    struct {
        uint32_t row;
        uint64_t col;
    } where{}; // a Number's cell, to name it when its text is no number

    std::string_view view() const { return owned ? std::string_view(own) : text; }
    // Copies the text, for a value that outlives what it was read from (a repeated row's).
    void keep()
    {
        if (owned) return;
        own.assign(text);
        owned = true;
    }
};

bool isErrorText(std::string_view t)
{
    static constexpr std::string_view Errors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                                  "#NAME?", "#NUM!",   "#N/A"};
    for (const std::string_view e : Errors)
        if (t == e) return true;
    // LibreOffice's own: Err:502 and the like.
    return t.size() > 4 && t.substr(0, 4) == "Err:" &&
           t.find_first_not_of("0123456789", 4) == std::string_view::npos;
}

bool parseDouble(std::string_view raw, double &out)
{
    while (!raw.empty() && isSpace(raw.front()))
        raw.remove_prefix(1);
    while (!raw.empty() && isSpace(raw.back()))
        raw.remove_suffix(1);
    if (!raw.empty() && raw.front() == '+') raw.remove_prefix(1);
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == raw.data() + raw.size() && std::isfinite(out) && !raw.empty();
}

// Digits from text[i] on; false when there are none. i moves past them.
bool digits(std::string_view text, size_t &i, int64_t &value, int maxDigits = 9)
{
    const size_t start = i;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (int(i - start) >= maxDigits) return false;
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return i > start;
}

// office:date-value: YYYY-MM-DD with an optional THH:MM:SS[.fff] and a zone that is ignored.
std::optional<double> parseDate(std::string_view text)
{
    size_t i = 0;
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // Years before the common era, which no sheet date reaches, are refused with the sign.
    if (!digits(text, i, year, 6) || i < 4 || i >= text.size() || text[i++] != '-' ||
        !digits(text, i, month, 2) || i >= text.size() || text[i++] != '-' || !digits(text, i, day, 2))
        return std::nullopt;
    const QDate date{int(year), int(month), int(day)};
    if (!date.isValid()) return std::nullopt;
    double fraction = 0;
    if (i < text.size() && text[i] == 'T') {
        ++i;
        if (!digits(text, i, hour, 2) || i >= text.size() || text[i++] != ':' ||
            !digits(text, i, minute, 2) || i >= text.size() || text[i++] != ':' ||
            !digits(text, i, second, 2))
            return std::nullopt;
        if (hour > 24 || minute > 59 || second > 60) return std::nullopt;
        if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
            const size_t start = ++i;
            double scale = 0.1;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                fraction += (text[i] - '0') * scale;
                scale /= 10;
                ++i;
            }
            if (i == start) return std::nullopt;
        }
    }
    if (i < text.size() && text[i] != 'Z' && text[i] != '+' && text[i] != '-') return std::nullopt;
    const double seconds = double(hour * 3600 + minute * 60 + second) + fraction;
    return WorkbookSheet::serialOf(date, QTime(0, 0), false) + seconds / 86400.0;
}

// office:time-value, an ISO duration: [-]P[nD]T[nH][nM][n[.f]S], as a fraction of days.
std::optional<double> parseDuration(std::string_view text)
{
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    if (i >= text.size() || text[i++] != 'P') return std::nullopt;
    double days = 0;
    bool inTime = false, any = false;
    while (i < text.size()) {
        if (text[i] == 'T') {
            if (inTime) return std::nullopt;
            inTime = true;
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.' || text[i] == ','))
            ++i;
        if (i == start || i >= text.size()) return std::nullopt;
        std::string number(text.substr(start, i - start));
        for (char &c : number)
            if (c == ',') c = '.';
        double n = 0;
        if (!parseDouble(number, n)) return std::nullopt;
        switch (text[i]) {
        case 'D':
            if (inTime) return std::nullopt;
            days += n;
            break;
        case 'H':
            if (!inTime) return std::nullopt;
            days += n / 24;
            break;
        case 'M':
            if (!inTime) return std::nullopt; // months have no length in days
            days += n / 1440;
            break;
        case 'S':
            if (!inTime) return std::nullopt;
            days += n / 86400;
            break;
        default:
            return std::nullopt;
        }
        any = true;
        ++i;
    }
    if (!any || !std::isfinite(days)) return std::nullopt;
    return negative ? -days : days;
}

// A cell's office:value-type, told apart once.
enum class ValueType : uint8_t { Absent, Float, Percentage, Currency, Date, Time, Boolean, String, Other };

ValueType valueTypeOf(std::string_view t)
{
    switch (t.size()) {
    case 0:
        return ValueType::Absent;
    case 4:
        if (t == "date") return ValueType::Date;
        if (t == "time") return ValueType::Time;
        break;
    case 5:
        if (t == "float") return ValueType::Float;
        break;
    case 6:
        if (t == "string") return ValueType::String;
        break;
    case 7:
        if (t == "boolean") return ValueType::Boolean;
        break;
    case 8:
        if (t == "currency") return ValueType::Currency;
        break;
    case 10:
        if (t == "percentage") return ValueType::Percentage;
        break;
    default:
        break;
    }
    return ValueType::Other;
}

// A table:number-columns-repeated: at least 1, bounded as repeatCount bounds it.
uint64_t repeatOf(std::string_view raw)
{
    uint64_t n = 0;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), n);
    return r.ec != std::errc() || n == 0 ? 1 : std::min<uint64_t>(n, uint64_t(1) << 32);
}

// A cell's attributes that say its value.
struct CellAttributes {
    std::string_view value, dateValue, timeValue, boolValue, calcType, gnumericError;
    ValueType type = ValueType::Absent;
    std::optional<std::string> stringValue;
    uint64_t repeat = 1;
    uint64_t columnsSpanned = 1, rowsSpanned = 1; // a merged cell's extent
    bool formula = false;

    // As new, field by field: cheaper than a new one for every cell.
    void reset()
    {
        value = dateValue = timeValue = boolValue = calcType = gnumericError = {};
        type = ValueType::Absent;
        stringValue.reset();
        repeat = columnsSpanned = rowsSpanned = 1;
        formula = false;
    }

    // False when an attribute's value is malformed. Told by the local name's length first: most
    // names a cell carries are looked at once.
    bool take(const XmlScanner::Attribute &a)
    {
        const std::string_view local = a.local;
        switch (local.size()) {
        case 5:
            if (local == "value") value = a.value;
            break;
        case 7:
            if (local == "formula") formula = true;
            break;
        case 10:
            if (local == "value-type") {
                if (a.prefix == "calcext")
                    calcType = a.value;
                else
                    type = valueTypeOf(a.value);
            } else if (local == "date-value") {
                dateValue = a.value;
            } else if (local == "time-value") {
                timeValue = a.value;
            }
            break;
        case 11:
            if (local == "error-value") gnumericError = a.value;
            break;
        case 12:
            if (local == "string-value") {
                std::string decoded;
                if (!XmlScanner::decodeUtf8(a.value, decoded)) {
                    QString text;
                    if (!XmlScanner::decode(a.value, text, true)) return false;
                    decoded = text.toStdString();
                }
                stringValue = std::move(decoded);
            }
            break;
        case 13:
            if (local == "boolean-value") boolValue = a.value;
            break;
        case 19:
            if (local == "number-rows-spanned") rowsSpanned = repeatOf(a.value);
            break;
        case 22:
            if (local == "number-columns-spanned") columnsSpanned = repeatOf(a.value);
            break;
        case 23:
            if (local == "number-columns-repeated") repeat = repeatOf(a.value);
            break;
        default:
            break;
        }
        return true;
    }

    bool isNumber() const
    {
        return type == ValueType::Float || type == ValueType::Percentage || type == ValueType::Currency;
    }

    // Whether the paragraphs' text is needed: a number's text as shown tells nothing, but for a
    // formula's boolean.
    bool needsText() const
    {
        return formula || !(isNumber() || type == ValueType::Date || type == ValueType::Time ||
                            type == ValueType::Boolean);
    }
};

// The value of a cell with these attributes and paragraph text. Its text is a view into both,
// valid while they are.
Value valueOf(const CellAttributes &a, std::string_view text, uint32_t row, uint64_t col);

// Reads a table:table-cell or table:covered-table-cell whose start tag was just read: its value,
// with its attributes (how many columns it repeats over, what it spans) into a.
Value readCell(Content &content, uint32_t row, uint64_t col, CellAttributes &a)
{
    XmlScanner &xml = content.xml();
    const bool covered = xml.isNamed("covered-table-cell");
    a.reset();
    for (const XmlScanner::Attribute &attribute : xml.attributes())
        if (!a.take(attribute)) content.malformed();

    // The paragraphs: the text of a string cell, and what tells an error or a boolean apart.
    std::string text;
    {
        ParagraphText paragraphs(text);
        std::string_view plain;
        bool open = true;
        if (xml.fastChildText("text:p", plain)) {
            paragraphs.startParagraph();
            if (a.needsText()) paragraphs.raw(plain);
            // The usual cell ends right after its one paragraph.
            open = !xml.closePlain(covered ? "table:covered-table-cell" : "table:table-cell");
        }
        while (open) {
            switch (content.next()) {
            case XmlScanner::StartElement:
                if (xml.isNamed("p") || xml.isNamed("h"))
                    readParagraph(content, paragraphs);
                else
                    content.skip(); // comments, drawings, sub-tables
                break;
            case XmlScanner::EndElement:
                open = false;
                break;
            case XmlScanner::EndDocument:
                content.malformed();
            default:
                break;
            }
        }
        paragraphs.end();
    }
    Value v = valueOf(a, text, row, col);
    v.keep(); // the text and the attributes end here
    return v;
}

// The characters of an attribute's name, looked up: the usual cell is mostly names.
constexpr auto NameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == ':' || c == '-' || c == '_' || c == '.';
    return table;
}();

bool nameChar(char c)
{
    return NameChars[uchar(c)];
}

// Whether p .. end starts with the literal (its bytes before the terminating zero).
template <size_t N> bool startsWith(const char *p, const char *end, const char (&literal)[N])
{
    return bytescan::startsWith(p, end, std::string_view(literal, N - 1));
}

// The first of the bytes A, B and C from p, or end.
template <char A, char B, char C> const char *findAny(const char *p, const char *end)
{
    return bytescan::findAny(p, end, A, B, C);
}

// The attributes LibreOffice and Gnumeric put on the usual cell, matched whole with their '='
// before any name is scanned character by character.
enum class Known : uint8_t { Style, Type, CalcType, Value, DateValue, TimeValue, BoolValue, Repeat };

// The bytes of the known attribute's name and '=' at p, 0 when it is none of them.
size_t knownAttribute(const char *p, const char *end, Known &known)
{
    size_t length = 0;
    const auto is = [&](const auto &literal, Known k) {
        if (!startsWith(p, end, literal)) return false;
        known = k;
        length = sizeof literal - 1;
        return true;
    };
    switch (*p) {
    case 't':
        is("table:style-name=", Known::Style) || is("table:number-columns-repeated=", Known::Repeat);
        break;
    case 'o':
        is("office:value-type=", Known::Type) || is("office:value=", Known::Value) ||
            is("office:date-value=", Known::DateValue) || is("office:time-value=", Known::TimeValue) ||
            is("office:boolean-value=", Known::BoolValue);
        break;
    case 'c':
        is("calcext:value-type=", Known::CalcType);
        break;
    default:
        break;
    }
    return length;
}

// The usual cell as LibreOffice and Gnumeric write it, read straight from the bytes: blanks, then
// <table:table-cell attributes/> or <table:table-cell attributes><text:p>text</text:p></table:table-cell>
// with no reference to decode. The bytes it takes, 0 (nothing read) for any other form.
size_t plainCell(std::string_view in, CellAttributes &a, std::string_view &paragraph, bool &hasParagraph)
{
    const char *const begin = in.data(), *const end = begin + in.size();
    const char *p = begin;
    // Gnumeric indents each cell by a line end and ten blanks: eight of them are passed at once.
    while (p < end && isSpace(*p)) {
        ++p;
        for (uint64_t w; end - p >= 8 && (std::memcpy(&w, p, 8), w == 0x2020202020202020ULL);)
            p += 8;
    }
    if (!startsWith(p, end, "<table:table-cell")) return 0;
    p += 17;
    for (;;) {
        const char *const blanks = p;
        while (p < end && isSpace(*p))
            ++p;
        if (p >= end) return 0;
        if (*p == '>' || *p == '/') break;
        if (p == blanks) return 0; // a name goes on, or no blank before the attribute
        Known known = Known::Style;
        const size_t knownLength = knownAttribute(p, end, known);
        const char *equals = p + knownLength - 1;
        if (knownLength == 0) {
            equals = p;
            while (equals < end && nameChar(*equals))
                ++equals;
            if (equals == p) return 0;
        }
        if (end - equals < 2 || *equals != '=' || (equals[1] != '"' && equals[1] != '\'')) return 0;
        const char quote = equals[1];
        // A value with a reference to decode is left to the scanner.
        const char *const valueEnd =
            quote == '"' ? findAny<'"', '<', '&'>(equals + 2, end) : findAny<'\'', '<', '&'>(equals + 2, end);
        if (valueEnd == end || *valueEnd != quote) return 0;
        const std::string_view value(equals + 2, size_t(valueEnd - equals - 2));
        if (knownLength > 0) {
            switch (known) {
            case Known::Style:
                break;
            case Known::Type:
                a.type = valueTypeOf(value);
                break;
            case Known::CalcType:
                a.calcType = value;
                break;
            case Known::Value:
                a.value = value;
                break;
            case Known::DateValue:
                a.dateValue = value;
                break;
            case Known::TimeValue:
                a.timeValue = value;
                break;
            case Known::BoolValue:
                a.boolValue = value;
                break;
            case Known::Repeat:
                a.repeat = repeatOf(value);
                break;
            }
        } else {
            const std::string_view name(p, size_t(equals - p));
            const size_t colon = name.find(':');
            if (colon == std::string_view::npos || name.find(':', colon + 1) != std::string_view::npos)
                return 0;
            const XmlScanner::Attribute attribute{name.substr(colon + 1), name.substr(0, colon), value};
            if (attribute.prefix == "xmlns" || !a.take(attribute)) return 0;
        }
        p = valueEnd + 1;
    }
    if (*p == '/') {
        if (end - p < 2 || p[1] != '>') return 0;
        hasParagraph = false;
        return size_t(p + 2 - begin);
    }
    ++p;
    if (!startsWith(p, end, "<text:p>")) return 0;
    p += 8;
    const char *const textEnd = findAny<'<', '&', '\r'>(p, end);
    if (!startsWith(textEnd, end, "</text:p></table:table-cell>")) return 0;
    paragraph = std::string_view(p, size_t(textEnd - p));
    hasParagraph = true;
    return size_t(textEnd + 28 - begin);
}

// Whether a paragraph's text reads as written: no blank at either end, none doubled, no tab or line
// end in the markup (which a reader turns into blanks or drops).
bool plainSpaces(std::string_view t)
{
    if (t.empty()) return true;
    if (isSpace(t.front()) || isSpace(t.back())) return false;
    for (size_t k = 0; k < t.size(); ++k)
        if (uchar(t[k]) <= ' ' && (t[k] != ' ' || t[k + 1] == ' ')) return false;
    return true;
}

// A decimal's text cut after its 17th significant digit when more digits follow it after the
// point (Gnumeric writes 21); any other text as it is. The sheet works out the 15 digits it shows
// from the first 17 alone, rounding only where the 16th leaves no doubt: the digits cut add less
// than one unit of the 17th and cannot change that rounding.
std::string_view cutDigits(std::string_view t)
{
    if (t.size() <= 18) return t;
    bool point = false;
    int significant = 0;
    size_t cut = 0;
    for (size_t i = t[0] == '-' ? 1 : 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.') {
            if (point) return t;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return t;
        if (significant > 0 || c != '0') ++significant;
        if (significant == 17 && cut == 0) {
            if (!point) return t;
            cut = i + 1;
        }
    }
    return cut > 0 ? t.substr(0, cut) : t;
}

Value valueOf(const CellAttributes &a, std::string_view text, uint32_t row, uint64_t col)
{
    Value v;
    const bool hasStringValue = a.stringValue.has_value();
    const std::string_view stringValue =
        hasStringValue ? std::string_view(*a.stringValue) : std::string_view();
    const ValueType type = a.type;

    const auto invalid = [&](std::string_view raw) {
        const QString where = WorkbookSheet::cellName(row, uint32_t(std::min<uint64_t>(col, UINT32_MAX)));
        damaged(QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                    .arg(where, QString::fromUtf8(raw.data(), qsizetype(std::min<size_t>(raw.size(), 64)))));
    };

    // An error value: LibreOffice marks it, Gnumeric names it, older writers leave a formula whose
    // cached text is an error's.
    if (a.calcType == "error" || !a.gnumericError.empty() ||
        (a.formula && (type == ValueType::String || type == ValueType::Absent) &&
         isErrorText(hasStringValue && !stringValue.empty() ? stringValue : text))) {
        v.kind = Value::Error;
        v.text = !a.gnumericError.empty() ? a.gnumericError : text;
        if (v.text.empty() && hasStringValue) v.text = stringValue;
        return v;
    }
    if (a.isNumber()) {
        // The value is parsed when the cell is added, unless a sink takes its text as written.
        v.kind = Value::Number;
        v.text = a.value;
        v.where = {row, col};
        if (a.value.empty()) invalid(a.value);
        if (!a.formula) return v;
        if (!parseDouble(a.value, v.number)) invalid(a.value);
        // A formula's boolean result is stored as 1 or 0 with its text.
        if (v.number == 0 || v.number == 1) {
            const QString shown = QString::fromUtf8(text.data(), qsizetype(text.size())).toUpper();
            if (shown == QLatin1String("TRUE") || shown == QLatin1String("FALSE") ||
                shown == QLatin1String("VERDADERO") || shown == QLatin1String("FALSO")) {
                v.kind = Value::Bool;
                return v;
            }
        }
        return v;
    }
    if (type == ValueType::Date) {
        const std::optional<double> serial = parseDate(a.dateValue);
        if (!serial) invalid(a.dateValue);
        v.kind = Value::Date;
        v.number = *serial;
        return v;
    }
    if (type == ValueType::Time) {
        const std::optional<double> days = parseDuration(a.timeValue);
        if (!days) invalid(a.timeValue);
        v.kind = Value::Date;
        v.number = *days;
        return v;
    }
    if (type == ValueType::Boolean) {
        if (a.boolValue == "true" || a.boolValue == "1")
            v.number = 1;
        else if (a.boolValue == "false" || a.boolValue == "0")
            v.number = 0;
        else
            invalid(a.boolValue);
        v.kind = Value::Bool;
        return v;
    }
    // A string, or a cell without a type that holds text (older writers).
    v.text = hasStringValue && (type == ValueType::String || !stringValue.empty()) ? stringValue : text;
    if (!v.text.empty()) v.kind = Value::Text;
    return v;
}

struct Cell {
    uint64_t col;
    uint64_t repeat;
    Value value;
};

class TableReader {
  public:
    TableReader(Content &content, WorkbookSheet &sheet) : m_content(content), m_sheet(sheet) {}

    // The table whose start tag was just read, up to its end tag.
    void read()
    {
        uint64_t row = 1;
        for (int depth = 1; depth > 0;) {
            switch (m_content.next()) {
            case XmlScanner::StartElement: {
                const XmlScanner &xml = m_content.xml();
                if (xml.isNamed("table-row")) {
                    const uint64_t repeat = repeatCount(xml, "number-rows-repeated");
                    readRow(row, repeat);
                    row = std::min<uint64_t>(row + repeat, uint64_t(1) << 40);
                } else if (xml.isNamed("table-header-rows") || xml.isNamed("table-rows") ||
                           xml.isNamed("table-row-group")) {
                    ++depth; // rows grouped: read on inside
                } else {
                    m_content.skip(); // columns, forms, shapes, names
                }
                break;
            }
            case XmlScanner::EndElement:
                --depth;
                break;
            case XmlScanner::EndDocument:
                m_content.malformed();
            default:
                break;
            }
        }
    }

  private:
    // A number cell's value, parsed from its text unless a formula's was parsed already.
    static double numberOf(const Value &v)
    {
        const std::string_view text = v.view();
        if (text.empty()) return v.number;
        double number = 0;
        if (!parseDouble(text, number))
            damaged(QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                        .arg(WorkbookSheet::cellName(v.where.row,
                                                     uint32_t(std::min<uint64_t>(v.where.col, UINT32_MAX))),
                             QString::fromUtf8(text.data(), qsizetype(std::min<size_t>(text.size(), 64)))));
        return number;
    }

    // A cell beyond the grid, before it is added (a count past 32 bits would be read as a small one).
    static uint32_t clamp(uint64_t n, uint32_t max)
    {
        return uint32_t(std::min<uint64_t>(n, uint64_t(max) + 1));
    }

    void spend(uint64_t copies)
    {
        m_repeated += copies;
        if (m_repeated > MaxRepeatedCells)
            fail(QStringLiteral("La hoja repite celdas con valor más de %1 veces, el máximo que se lee")
                     .arg(MaxRepeatedCells));
    }

    void add(uint32_t row, uint32_t col, const Value &v)
    {
        switch (v.kind) {
        case Value::None:
            break;
        case Value::Number: {
            const std::string_view text = v.view();
            if (!text.empty() && m_sheet.addNumberText(row, col, cutDigits(text))) break;
            m_sheet.addNumber(row, col, numberOf(v), false);
            break;
        }
        case Value::Date:
            m_sheet.addNumber(row, col, v.number, true);
            break;
        case Value::Bool:
            m_sheet.addBool(row, col, v.number != 0);
            break;
        case Value::Text:
            m_sheet.addStreamedText(row, col, v.view());
            break;
        case Value::Error:
            m_sheet.addError(row, col, m_sheet.addUtf8Text(v.view()));
            break;
        }
    }

    void put(uint64_t row, uint64_t col, uint64_t count, const Value &value)
    {
        const uint32_t r = clamp(row, WorkbookSheet::MaxRows);
        for (uint64_t k = 0; k < count; ++k)
            add(r, clamp(col + k, WorkbookSheet::MaxCols), value);
    }

    // A cell read, spanning span columns from col; kept for the copies of a repeated row.
    void take(uint64_t row, uint64_t repeat, uint64_t &col, uint64_t span, Value &value)
    {
        const uint64_t at = col;
        col = std::min<uint64_t>(col + span, uint64_t(1) << 40);
        if (value.kind == Value::None) return;
        spend(span - 1);
        put(row, at, span, value);
        if (repeat > 1) {
            value.keep();
            m_cells.push_back(Cell{at, span, std::move(value)});
        }
    }

    // The text of the usual cell's one paragraph as a reader sees it.
    std::string_view paragraphText(std::string_view raw)
    {
        if (plainSpaces(raw)) return raw;
        m_text.clear();
        ParagraphText paragraphs(m_text);
        paragraphs.startParagraph();
        paragraphs.raw(raw);
        paragraphs.end();
        return m_text;
    }

    // A cell that spans more than itself, at col: a merged range of the row (only the first of
    // cells repeated across columns, which no writer merges).
    void spans(const CellAttributes &a, uint64_t col)
    {
        if ((a.columnsSpanned > 1 || a.rowsSpanned > 1) && m_merged.size() < WorkbookSheet::MaxCols)
            m_merged.push_back({col, a.columnsSpanned, a.rowsSpanned});
    }

    // The row's merged cells, in each copy of a repeated row as long as the sheet keeps more; out of
    // the way of the usual row, which has none.
    Q_NEVER_INLINE void addMerged(uint64_t row, uint64_t repeat)
    {
        for (uint64_t k = 0; k < repeat && row + k <= WorkbookSheet::MaxRows && !m_merged.empty() &&
                             !m_sheet.mergedRangesFull();
             ++k)
            for (const Merged &m : m_merged)
                m_sheet.addMergedRange(clamp(row + k, WorkbookSheet::MaxRows),
                                       clamp(m.col, WorkbookSheet::MaxCols),
                                       clamp(row + k + m.rows - 1, WorkbookSheet::MaxRows),
                                       clamp(m.col + m.cols - 1, WorkbookSheet::MaxCols));
    }

    void readRow(uint64_t row, uint64_t repeat)
    {
        m_cells.clear();
        m_merged.clear();
        uint64_t col = 1;
        const uint32_t r = clamp(row, WorkbookSheet::MaxRows);
        for (bool open = true; open;) {
            // The usual cells straight from the bytes, the others token by token.
            const std::string_view plain = m_content.xml().plainInput();
            if (!plain.empty()) {
                CellAttributes &a = m_attributes;
                a.reset();
                std::string_view paragraph;
                bool hasParagraph = false;
                if (const size_t n = plainCell(plain, a, paragraph, hasParagraph)) {
                    m_content.xml().consumePlain(n);
                    // The texts are views into the input, which stays until the next token.
                    const std::string_view text =
                        hasParagraph && a.needsText() ? paragraphText(paragraph) : std::string_view();
                    Value value = valueOf(a, text, r, col);
                    spans(a, col);
                    take(row, repeat, col, a.repeat, value);
                    continue;
                }
            }
            switch (m_content.next()) {
            case XmlScanner::StartElement: {
                if (!m_content.xml().isNamed("table-cell") &&
                    !m_content.xml().isNamed("covered-table-cell")) {
                    m_content.skip();
                    break;
                }
                CellAttributes &a = m_attributes;
                Value value = readCell(m_content, r, col, a);
                spans(a, col);
                take(row, repeat, col, a.repeat, value);
                break;
            }
            case XmlScanner::EndElement:
                open = false;
                break;
            case XmlScanner::EndDocument:
                m_content.malformed();
            default:
                break;
            }
        }
        if (!m_merged.empty()) addMerged(row, repeat);
        if (m_cells.empty()) return;
        for (uint64_t k = 1; k < repeat; ++k) {
            for (const Cell &cell : m_cells) {
                spend(cell.repeat);
                put(row + k, cell.col, cell.repeat, cell.value);
            }
        }
    }

    Content &m_content;
    WorkbookSheet &m_sheet;
    std::vector<Cell> m_cells; // of a repeated row
    struct Merged {
        uint64_t col, cols, rows;
    };
    std::vector<Merged> m_merged; // of the row
    CellAttributes m_attributes;
    std::string m_text; // a paragraph's text as read, for the cell being added
    uint64_t m_repeated = 0;
};

// The tables of content.xml in order; with a sheet, the one of that index is read into it and the
// scan stops there.
WorkbookSheetList scan(workbook::ZipPackage &package, int64_t index, bool whole, WorkbookSheet *sheet,
                       int wanted)
{
    Content content(package, index, whole);
    WorkbookSheetList tables;
    QSet<QString> hiddenStyles;
    QString tableStyle; // the table style being read
    int depth = 0;
    int spreadsheetDepth = -1;
    for (;;) {
        switch (content.next()) {
        case XmlScanner::StartElement: {
            XmlScanner &xml = content.xml();
            ++depth;
            if (xml.isNamed("spreadsheet")) {
                spreadsheetDepth = depth;
            } else if (xml.isNamed("style")) {
                std::string_view family;
                tableStyle = xml.attribute("family", family) && family == "table" ? xml.attributeText("name")
                                                                                  : QString();
            } else if (xml.isNamed("table-properties")) {
                std::string_view display;
                if (!tableStyle.isEmpty() && xml.attribute("display", display) && display == "false")
                    hiddenStyles.insert(tableStyle);
            } else if (xml.isNamed("table") && depth == spreadsheetDepth + 1) {
                const QString name = xml.attributeText("name");
                const QString style = xml.attributeText("style-name");
                std::string_view display;
                const bool hidden =
                    hiddenStyles.contains(style) || (xml.attribute("display", display) && display == "false");
                tables.append({name, hidden});
                if (sheet && tables.size() == wanted + 1) {
                    TableReader(content, *sheet).read();
                    return tables;
                }
                content.skip();
                --depth;
            } else if (spreadsheetDepth > 0 && depth > spreadsheetDepth) {
                content.skip(); // named ranges, database ranges, settings
                --depth;
            }
            break;
        }
        case XmlScanner::EndElement:
            if (depth == spreadsheetDepth) spreadsheetDepth = -1;
            --depth;
            break;
        case XmlScanner::EndDocument:
            return tables;
        default:
            break;
        }
    }
}

// Opens the package and checks that its content can be read.
int64_t contentIndex(workbook::ZipPackage &package)
{
    // An encrypted document lists how each part was encrypted in its manifest.
    const QString manifestPart = QStringLiteral("META-INF/manifest.xml");
    const int64_t manifest = package.locate(manifestPart);
    if (manifest >= 0) {
        // A list of parts: a megabyte of it is more than any document has.
        const int64_t budget = package.budget();
        package.budget() = std::min<int64_t>(budget, int64_t(1) << 20);
        QByteArray text;
        try {
            text = package.read(manifest, manifestPart);
        } catch (const PlanexoError &e) {
            if (!e.description().contains(QLatin1String("MiB"))) throw; // damaged, protected
            damaged(QStringLiteral("la parte %1 es demasiado grande").arg(manifestPart));
        }
        package.budget() = budget - text.size();
        if (text.contains("encryption-data")) fail(QStringLiteral("El libro está protegido con contraseña"));
    }
    const int64_t index = package.locate(ContentPart);
    if (index < 0) damaged(QStringLiteral("falta la parte %1").arg(ContentPart));
    return index;
}

WorkbookSheetList scanContent(workbook::ZipPackage &package, WorkbookSheet *sheet, int wanted)
{
    package.setBudget(MaxContentBytes);
    const int64_t index = contentIndex(package);
    const int64_t budget = package.budget();
    try {
        return scan(package, index, false, sheet, wanted);
    } catch (const RetryWhole &) {
        // Read whole, the part is held in memory: no more of it than of an .xlsx's part.
        package.budget() = std::min(budget, workbook::ZipPackage::MaxUncompressedBytes);
        if (sheet) sheet->dropCells();
        return scan(package, index, true, sheet, wanted);
    }
}

// Whether the package is a spreadsheet: its mimetype says so, or, without one, it holds content.xml
// and no Office Open XML content types.
bool isSpreadsheetPackage(workbook::ZipPackage &package)
{
    const int64_t mimetype = package.locate(QStringLiteral("mimetype"));
    if (mimetype < 0)
        return package.locate(ContentPart) >= 0 && package.locate(QStringLiteral("[Content_Types].xml")) < 0;
    const QByteArray type = package.peek(mimetype, 127);
    return std::string_view(type.constData(), size_t(type.size())).substr(0, SpreadsheetType.size()) ==
           SpreadsheetType;
}

} // namespace

bool isSpreadsheet(const QString &path)
{
    try {
        WorkbookFile file(path);
        return OdsReader().canRead(file);
    } catch (const PlanexoError &) {
        return false;
    }
}

} // namespace ods

bool OdsReader::canRead(WorkbookFile &file) const
{
    if (!file.looksLikeZip()) return false;
    // Written as the format asks, the package starts with its mimetype entry, stored: the file's
    // first bytes say it without opening the package.
    const QByteArray &head = file.head();
    const auto u16 = [&](int at) { return uint32_t(uchar(head[at])) | uint32_t(uchar(head[at + 1])) << 8; };
    if (head.size() >= 30 && head.startsWith("PK\x03\x04")) {
        const uint32_t nameLength = u16(26);
        const QByteArray name = head.mid(30, qsizetype(nameLength));
        if (name == "mimetype" && u16(8) == 0) {
            const QByteArray type = head.mid(qsizetype(30 + nameLength + u16(28)), 64);
            return type.startsWith(
                QByteArray(ods::SpreadsheetType.data(), qsizetype(ods::SpreadsheetType.size())));
        }
        if (name == "[Content_Types].xml" || name.startsWith("xl/")) return false;
    }
    try {
        return ods::isSpreadsheetPackage(file.zip());
    } catch (const PlanexoError &) {
        return false;
    }
}

WorkbookSheetList OdsReader::sheets(WorkbookFile &file) const
{
    const WorkbookSheetList tables = ods::scanContent(file.zip(), nullptr, -1);
    if (tables.isEmpty()) ods::fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return tables;
}

void OdsReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    if (index < 0) ods::fail(QStringLiteral("El libro no tiene la hoja %1").arg(index + 1));
    const WorkbookSheetList tables = ods::scanContent(file.zip(), &sheet, index);
    if (tables.isEmpty()) ods::fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    if (tables.size() <= index) ods::fail(QStringLiteral("El libro no tiene la hoja %1").arg(index + 1));
    sheet.finish();
}
