#include "workbook/xlsx/XlsxReader.h"

#include "workbook/common/FileKind.h"
#include "workbook/common/OpcPackage.h"
#include "workbook/common/Prefault.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/common/XmlScanner.h"

#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace xlsx {
namespace {

using workbook::damaged;
using workbook::fail;
using workbook::Relationship;
using workbook::ZipPackage;

// Thrown while a sheet is read in pieces and its XML fails: the part is read again whole, so that
// the failure (or a success the pieces missed) is exactly that of the whole part.
struct RetryWhole {};

// A sheet part is read in pieces of about this size (small enough to stay in the cache), each
// ending after a row's end tag.
constexpr qsizetype PieceBytes = qsizetype(1) << 18;

// Where the last complete row of data ends ("</row>", any prefix), or 0.
qsizetype lastRowEnd(const char *data, qsizetype size)
{
    for (qsizetype i = size - 4; i > 0; --i) {
        if (data[i + 3] == '>' && data[i] == 'r' && data[i + 1] == 'o' && data[i + 2] == 'w' &&
            (data[i - 1] == '/' || data[i - 1] == ':'))
            return i + 4;
    }
    return 0;
}

// One part in memory with its scanner, whole or (a sheet) in pieces; every way the part can go
// wrong becomes a failure.
class PartReader {
  public:
    PartReader(ZipPackage &package, int64_t index, const QString &name)
        : m_data(package.read(index, name)),
          m_xml(std::string_view(m_data.constData(), size_t(m_data.size()))), m_name(name)
    {
    }

    // In pieces: only one piece of the part is in memory at a time.
    struct InPieces {};
    PartReader(ZipPackage &package, int64_t index, const QString &name, InPieces)
        : m_data(firstPiece(package, index, name)),
          m_xml(std::string_view(m_data.constData(), size_t(m_cut))), m_name(name)
    {
        m_xml.setMoreToFollow(!lastPiece());
    }

    PartReader(const PartReader &) = delete;
    PartReader &operator=(const PartReader &) = delete;

    XmlScanner &xml() { return m_xml; }
    const QByteArray &data() const { return m_data; }
    // The part's bytes, for a holder that outlives the reader; the scanner is done with them.
    QByteArray takeData() { return std::move(m_data); }

    XmlScanner::Token next()
    {
        XmlScanner::Token t = m_xml.next();
        while (t == XmlScanner::More) {
            nextPiece();
            t = m_xml.next();
        }
        if (t == XmlScanner::Error) check();
        return t;
    }

    void skip()
    {
        if (!m_xml.skipElement()) check();
    }

    [[noreturn]] void check()
    {
        if (m_package) throw RetryWhole{};
        m_xml.failPart(m_name);
    }

  private:
    QByteArray firstPiece(ZipPackage &package, int64_t index, const QString &name)
    {
        m_package = &package;
        m_stream = std::make_unique<ZipPackage::Stream>(package, index, name);
        // Room for a usual piece at once: a buffer grown step by step is copied at every step.
        m_piece.reserve(PieceBytes + PieceBytes / 2 + 65536);
        workbook::prefault(m_piece.data(), size_t(PieceBytes));
        fill();
        // A UTF-16 part is converted whole.
        if (m_used >= 2 && (uchar(m_piece[0]) == 0xFF || uchar(m_piece[0]) == 0xFE)) throw RetryWhole{};
        return std::move(m_piece);
    }

    bool lastPiece() const { return m_end && m_cut == m_used; }

  public:
    // Inflates the rest of a part read in pieces, only spending the budget.
    void drain()
    {
        while (!m_end) {
            m_used = 0;
            fill();
        }
    }

  private:
    // Reads on until a row ends in what is held or the part ends, and sets the cut there.
    void fill()
    {
        qsizetype target = std::max(PieceBytes, m_used * 2);
        for (;;) {
            while (!m_end && m_used < target) {
                if (m_piece.size() < m_used + 65536) m_piece.resize(m_used + 65536 + m_used / 2);
                const int64_t n = m_stream->read(m_piece.data() + m_used, m_piece.size() - m_used);
                if (n == 0) m_end = true;
                m_used += qsizetype(n);
            }
            m_cut = m_end ? m_used : lastRowEnd(m_piece.constData(), m_used);
            if (m_cut > 0 || m_end) return;
            target *= 2; // a row longer than a piece
        }
    }

    void nextPiece()
    {
        // What follows the cut moves to the front once the scanner has let go of the piece.
        m_xml.releaseInput();
        const qsizetype rest = m_used - m_cut;
        std::memmove(m_data.data(), m_data.constData() + m_cut, size_t(rest));
        m_used = rest;
        m_piece = std::move(m_data);
        fill();
        m_data = std::move(m_piece);
        m_xml.continueWith(std::string_view(m_data.constData(), size_t(m_cut)), !lastPiece());
    }

    // Declared before m_data, whose initialiser sets them when the part is read in pieces; the
    // stream is closed also when that initialiser throws and no destructor of the reader runs.
    ZipPackage *m_package = nullptr;
    std::unique_ptr<ZipPackage::Stream> m_stream;
    qsizetype m_used = 0, m_cut = 0;
    bool m_end = false;
    QByteArray m_piece; // the buffer while it is filled
    QByteArray m_data;
    XmlScanner m_xml;
    QString m_name;
};

} // namespace

namespace {

// A cell reference such as "AB12"; false when it is not one. Column and row are at least 1.
bool parseReference(std::string_view ref, uint32_t &row, uint32_t &col)
{
    size_t i = 0;
    uint64_t c = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        c = c * 26 + uint64_t((ref[i] | 0x20) - 'a' + 1);
        if (c > UINT32_MAX) return false;
        ++i;
    }
    if (i == 0 || i == ref.size()) return false;
    uint64_t r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + uint64_t(ref[i] - '0');
        if (r > UINT32_MAX) return false;
    }
    if (r == 0) return false;
    row = uint32_t(r);
    col = uint32_t(c);
    return true;
}

bool isBlank(char c);
std::string_view trimmed(std::string_view text);

// A range of cells such as "A1:C2".
bool parseRange(std::string_view text, uint32_t &r1, uint32_t &c1, uint32_t &r2, uint32_t &c2)
{
    const std::string_view ref = trimmed(text);
    const size_t colon = ref.find(':');
    return colon != std::string_view::npos && parseReference(ref.substr(0, colon), r1, c1) &&
           parseReference(ref.substr(colon + 1), r2, c2);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
    if (!text.empty() && !isBlank(text.front()) && !isBlank(text.back())) return text;
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool parseUInt(std::string_view text, uint32_t &value)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + uint64_t(ch - '0');
    }
    if (v > UINT32_MAX) return false;
    value = uint32_t(v);
    return true;
}

bool parseDouble(std::string_view text, double &value)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 64) return false;
    // Whole numbers of up to 15 digits, the most common value, are exact as integers.
    if (text.size() <= 15) {
        int64_t whole = 0;
        size_t i = text[0] == '-' ? 1 : 0;
        bool digits = i < text.size();
        for (; i < text.size() && digits; ++i) {
            if (text[i] < '0' || text[i] > '9')
                digits = false;
            else
                whole = whole * 10 + (text[i] - '0');
        }
        if (digits) {
            value = text[0] == '-' ? -double(whole) : double(whole);
            return true;
        }
    }
    // Only the characters of a decimal number: from_chars would take "inf" and "nan" too.
    for (const char ch : text)
        if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '+' || ch == 'e' || ch == 'E'))
            return false;
    if (text.front() == '+') text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// ISO 8601 date, date and time, or time as a serial of the workbook's date system.
bool parseIsoDate(std::string_view text, bool date1904, double &serial)
{
    const QString t = fromUtf8(trimmed(text));
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid()) {
            const QTime time = QTime::fromString(t, Qt::ISODateWithMs);
            if (!time.isValid()) return false;
            serial = time.msecsSinceStartOfDay() / 86400000.0;
            return true;
        }
        dt = QDateTime(d, QTime(0, 0));
    }
    serial = WorkbookSheet::serialOf(dt.date(), dt.time(), date1904);
    return serial >= 0;
}

} // namespace

namespace {

// Decodes the _xHHHH_ escapes of OOXML strings (e.g. _x000D_ for a carriage return).
void decodeEscapes(QString &text)
{
    // A character search first: most texts have no underscore at all.
    if (text.indexOf(u'_') < 0 || !text.contains(QLatin1String("_x"))) return;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            bool ok = false;
            const uint code = QStringView(text).mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    text = out;
}

// Which cell formats (cellXfs entries) show dates.
std::vector<bool> readDateStyles(ZipPackage &package, const QString &part)
{
    std::vector<bool> dateXf;
    const int64_t index = package.locate(part);
    if (index < 0) return dateXf;
    PartReader reader(package, index, part);
    XmlScanner &xml = reader.xml();
    QHash<uint32_t, bool> customIsDate;
    bool inCellXfs = false;
    std::string_view raw;
    for (;;) {
        const XmlScanner::Token t = reader.next();
        if (t == XmlScanner::EndDocument) break;
        if (t == XmlScanner::StartElement) {
            if (xml.isNamed("numFmt")) {
                uint32_t id = 0;
                if (xml.attribute("numFmtId", raw) && parseUInt(raw, id))
                    customIsDate.insert(id, isDateFormatCode(xml.attributeText("formatCode")));
            } else if (xml.isNamed("cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && xml.isNamed("xf")) {
                uint32_t id = 0;
                bool isDate = false;
                if (xml.attribute("numFmtId", raw) && parseUInt(raw, id)) {
                    const auto it = customIsDate.constFind(id);
                    isDate = it != customIsDate.constEnd() ? *it : isDateFormatId(int(id));
                }
                dateXf.push_back(isDate);
                reader.skip();
            }
        } else if (t == XmlScanner::EndElement && xml.isNamed("cellXfs")) {
            inCellXfs = false;
        }
    }
    return dateXf;
}

// Reads the text of an <si> or <is> element: its own <t> and the <t> of its runs, not the
// phonetic runs.
// Reads the rest of an <si> or <is> element after any text already in `text`: its own <t> and
// the <t> of its runs, not the phonetic runs.
void readRichTextRest(PartReader &reader, QString &text)
{
    XmlScanner &xml = reader.xml();
    int depth = 1;
    while (depth > 0) {
        const XmlScanner::Token t = reader.next();
        if (t == XmlScanner::StartElement) {
            if (xml.isNamed("t")) {
                if (!xml.appendElementText(text)) reader.check();
            } else if (xml.isNamed("rPh") || xml.isNamed("phoneticPr")) {
                reader.skip();
            } else {
                ++depth;
            }
        } else if (t == XmlScanner::EndElement) {
            --depth;
        } else if (t == XmlScanner::EndDocument) {
            reader.check();
        }
    }
    decodeEscapes(text);
}

// Adds the shared strings to the sheet in their order, so that string i is the sheet's string i.
// A plain <si><t>text</t></si> stays UTF-8 in the part, which the sheet then holds.
uint32_t readSharedStrings(ZipPackage &package, const QString &part, WorkbookSheet &sheet)
{
    const int64_t index = package.locate(part);
    if (index < 0) return 0;
    PartReader reader(package, index, part);
    XmlScanner &xml = reader.xml();
    const char *base = reader.data().constData();
    QString text;
    uint32_t count = 0;
    for (;;) {
        // The usual <si><t>text</t></si> is taken whole.
        std::string_view plain;
        if (xml.plainNested("si", "t", plain)) {
            if (plain.find("_x") == std::string_view::npos) {
                sheet.addUtf8String(uint32_t(plain.data() - base), uint32_t(plain.size()));
            } else {
                text = fromUtf8(plain);
                decodeEscapes(text);
                sheet.addString(text);
            }
            ++count;
            continue;
        }
        const XmlScanner::Token t = reader.next();
        if (t == XmlScanner::EndDocument) break;
        if (t == XmlScanner::StartElement && xml.isNamed("sst")) {
            // Room for the declared strings at once, at most as many as the part could hold.
            std::string_view declared;
            uint32_t n = 0;
            if (xml.attribute("uniqueCount", declared) && parseUInt(declared, n))
                sheet.reserveStrings(std::min<size_t>(n, size_t(reader.data().size() / 8)));
        }
        if (t != XmlScanner::StartElement || !xml.isNamed("si")) continue;
        const bool fast = xml.fastChildText("t", plain);
        if (fast && xml.atEndTag() && plain.find("_x") == std::string_view::npos && plain.data() >= base &&
            plain.data() + plain.size() <= base + reader.data().size()) {
            reader.next(); // </si>
            sheet.addUtf8String(uint32_t(plain.data() - base), uint32_t(plain.size()));
        } else {
            text.truncate(0);
            if (fast) XmlScanner::appendUtf8(text, plain);
            readRichTextRest(reader, text);
            sheet.addString(text);
        }
        ++count;
    }
    sheet.holdUtf8(reader.takeData());
    return count;
}

struct WorkbookInfo {
    struct Sheet {
        WorkbookSheetInfo info;
        QString part;
    };
    std::vector<Sheet> sheets; // the worksheets, in workbook order
    bool date1904 = false;
};

WorkbookInfo readWorkbook(ZipPackage &package, const QString &part,
                          const QHash<QString, workbook::Relationship> &rels)
{
    const int64_t index = package.locate(part);
    if (index < 0) damaged(QStringLiteral("falta la parte %1").arg(part));
    PartReader reader(package, index, part);
    XmlScanner &xml = reader.xml();
    WorkbookInfo info;
    bool sawSheet = false;
    // Only the root's own children count: Excel 2013 and later repeat workbookPr inside extLst
    // (x15:workbookPr, without date1904), which must not switch the 1904 system off again.
    int depth = 0;
    for (;;) {
        const XmlScanner::Token t = reader.next();
        if (t == XmlScanner::EndDocument) break;
        if (t == XmlScanner::EndElement) --depth;
        if (t != XmlScanner::StartElement) continue;
        ++depth;
        if (depth == 2 && xml.isNamed("workbookPr")) {
            const QString v = xml.attributeText("date1904");
            info.date1904 =
                v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        } else if (xml.isNamed("sheet")) {
            sawSheet = true;
            std::string_view rawId;
            QString id;
            if (xml.attribute("id", rawId, true)) XmlScanner::decode(rawId, id, true);
            const auto rel = rels.constFind(id);
            if (rel == rels.constEnd()) {
                // A sheet after the first worksheet that has no part is left out of the list.
                if (!info.sheets.empty()) continue;
                damaged(QStringLiteral("la hoja «%1» no tiene parte").arg(xml.attributeText("name")));
            }
            // Chart, dialog and macro sheets are no worksheets.
            if (workbook::typeIs(rel->type, QLatin1String("chartsheet")) ||
                workbook::typeIs(rel->type, QLatin1String("dialogsheet")) ||
                workbook::typeIs(rel->type, QLatin1String("macrosheet")) ||
                workbook::typeIs(rel->type, QLatin1String("xlMacrosheet")) ||
                workbook::typeIs(rel->type, QLatin1String("xlIntlMacrosheet")))
                continue;
            const QString state = xml.attributeText("state");
            info.sheets.push_back({{xml.attributeText("name"),
                                    state == QLatin1String("hidden") || state == QLatin1String("veryHidden")},
                                   rel->target});
        }
    }
    if (info.sheets.empty())
        fail(sawSheet ? QStringLiteral("El libro no tiene ninguna hoja de cálculo, solo gráficos o macros")
                      : QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return info;
}

// Reads up to nine digits from p (no overflow) into value; where the digits end, p when there is none.
const char *shortDigits(const char *p, const char *end, uint32_t &value)
{
    const char *stop = end - p > 9 ? p + 9 : end;
    uint32_t v = 0;
    for (; p < stop; ++p) {
        const unsigned d = unsigned(uchar(*p)) - '0';
        if (d > 9) break;
        v = v * 10 + d;
    }
    value = v;
    return p;
}

// Reads the usual cells of a sheet from the part's bytes as they come, one after the other inside a
// row: <c r="B7" t="s" s="3"><v>text</v></c> or <c r="B7" t="inlineStr"><is><t>text</t></is></c>,
// with double quotes, single blanks and the attributes r (one to three capitals and the row's
// digits), t (none, n, s or inlineStr) and s (digits), holding a number, a shared string or an
// inline text. Each goes to the sheet as the token-by-token read below puts it; the first cell of
// any other kind or form, or anything else, is left to that read. The bytes read; row and col are
// those of the last cell read.
size_t readUsualCells(std::string_view input, const std::vector<bool> &dateXf, uint32_t sharedCount,
                      WorkbookSheet &sheet, uint32_t &row, uint32_t &col, std::string &scratch)
{
    const char *const begin = input.data();
    const char *const end = begin + input.size();
    const char *p = begin;
    enum class Kind { Number, Shared, Inline };
    // The shortest cell of this form, <c r="A1"><v>0</v></c>, is 23 bytes: within one, the reads
    // below look no further than the bytes they check.
    while (end - p >= 23 && p[0] == '<' && p[1] == 'c' && p[2] == ' ') {
        const char *q = p + 2;
        uint32_t r = 0, c = 0, xf = 0;
        Kind kind = Kind::Number;
        bool styled = false;
        while (q < end && q[0] == ' ') {
            if (end - q < 8 || q[2] != '=' || q[3] != '"') return size_t(p - begin);
            const char *v = q + 4;
            if (q[1] == 'r') {
                const char *letters = v;
                c = 0;
                while (v - letters < 3 && *v >= 'A' && *v <= 'Z')
                    c = c * 26 + uint32_t(*v++ - 'A' + 1);
                const char *digits = v;
                if (v == letters || (v = shortDigits(digits, end, r)) == digits || v - digits > 7 || r == 0)
                    return size_t(p - begin);
            } else if (q[1] == 't') {
                if (v[0] == '"') {
                    kind = Kind::Number;
                } else if (v[1] == '"' && (v[0] == 'n' || v[0] == 's')) {
                    kind = v[0] == 's' ? Kind::Shared : Kind::Number;
                    ++v;
                } else if (end - v > 10 && std::memcmp(v, "inlineStr\"", 10) == 0) {
                    kind = Kind::Inline;
                    v += 9;
                } else {
                    return size_t(p - begin);
                }
            } else if (q[1] == 's') {
                const char *digits = v;
                v = shortDigits(digits, end, xf);
                if (v == digits) return size_t(p - begin);
                styled = true;
            } else {
                return size_t(p - begin);
            }
            if (v == end || *v != '"') return size_t(p - begin);
            q = v + 1;
        }
        if (r == 0) break;

        if (kind == Kind::Inline) {
            // ><is><t>text</t></is></c>, the text with at most references to decode.
            if (end - q < 21 || std::memcmp(q, "><is><t>", 8) != 0) break;
            const char *text = q + 8;
            const char *textEnd = text;
            bool references = false;
            while (textEnd < end && *textEnd != '<' && *textEnd != '\r') {
                references = references || *textEnd == '&';
                ++textEnd;
            }
            if (end - textEnd < 13 || std::memcmp(textEnd, "</t></is></c>", 13) != 0) break;
            std::string_view value(text, size_t(textEnd - text));
            if (references) {
                scratch.clear();
                if (!XmlScanner::decodeUtf8(value, scratch)) break;
                value = scratch;
            }
            if (value.find("_x") != std::string_view::npos) break;
            sheet.addStreamedText(r, c, value);
            p = textEnd + 13;
        } else {
            // ><v>text</v></c>, the text without references or carriage returns.
            if (end - q < 13 || std::memcmp(q, "><v>", 4) != 0) break;
            const char *text = q + 4;
            const char *textEnd = text;
            while (textEnd < end && *textEnd != '<' && *textEnd != '&' && *textEnd != '\r')
                ++textEnd;
            if (end - textEnd < 8 || std::memcmp(textEnd, "</v></c>", 8) != 0) break;
            const std::string_view value(text, size_t(textEnd - text));
            if (kind == Kind::Shared) {
                uint32_t index = 0;
                if (value.empty() || shortDigits(text, textEnd, index) != textEnd || index >= sharedCount)
                    break;
                sheet.addSharedText(r, c, index);
            } else {
                const bool isDate = styled && xf < dateXf.size() && dateXf[xf];
                if (value.empty() || isBlank(value.front()) || isBlank(value.back())) break;
                if (isDate || !sheet.addNumberText(r, c, value)) {
                    double number = 0;
                    if (!parseDouble(value, number)) break;
                    sheet.addNumber(r, c, number, isDate);
                }
            }
            p = textEnd + 8;
        }
        row = r;
        col = c;
    }
    return size_t(p - begin);
}

// The length of a start tag <row ...> at the start of input whose attributes are written plainly
// (single blanks, plain names with at most one prefix, double quotes), and its row: r when given as
// digits without prefix, else the row after `row`; 0 when the input does not start so.
size_t plainRowStart(std::string_view input, uint32_t row, uint32_t &number)
{
    const char *const begin = input.data();
    const char *const end = begin + input.size();
    if (input.size() < 5 || std::memcmp(begin, "<row", 4) != 0) return 0;
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char *p = begin + 4;
    bool given = false;
    while (p < end && *p == ' ') {
        const char *name = ++p;
        const char *colon = nullptr;
        if (p == end || !isLetter(*p)) return 0;
        while (p < end && (isLetter(*p) || isDigit(*p) || (*p == ':' && !colon))) {
            if (*p == ':') {
                colon = p;
                if (++p == end || !isLetter(*p)) return 0;
            }
            ++p;
        }
        if (end - p < 3 || p[0] != '=' || p[1] != '"') return 0;
        const char *value = p + 2;
        const char *close = value;
        while (close < end && *close != '"' && *close != '<')
            ++close;
        if (close == end || *close != '"') return 0;
        const std::string_view local = colon ? std::string_view(colon + 1, size_t(p - colon - 1))
                                             : std::string_view(name, size_t(p - name));
        if (local == "r") {
            // The first r counts; one with a prefix is left to the token-by-token read.
            if (colon) return 0;
            if (!given) {
                if (close - value > 7 || shortDigits(value, close, number) != close || number == 0) return 0;
                given = true;
            }
        }
        p = close + 1;
    }
    if (p == end || *p != '>') return 0;
    if (!given) number = row + 1;
    return size_t(p + 1 - begin);
}

// Reads the usual cells and rows of a sheet, as readUsualCells and plainRowStart take them, until
// anything else follows.
void readUsualRows(XmlScanner &xml, const std::vector<bool> &dateXf, uint32_t sharedCount,
                   WorkbookSheet &sheet, uint32_t &row, uint32_t &col, std::string &scratch)
{
    for (;;) {
        const std::string_view input = xml.plainInput();
        if (input.empty()) return;
        xml.consumePlain(readUsualCells(input, dateXf, sharedCount, sheet, row, col, scratch));
        if (!xml.closePlain("row")) return;
        uint32_t number = 0;
        const size_t tag = plainRowStart(xml.plainInput(), row, number);
        if (tag == 0 || !xml.openPlain(tag, 3)) return;
        row = number;
        col = 0;
    }
}

enum class CellType { Number, Shared, Text, Inline, Bool, Error, Date };

CellType cellTypeOf(std::string_view typeName)
{
    if (typeName.empty()) return CellType::Number;
    if (typeName == "s") return CellType::Shared;
    if (typeName == "str") return CellType::Text;
    if (typeName == "inlineStr") return CellType::Inline;
    if (typeName == "b") return CellType::Bool;
    if (typeName == "e") return CellType::Error;
    if (typeName == "d") return CellType::Date;
    return CellType::Number;
}

// An element of the sheet outside its cells: the declared size reserves the cells at once (no
// copies while they grow), at most as many as the part's bytes could hold; after the cells, the
// merged ranges (one that names no range merges nothing). True when the cells start.
bool sheetElement(const XmlScanner &xml, WorkbookSheet &sheet, int64_t partBytes, bool &reserved)
{
    std::string_view raw;
    if (xml.isNamed("sheetData")) {
        // Without a declared size, room for as many cells as the part's bytes could hold: room
        // never written costs no memory, a vector grown by copies does.
        if (!reserved) sheet.reserveCells(size_t(partBytes / 16));
        return true;
    }
    uint32_t r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    if (xml.isNamed("dimension") && xml.attribute("ref", raw) && parseRange(raw, r1, c1, r2, c2) &&
        r2 >= r1 && c2 >= c1) {
        sheet.reserveCells(
            std::min<size_t>(size_t(r2 - r1 + 1) * size_t(c2 - c1 + 1), size_t(partBytes / 16)));
        reserved = true;
    } else if (xml.isNamed("mergeCell") && xml.attribute("ref", raw) && parseRange(raw, r1, c1, r2, c2)) {
        sheet.addMergedRange(r1, c1, r2, c2);
    }
    return false;
}

// A cell's value as read: its type and <v>, or its inline text (kept, streamed or to be added).
struct CellValue {
    CellType type;
    std::string_view value;
    bool hasValue, isDate, hasInline, hasInlineIndex, hasStreamedInline;
    std::string_view streamedInline;
    uint32_t inlineIndex;
};

// Adds the cell of this value to the sheet.
Q_ALWAYS_INLINE void addCell(WorkbookSheet &sheet, uint32_t row, uint32_t col, const CellValue &v,
                             const QString &inlineText, uint32_t sharedCount)
{
    const std::string_view value = v.value;
    const bool hasValue = v.hasValue;
    const auto badValue = [&]() {
        damaged(QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                    .arg(WorkbookSheet::cellName(row, col), fromUtf8(value.substr(0, 40))));
    };
    const auto addText = [&](std::string_view text) {
        QString t = fromUtf8(text);
        decodeEscapes(t);
        sheet.addText(row, col, sheet.addString(t));
    };
    switch (v.type) {
    case CellType::Inline:
        if (v.hasInline)
            if (v.hasStreamedInline)
                sheet.addStreamedText(row, col, v.streamedInline);
            else
                sheet.addText(row, col, v.hasInlineIndex ? v.inlineIndex : sheet.addString(inlineText));
        else if (hasValue)
            addText(value);
        break;
    case CellType::Text:
        if (hasValue) addText(value);
        break;
    case CellType::Shared:
        // An empty value is an empty cell, as Excel reads it (and as an empty number is).
        if (hasValue && !trimmed(value).empty()) {
            uint32_t i = 0;
            if (!parseUInt(value, i)) badValue();
            if (i >= sharedCount)
                damaged(QStringLiteral("la celda %1 usa el texto compartido %2, que no existe")
                            .arg(WorkbookSheet::cellName(row, col))
                            .arg(i));
            sheet.addSharedText(row, col, i);
        }
        break;
    case CellType::Bool:
        if (hasValue) {
            const std::string_view t = trimmed(value);
            if (t == "1" || t == "true")
                sheet.addBool(row, col, true);
            else if (t == "0" || t == "false")
                sheet.addBool(row, col, false);
            else
                badValue();
        }
        break;
    case CellType::Error:
        if (hasValue) sheet.addError(row, col, sheet.addString(fromUtf8(trimmed(value))));
        break;
    case CellType::Date:
        if (hasValue && !trimmed(value).empty()) {
            double serial = 0;
            if (!parseIsoDate(value, sheet.date1904(), serial)) badValue();
            sheet.addNumber(row, col, serial, true);
        }
        break;
    case CellType::Number:
        if (hasValue && !trimmed(value).empty()) {
            if (!v.isDate && sheet.addNumberText(row, col, trimmed(value))) break;
            double number = 0;
            if (!parseDouble(value, number)) badValue();
            sheet.addNumber(row, col, number, v.isDate);
        }
        break;
    }
}

void readCells(PartReader &reader, const QString &part, const std::vector<bool> &dateXf, uint32_t sharedCount,
               WorkbookSheet &sheet, int64_t partBytes)
{
    XmlScanner &xml = reader.xml();

    QString inlineText;
    std::string scratch, inlineScratch;
    uint32_t row = 0, col = 0;
    bool inData = false, reserved = false;
    std::string_view raw;
    // A sheet of inline strings gets room for their texts at once (room never written costs no
    // memory; a buffer grown by copies does).
    bool inlineReserved = false;
    const auto reserveInline = [&]() {
        if (inlineReserved) return;
        inlineReserved = true;
        sheet.reserveText(size_t(partBytes / 4));
        sheet.reserveStrings(sheet.stringCount() + size_t(partBytes / 64));
    };
    const bool streaming = sheet.streaming();
    for (;;) {
        // While the cells are streamed, the usual ones are read straight from the bytes.
        if (inData && streaming) readUsualRows(xml, dateXf, sharedCount, sheet, row, col, inlineScratch);
        // The usual cell is taken whole; any other goes token by token.
        XmlScanner::PlainCell plain;
        const bool plainCell = inData && xml.plainCell(plain);
        std::string_view ref, typeName, styleIndex;
        if (plainCell) {
            ref = plain.ref;
            typeName = plain.type;
            styleIndex = plain.style;
        } else {
            const XmlScanner::Token token = reader.next();
            if (token == XmlScanner::EndDocument) break;
            if (token == XmlScanner::EndElement) {
                if (xml.isNamed("sheetData")) inData = false;
                continue;
            }
            if (token != XmlScanner::StartElement) continue;
            if (!inData) {
                inData = sheetElement(xml, sheet, partBytes, reserved);
                continue;
            }
            if (xml.isNamed("row")) {
                if (!xml.attribute("r", raw)) {
                    ++row;
                } else if (!parseUInt(raw, row) || row == 0) {
                    damaged(QStringLiteral("la parte %1 tiene un número de fila no válido (%2)")
                                .arg(part, fromUtf8(raw.substr(0, 40))));
                }
                col = 0;
                continue;
            }
            if (!xml.isNamed("c")) {
                reader.skip();
                continue;
            }

            // A cell: its position, type and format, then its value.
            for (const XmlScanner::Attribute &a : xml.attributes()) {
                if (a.local.size() != 1 || !a.prefix.empty()) continue;
                if (a.local[0] == 'r')
                    ref = a.value;
                else if (a.local[0] == 't')
                    typeName = a.value;
                else if (a.local[0] == 's')
                    styleIndex = a.value;
            }
        }
        if (ref.empty()) {
            if (row == 0) row = 1;
            ++col;
        } else if (!parseReference(trimmed(ref), row, col)) {
            damaged(QStringLiteral("la parte %1 tiene una referencia de celda no válida (%2)")
                        .arg(part, fromUtf8(ref.substr(0, 40))));
        }
        const CellType type = cellTypeOf(typeName);
        bool isDate = false;
        uint32_t style = 0;
        if (type == CellType::Number && !styleIndex.empty() && parseUInt(styleIndex, style))
            isDate = style < dateXf.size() && dateXf[style];

        std::string_view value;
        bool hasValue = false, hasInline = false, hasInlineIndex = false, hasStreamedInline = false;
        std::string_view streamedInline;
        uint32_t inlineIndex = 0;
        if (plainCell) {
            hasValue = plain.hasValue;
            if (hasValue) value = plain.text;
            // An inline text is decoded also when the cell is of another type: a bad reference in
            // it fails the part.
            std::string_view text = plain.text;
            bool decoded = true;
            if (plain.isInline && plain.references) {
                inlineScratch.clear();
                decoded = XmlScanner::decodeUtf8(text, inlineScratch);
                if (decoded) text = inlineScratch;
            }
            if (plain.isInline && (type == CellType::Inline || !decoded)) {
                hasInline = true;
                if (decoded && text.find("_x") == std::string_view::npos) {
                    // Streamed, the text goes straight on: nothing is read between here and its cell.
                    if (sheet.streaming()) {
                        streamedInline = text;
                        hasStreamedInline = true;
                    } else {
                        reserveInline();
                        inlineIndex = sheet.addUtf8Text(text);
                        hasInlineIndex = true;
                    }
                } else {
                    inlineText.truncate(0);
                    if (decoded)
                        XmlScanner::appendUtf8(inlineText, text);
                    else if (!XmlScanner::decode(text, inlineText, false) && !xml.failReference())
                        reader.check();
                    decodeEscapes(inlineText);
                }
            }
        } else {
            hasValue = xml.fastChildText("v", value);
        }
        int depth = plainCell ? 0 : 1;
        while (depth > 0) {
            const XmlScanner::Token ct = reader.next();
            if (ct == XmlScanner::StartElement) {
                if (xml.isNamed("v")) {
                    if (!xml.readElementUtf8(value, scratch)) reader.check();
                    hasValue = true;
                } else if (xml.isNamed("is")) {
                    // The usual <is><t>plain text</t></is> goes from the part to the sheet as bytes.
                    std::string_view plain;
                    const bool fast = type == CellType::Inline && xml.fastChildText("t", plain, true);
                    bool decoded = true;
                    if (fast && plain.find('&') != std::string_view::npos) {
                        inlineScratch.clear();
                        decoded = XmlScanner::decodeUtf8(plain, inlineScratch);
                        if (decoded) plain = inlineScratch;
                    }
                    if (fast && decoded && xml.atEndTag() && plain.find("_x") == std::string_view::npos) {
                        reserveInline();
                        inlineIndex = sheet.addUtf8Text(plain);
                        hasInlineIndex = true;
                    } else {
                        inlineText.truncate(0);
                        if (fast && decoded)
                            XmlScanner::appendUtf8(inlineText, plain);
                        else if (fast && !XmlScanner::decode(plain, inlineText, false) &&
                                 !xml.failReference())
                            reader.check();
                        readRichTextRest(reader, inlineText);
                        hasInlineIndex = false;
                    }
                    hasInline = true;
                } else {
                    reader.skip();
                }
            } else if (ct == XmlScanner::EndElement) {
                --depth;
            } else if (ct == XmlScanner::EndDocument) {
                reader.check();
            }
        }

        CellValue cell{type,       value,          hasValue,          isDate,
                       hasInline,  hasInlineIndex, hasStreamedInline, streamedInline,
                       inlineIndex};
        addCell(sheet, row, col, cell, inlineText, sharedCount);
    }
}

void readSheet(ZipPackage &package, const QString &part, const std::vector<bool> &dateXf,
               uint32_t sharedCount, WorkbookSheet &sheet, bool inPieces)
{
    const int64_t index = package.locate(part);
    if (index < 0) damaged(QStringLiteral("falta la parte %1").arg(part));
    const int64_t partBytes = package.declaredSize(index);
    if (!inPieces) {
        PartReader reader(package, index, part);
        readCells(reader, part, dateXf, sharedCount, sheet, partBytes);
        return;
    }
    PartReader reader(package, index, part, PartReader::InPieces{});
    try {
        readCells(reader, part, dateXf, sharedCount, sheet, partBytes);
    } catch (const PlanexoError &) {
        // A whole part is inflated before its cells are read: a part over the cap says so first.
        reader.drain();
        throw;
    }
}

} // namespace

namespace {

struct OpenWorkbook {
    QString part;
    QHash<QString, workbook::Relationship> rels;
    WorkbookInfo info;
};

OpenWorkbook openWorkbook(ZipPackage &package)
{
    OpenWorkbook wb;
    wb.part = workbook::workbookPart(package, QStringLiteral("xl/workbook.xml"));
    if (wb.part.isEmpty())
        fail(QStringLiteral("El archivo no es un libro de Excel: el paquete no contiene un libro"));
    wb.rels = workbook::readRelationships(package, wb.part);
    wb.info = readWorkbook(package, wb.part, wb.rels);
    return wb;
}

WorkbookSheetList sheets(ZipPackage &package)
{
    package.setBudget(MaxUncompressedBytes);
    WorkbookSheetList out;
    for (const auto &s : openWorkbook(package).info.sheets)
        out.append(s.info);
    return out;
}

void read(ZipPackage &package, WorkbookSheet &sheet, int sheetIndex)
{
    package.setBudget(MaxUncompressedBytes);
    const OpenWorkbook wb = openWorkbook(package);
    if (sheetIndex < 0 || size_t(sheetIndex) >= wb.info.sheets.size())
        fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    const QString &sheetPart = wb.info.sheets[size_t(sheetIndex)].part;
    sheet.setDate1904(wb.info.date1904);
    const QString stylesPart =
        workbook::relatedPart(wb.rels, wb.part, QLatin1String("styles"), QStringLiteral("styles.xml"));
    const QString stringsPart = workbook::relatedPart(wb.rels, wb.part, QLatin1String("sharedStrings"),
                                                      QStringLiteral("sharedStrings.xml"));

    const std::vector<bool> dateXf = readDateStyles(package, stylesPart);
    const uint32_t sharedCount = readSharedStrings(package, stringsPart, sheet);
    const int64_t budget = package.budget();
    try {
        readSheet(package, sheetPart, dateXf, sharedCount, sheet, true);
    } catch (const RetryWhole &) {
        package.budget() = budget;
        sheet.dropCells();
        readSheet(package, sheetPart, dateXf, sharedCount, sheet, false);
    }
    sheet.finish();
}

} // namespace
} // namespace xlsx

bool XlsxReader::canRead(WorkbookFile &file) const
{
    // Any other package is read as a workbook, whose reader says what is wrong with it.
    return file.looksLikeZip() && filekind::otherDocument(file).isEmpty();
}

WorkbookSheetList XlsxReader::sheets(WorkbookFile &file) const
{
    return xlsx::sheets(file.zip());
}

void XlsxReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    xlsx::read(file.zip(), sheet, index);
}
