#include "OdsReader.h"

#include "WorkbookSheet.h"
#include "XlsxXml.h"
#include "ZipPackage.h"
#include "data/PlanexoError.h"

#include <QDate>
#include <QFile>
#include <QSet>
#include <QTime>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <zip.h>

namespace ods {
namespace {

constexpr long WorkbookError = 1004;
const QString ContentPart = QStringLiteral("content.xml");
constexpr std::string_view SpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

[[noreturn]] void fail(const QString &description)
{
    throw PlanexoError(WorkbookError, description);
}

[[noreturn]] void damaged(const QString &what)
{
    fail(QStringLiteral("El libro está dañado: %1").arg(what));
}

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
            m_xml = std::make_unique<XlsxXml>(std::string_view(m_whole.constData(), size_t(m_whole.size())));
            return;
        }
        // A part that fails is read again whole to name the line, when it is small enough to hold.
        m_retryWhole = package.declaredSize(index) <= workbook::ZipPackage::MaxUncompressedBytes;
        m_pieces = std::make_unique<workbook::ZipPackage::Pieces>(package, index, ContentPart,
                                                                  QByteArrayLiteral("</table:table-row>"));
        const std::string_view first = m_pieces->next();
        // A part in UTF-16 is converted whole by the scanner.
        if (!first.empty() && (uchar(first[0]) == 0xFF || uchar(first[0]) == 0xFE)) throw RetryWhole{};
        m_xml = std::make_unique<XlsxXml>(first);
        m_xml->setMoreToFollow(!m_pieces->atEnd());
    }

    XlsxXml &xml() { return *m_xml; }

    XlsxXml::Token next()
    {
        XlsxXml::Token t = m_xml->next();
        while (t == XlsxXml::More) {
            m_xml->releaseInput();
            const std::string_view piece = m_pieces->next();
            m_xml->continueWith(piece, !m_pieces->atEnd());
            t = m_xml->next();
        }
        if (t == XlsxXml::Error) malformed();
        return t;
    }

    // Skips the rest of the element whose start tag was just read.
    void skip()
    {
        for (int depth = 1; depth > 0;) {
            switch (next()) {
            case XlsxXml::StartElement:
                ++depth;
                break;
            case XlsxXml::EndElement:
                --depth;
                break;
            case XlsxXml::EndDocument:
                malformed();
            default:
                break;
            }
        }
    }

    [[noreturn]] void malformed()
    {
        if (m_pieces && m_retryWhole) throw RetryWhole{};
        if (m_xml->declaresDocumentType())
            damaged(QStringLiteral("la parte %1 declara un tipo de documento").arg(ContentPart));
        if (m_pieces)
            damaged(QStringLiteral("la parte %1 no es XML válido (%2)")
                        .arg(ContentPart, m_xml->error().isEmpty() ? QStringLiteral("termina antes de tiempo")
                                                                   : m_xml->error()));
        damaged(
            QStringLiteral("la parte %1 no es XML válido (línea %2: %3)")
                .arg(ContentPart)
                .arg(m_xml->line())
                .arg(m_xml->error().isEmpty() ? QStringLiteral("termina antes de tiempo") : m_xml->error()));
    }

  private:
    QByteArray m_whole;
    bool m_retryWhole = false;
    std::unique_ptr<workbook::ZipPackage::Pieces> m_pieces;
    std::unique_ptr<XlsxXml> m_xml;
};

// A repeat count (table:number-rows-repeated, -columns-repeated): at least 1, kept below a bound
// far past Excel's grid so that counts add up without overflow.
uint64_t repeatCount(const XlsxXml &xml, std::string_view attribute)
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
        if (m_paragraphs++ > 0) m_out += '\n';
        m_afterSpace = true;
        m_pending = false;
    }
    void raw(std::string_view text)
    {
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
        case XlsxXml::Text:
            scratch.clear();
            if (!content.xml().appendText(scratch)) content.malformed();
            text.raw(scratch.toStdString());
            break;
        case XlsxXml::StartElement: {
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
        case XlsxXml::EndElement:
            --depth;
            break;
        case XlsxXml::EndDocument:
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
    std::string text; // Text, Error; a Number's text as written (for a sink to take it as is)
    struct {
        uint32_t row;
        uint64_t col;
    } where{}; // a Number's cell, to name it when its text is no number
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

// Reads a table:table-cell or table:covered-table-cell whose start tag was just read: its value
// and how many columns it spans.
// A cell's attributes that say its value.
struct CellAttributes {
    std::string_view type, value, dateValue, timeValue, boolValue, calcType, gnumericError;
    std::optional<std::string> stringValue;
    uint64_t repeat = 1;
    bool formula = false;

    // As new, field by field: cheaper than a new one for every cell.
    void reset()
    {
        type = value = dateValue = timeValue = boolValue = calcType = gnumericError = {};
        stringValue.reset();
        repeat = 1;
        formula = false;
    }

    // False when an attribute's value is malformed.
    bool take(const XlsxXml::Attribute &a)
    {
        if (a.local == "value-type") {
            (a.prefix == "calcext" ? calcType : type) = a.value;
        } else if (a.local == "value") {
            value = a.value;
        } else if (a.local == "date-value") {
            dateValue = a.value;
        } else if (a.local == "time-value") {
            timeValue = a.value;
        } else if (a.local == "boolean-value") {
            boolValue = a.value;
        } else if (a.local == "string-value") {
            std::string decoded;
            if (!XlsxXml::decodeUtf8(a.value, decoded)) {
                QString text;
                if (!XlsxXml::decode(a.value, text, true)) return false;
                decoded = text.toStdString();
            }
            stringValue = std::move(decoded);
        } else if (a.local == "formula") {
            formula = true;
        } else if (a.local == "error-value") {
            gnumericError = a.value;
        } else if (a.local == "number-columns-repeated") {
            uint64_t n = 0;
            const auto r = std::from_chars(a.value.data(), a.value.data() + a.value.size(), n);
            repeat = r.ec != std::errc() || n == 0 ? 1 : std::min<uint64_t>(n, uint64_t(1) << 32);
        }
        return true;
    }

    // Whether the paragraphs' text is needed: a number's text as shown tells nothing, but for a
    // formula's boolean.
    bool needsText() const
    {
        return formula || !(type == "float" || type == "date" || type == "time" || type == "percentage" ||
                            type == "currency" || type == "boolean");
    }
};

Value valueOf(CellAttributes &a, std::string &text, uint32_t row, uint64_t col);

// Reads a table:table-cell or table:covered-table-cell whose start tag was just read: its value
// and how many columns it spans.
Value readCell(Content &content, uint32_t row, uint64_t col, uint64_t &repeat)
{
    XlsxXml &xml = content.xml();
    const bool covered = xml.isNamed("covered-table-cell");
    CellAttributes a;
    for (const XlsxXml::Attribute &attribute : xml.attributes())
        if (!a.take(attribute)) content.malformed();
    repeat = a.repeat;

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
            case XlsxXml::StartElement:
                if (xml.isNamed("p") || xml.isNamed("h"))
                    readParagraph(content, paragraphs);
                else
                    content.skip(); // comments, drawings, sub-tables
                break;
            case XlsxXml::EndElement:
                open = false;
                break;
            case XlsxXml::EndDocument:
                content.malformed();
            default:
                break;
            }
        }
    }
    return valueOf(a, text, row, col);
}

// The characters of an attribute's name, looked up: the usual cell is mostly names.
constexpr auto NameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                           c == '-' || c == '_' || c == '.';
    return table;
}();

bool nameChar(char c)
{
    return NameChars[uchar(c)];
}

// The usual cell as LibreOffice and Gnumeric write it, read straight from the bytes: blanks, then
// <table:table-cell attributes/> or <table:table-cell attributes><text:p>text</text:p></table:table-cell>
// with no reference to decode. The bytes it takes, 0 (nothing read) for any other form.
size_t plainCell(std::string_view in, CellAttributes &a, std::string_view &paragraph, bool &hasParagraph)
{
    size_t i = 0;
    while (i < in.size() && isSpace(in[i]))
        ++i;
    constexpr std::string_view Open = "<table:table-cell";
    if (in.substr(i, Open.size()) != Open) return 0;
    i += Open.size();
    XlsxXml::Attribute attribute;
    for (;;) {
        const size_t blanks = i;
        while (i < in.size() && isSpace(in[i]))
            ++i;
        if (i >= in.size()) return 0;
        if (in[i] == '>' || in[i] == '/') break;
        if (i == blanks) return 0; // a name goes on, or no blank before the attribute
        const size_t nameStart = i;
        while (i < in.size() && nameChar(in[i]))
            ++i;
        if (i == nameStart || i + 1 >= in.size() || in[i] != '=' || (in[i + 1] != '"' && in[i + 1] != '\''))
            return 0;
        const std::string_view name = in.substr(nameStart, i - nameStart);
        const char quote = in[i + 1];
        const size_t valueStart = i + 2;
        // Values are short: a plain loop beats a library search that is set up for each. A value
        // with a reference to decode is left to the scanner.
        size_t valueEnd = valueStart;
        for (; valueEnd < in.size() && in[valueEnd] != quote; ++valueEnd)
            if (in[valueEnd] == '<' || in[valueEnd] == '&') return 0;
        if (valueEnd == in.size()) return 0;
        attribute.value = in.substr(valueStart, valueEnd - valueStart);
        const size_t colon = name.find(':');
        if (colon == std::string_view::npos || name.find(':', colon + 1) != std::string_view::npos) return 0;
        attribute.prefix = name.substr(0, colon);
        attribute.local = name.substr(colon + 1);
        if (attribute.prefix == "xmlns" || !a.take(attribute)) return 0;
        i = valueEnd + 1;
    }
    if (in[i] == '/') {
        if (i + 1 >= in.size() || in[i + 1] != '>') return 0;
        hasParagraph = false;
        return i + 2;
    }
    ++i;
    constexpr std::string_view ParagraphOpen = "<text:p>", Close = "</text:p></table:table-cell>";
    if (in.substr(i, ParagraphOpen.size()) != ParagraphOpen) return 0;
    i += ParagraphOpen.size();
    size_t end = i;
    for (; end < in.size() && in[end] != '<'; ++end)
        if (in[end] == '&' || in[end] == '\r') return 0;
    if (in.substr(end, Close.size()) != Close) return 0;
    paragraph = in.substr(i, end - i);
    hasParagraph = true;
    return end + Close.size();
}

Value valueOf(CellAttributes &a, std::string &text, uint32_t row, uint64_t col)
{
    Value v;
    std::string_view type = a.type, value = a.value, dateValue = a.dateValue, timeValue = a.timeValue,
                     boolValue = a.boolValue, calcType = a.calcType, gnumericError = a.gnumericError;
    std::optional<std::string> &stringValue = a.stringValue;
    const bool formula = a.formula;

    const auto invalid = [&](std::string_view raw) {
        const QString where = WorkbookSheet::cellName(row, uint32_t(std::min<uint64_t>(col, UINT32_MAX)));
        damaged(QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                    .arg(where, QString::fromUtf8(raw.data(), qsizetype(std::min<size_t>(raw.size(), 64)))));
    };

    // An error value: LibreOffice marks it, Gnumeric names it, older writers leave a formula whose
    // cached text is an error's.
    if (calcType == "error" || !gnumericError.empty() ||
        (formula && (type == "string" || type.empty()) &&
         isErrorText(stringValue && !stringValue->empty() ? *stringValue : text))) {
        v.kind = Value::Error;
        v.text = !gnumericError.empty() ? std::string(gnumericError) : std::move(text);
        if (v.text.empty() && stringValue) v.text = *stringValue;
        return v;
    }
    if (type == "float" || type == "percentage" || type == "currency") {
        // The value is parsed when the cell is added, unless a sink takes its text as written.
        v.kind = Value::Number;
        v.text = value;
        v.where = {row, col};
        if (value.empty()) invalid(value);
        if (!formula) return v;
        if (!parseDouble(value, v.number)) invalid(value);
        // A formula's boolean result is stored as 1 or 0 with its text.
        if (v.number == 0 || v.number == 1) {
            const QString shown = QString::fromStdString(text).toUpper();
            if (shown == QLatin1String("TRUE") || shown == QLatin1String("FALSE") ||
                shown == QLatin1String("VERDADERO") || shown == QLatin1String("FALSO")) {
                v.kind = Value::Bool;
                return v;
            }
        }
        return v;
    }
    if (type == "date") {
        const std::optional<double> serial = parseDate(dateValue);
        if (!serial) invalid(dateValue);
        v.kind = Value::Date;
        v.number = *serial;
        return v;
    }
    if (type == "time") {
        const std::optional<double> days = parseDuration(timeValue);
        if (!days) invalid(timeValue);
        v.kind = Value::Date;
        v.number = *days;
        return v;
    }
    if (type == "boolean") {
        if (boolValue == "true" || boolValue == "1")
            v.number = 1;
        else if (boolValue == "false" || boolValue == "0")
            v.number = 0;
        else
            invalid(boolValue);
        v.kind = Value::Bool;
        return v;
    }
    // A string, or a cell without a type that holds text (older writers).
    v.text = stringValue && (type == "string" || !stringValue->empty()) ? std::move(*stringValue)
                                                                        : std::move(text);
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
            case XlsxXml::StartElement: {
                const XlsxXml &xml = m_content.xml();
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
            case XlsxXml::EndElement:
                --depth;
                break;
            case XlsxXml::EndDocument:
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
        if (v.text.empty()) return v.number;
        double number = 0;
        if (!parseDouble(v.text, number))
            damaged(
                QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                    .arg(WorkbookSheet::cellName(v.where.row,
                                                 uint32_t(std::min<uint64_t>(v.where.col, UINT32_MAX))),
                         QString::fromUtf8(v.text.data(), qsizetype(std::min<size_t>(v.text.size(), 64)))));
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
        case Value::Number:
            if (!v.text.empty() && m_sheet.addNumberText(row, col, v.text)) break;
            m_sheet.addNumber(row, col, numberOf(v), false);
            break;
        case Value::Date:
            m_sheet.addNumber(row, col, v.number, true);
            break;
        case Value::Bool:
            m_sheet.addBool(row, col, v.number != 0);
            break;
        case Value::Text:
            m_sheet.addStreamedText(row, col, v.text);
            break;
        case Value::Error:
            m_sheet.addError(row, col, m_sheet.addUtf8Text(v.text));
            break;
        }
    }

    void put(uint64_t row, const Cell &cell)
    {
        const uint32_t r = clamp(row, WorkbookSheet::MaxRows);
        for (uint64_t k = 0; k < cell.repeat; ++k)
            add(r, clamp(cell.col + k, WorkbookSheet::MaxCols), cell.value);
    }

    // A cell read, spanning span columns from col.
    void take(uint64_t row, uint64_t repeat, uint64_t &col, uint64_t span, Value &&value)
    {
        Cell cell{col, span, std::move(value)};
        col = std::min<uint64_t>(col + span, uint64_t(1) << 40);
        if (cell.value.kind == Value::None) return;
        spend(span - 1);
        put(row, cell);
        if (repeat > 1) m_cells.push_back(std::move(cell));
    }

    void readRow(uint64_t row, uint64_t repeat)
    {
        m_cells.clear();
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
                    std::string text;
                    if (hasParagraph && a.needsText()) {
                        ParagraphText paragraphs(text);
                        paragraphs.startParagraph();
                        paragraphs.raw(paragraph);
                    }
                    const uint64_t span = a.repeat;
                    take(row, repeat, col, span, valueOf(a, text, r, col));
                    continue;
                }
            }
            switch (m_content.next()) {
            case XlsxXml::StartElement: {
                if (!m_content.xml().isNamed("table-cell") &&
                    !m_content.xml().isNamed("covered-table-cell")) {
                    m_content.skip();
                    break;
                }
                uint64_t span = 1;
                Value value = readCell(m_content, r, col, span);
                take(row, repeat, col, span, std::move(value));
                break;
            }
            case XlsxXml::EndElement:
                open = false;
                break;
            case XlsxXml::EndDocument:
                m_content.malformed();
            default:
                break;
            }
        }
        if (m_cells.empty()) return;
        for (uint64_t k = 1; k < repeat; ++k) {
            for (const Cell &cell : m_cells) {
                spend(cell.repeat);
                put(row + k, cell);
            }
        }
    }

    Content &m_content;
    WorkbookSheet &m_sheet;
    std::vector<Cell> m_cells; // of a repeated row
    CellAttributes m_attributes;
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
        case XlsxXml::StartElement: {
            XlsxXml &xml = content.xml();
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
        case XlsxXml::EndElement:
            if (depth == spreadsheetDepth) spreadsheetDepth = -1;
            --depth;
            break;
        case XlsxXml::EndDocument:
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

WorkbookSheetList scanContent(const QString &path, WorkbookSheet *sheet, int wanted)
{
    workbook::ZipPackage package(path, MaxContentBytes);
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

} // namespace

void read(const QString &path, WorkbookSheet &sheet, int sheetIndex)
{
    if (sheetIndex < 0) fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    const WorkbookSheetList tables = scanContent(path, &sheet, sheetIndex);
    if (tables.isEmpty()) fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    if (tables.size() <= sheetIndex) fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    sheet.finish();
}

WorkbookSheetList sheets(const QString &path)
{
    const WorkbookSheetList tables = scanContent(path, nullptr, -1);
    if (tables.isEmpty()) fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return tables;
}

bool isSpreadsheet(const QString &path)
{
    // Written as the format asks, the package starts with its mimetype entry, stored: the file's
    // first bytes say it without opening the package.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(30 + 8 + 128);
    file.close();
    const auto u16 = [&](int at) { return uint32_t(uchar(head[at])) | uint32_t(uchar(head[at + 1])) << 8; };
    if (head.size() >= 30 && head.startsWith("PK\x03\x04")) {
        const uint32_t nameLength = u16(26);
        const QByteArray name = head.mid(30, qsizetype(nameLength));
        if (name == "mimetype" && u16(8) == 0) {
            const QByteArray type = head.mid(qsizetype(30 + nameLength + u16(28)), 64);
            return type.startsWith(QByteArray(SpreadsheetType.data(), qsizetype(SpreadsheetType.size())));
        }
        if (name == "[Content_Types].xml" || name.startsWith("xl/")) return false;
    }
    // Otherwise the entries say it: a mimetype anywhere, or content.xml without Office's content types.
    int error = 0;
    zip_t *zip = zip_open(workbook::zipFileName(path).constData(), ZIP_RDONLY, &error);
    if (!zip) return false;
    bool spreadsheet = false;
    const zip_int64_t mimetype = zip_name_locate(zip, "mimetype", ZIP_FL_NOCASE);
    if (mimetype >= 0) {
        if (zip_file_t *entry = zip_fopen_index(zip, zip_uint64_t(mimetype), 0)) {
            char type[128] = {};
            const zip_int64_t n = zip_fread(entry, type, sizeof type - 1);
            zip_fclose(entry);
            spreadsheet =
                n >= zip_int64_t(SpreadsheetType.size()) &&
                std::string_view(type, size_t(n)).substr(0, SpreadsheetType.size()) == SpreadsheetType;
        }
    } else {
        spreadsheet = zip_name_locate(zip, "content.xml", ZIP_FL_NOCASE) >= 0 &&
                      zip_name_locate(zip, "[Content_Types].xml", ZIP_FL_NOCASE) < 0;
    }
    zip_discard(zip);
    return spreadsheet;
}

} // namespace ods
