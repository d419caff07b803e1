#include "workbook/xlsb/XlsbReader.h"

#include "workbook/common/DateFormats.h"
#include "workbook/common/OpcPackage.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/common/ZipPackage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xlsb {
namespace {

using workbook::damaged;
using workbook::fail;
using workbook::ZipPackage;

// Record types of the parts read here.
enum : uint32_t {
    BrtRowHdr = 0x00,
    BrtCellBlank = 0x01,
    BrtCellRk = 0x02,
    BrtCellError = 0x03,
    BrtCellBool = 0x04,
    BrtCellReal = 0x05,
    BrtCellSt = 0x06,
    BrtCellIsst = 0x07,
    BrtFmlaString = 0x08,
    BrtFmlaNum = 0x09,
    BrtFmlaBool = 0x0A,
    BrtFmlaError = 0x0B,
    // The short forms leave the column out: the one after the row's previous cell.
    BrtShortBlank = 0x0C,
    BrtShortRk = 0x0D,
    BrtShortError = 0x0E,
    BrtShortBool = 0x0F,
    BrtShortReal = 0x10,
    BrtShortSt = 0x11,
    BrtShortIsst = 0x12,
    BrtSSTItem = 0x13,
    BrtFmt = 0x2C,
    BrtXF = 0x2F,
    BrtCellRString = 0x3E,
    BrtBeginSheetData = 0x91,
    BrtEndSheetData = 0x92,
    BrtMergeCell = 0xB0,
    BrtWsDim = 0x94,
    BrtWbProp = 0x99,
    BrtBundleSh = 0x9C,
    BrtBeginSst = 0x9F,
    BrtBeginCellXFs = 0x269,
    BrtEndCellXFs = 0x26A,
};

struct Record {
    uint32_t type = 0;
    const uint8_t *data = nullptr;
    uint32_t size = 0;
};

// The records of one part, inflated piece by piece (a sheet part need not be in memory whole),
// spending the package's budget.
class RecordStream {
  public:
    RecordStream(ZipPackage &package, int64_t index, const QString &name)
        : m_stream(package, index, name), m_declared(package.declaredSize(index))
    {
    }
    RecordStream(const RecordStream &) = delete;
    RecordStream &operator=(const RecordStream &) = delete;

    // The size the part declares (at most the cap), to size what is reserved; 0 when unknown.
    int64_t declaredBytes() const { return m_declared; }
    const QString &name() const { return m_stream.name(); }

    // The next record, valid until the next call; false at the end of the part.
    Q_ALWAYS_INLINE bool next(Record &record)
    {
        if (m_end - m_pos >= 3) {
            // The usual record: a one-byte type and a one-byte size, held whole.
            const uint8_t *p = m_buffer.data() + m_pos;
            if (!((p[0] | p[1]) & 0x80) && m_end - m_pos >= size_t(2) + p[1]) {
                record.type = p[0];
                record.size = p[1];
                record.data = p + 2;
                m_pos += size_t(2) + p[1];
                return true;
            }
        }
        return nextLong(record);
    }

  private:
    // Any other record, or one not held whole.
    Q_NEVER_INLINE bool nextLong(Record &record)
    {
        // Type: one or two bytes of seven bits; size: up to four bytes of seven bits. Offsets count
        // from the record's start, which moves when more is inflated.
        if (!available(1)) return false;
        size_t at = 0;
        uint32_t type = m_buffer[m_pos + at++];
        if (type & 0x80) {
            if (!available(at + 1)) truncated();
            type = (type & 0x7F) | (uint32_t(m_buffer[m_pos + at++] & 0x7F) << 7);
        }
        uint32_t size = 0;
        for (int shift = 0;; shift += 7) {
            if (!available(at + 1)) truncated();
            const uint8_t b = m_buffer[m_pos + at++];
            size |= uint32_t(b & 0x7F) << shift;
            if (!(b & 0x80)) break;
            if (shift == 21) damaged(QStringLiteral("la parte %1 tiene un registro no válido").arg(name()));
        }
        if (!available(at + size)) truncated();
        record.type = type;
        record.data = m_buffer.data() + m_pos + at;
        record.size = size;
        m_pos += at + size;
        return true;
    }

    [[noreturn]] void truncated() const
    {
        damaged(QStringLiteral("la parte %1 termina antes de tiempo").arg(name()));
    }

    // Whether n bytes from the current position are held, inflating more as needed. The buffer
    // grows only as bytes come out, whatever size a record claims.
    bool available(size_t n)
    {
        if (m_end - m_pos >= n) return true;
        if (m_eof) return false;
        if (m_end > m_pos) std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
        if (m_buffer.size() < Piece) m_buffer.resize(Piece);
        while (m_end < n || m_end < Piece) {
            if (m_end == m_buffer.size()) m_buffer.resize(std::min(std::max(n, Piece), m_buffer.size() * 2));
            const int64_t got = m_stream.read(reinterpret_cast<char *>(m_buffer.data() + m_end),
                                              int64_t(m_buffer.size() - m_end));
            if (got == 0) {
                m_eof = true;
                break;
            }
            m_end += size_t(got);
        }
        return m_end - m_pos >= n;
    }

    static constexpr size_t Piece = size_t(1) << 16;
    ZipPackage::Stream m_stream;
    int64_t m_declared = 0;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0, m_end = 0;
    bool m_eof = false;
};

// UTF-16LE units as UTF-8 written from w, which has room for three bytes a unit; where the
// text ends. A lone surrogate becomes U+FFFD, as the sheet keeps it.
char *utf16ToUtf8(const uint8_t *p, size_t units, char *w)
{
    for (size_t i = 0; i < units; ++i) {
#if defined(__SSE2__)
        // Eight ASCII units at a time, narrowed together.
        const __m128i high = _mm_set1_epi16(short(0xFF80));
        while (units - i >= 8) {
            const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(eight, high), _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storel_epi64(reinterpret_cast<__m128i *>(w), _mm_packus_epi16(eight, eight));
            w += 8;
            i += 8;
        }
#endif
        // Four ASCII units at a time, most of a sheet's text.
        while (units - i >= 4) {
            uint64_t four;
            std::memcpy(&four, p + 2 * i, 8);
            if (four & 0xFF80FF80FF80FF80ull) break;
            w[0] = char(p[2 * i]);
            w[1] = char(p[2 * i + 2]);
            w[2] = char(p[2 * i + 4]);
            w[3] = char(p[2 * i + 6]);
            w += 4;
            i += 4;
        }
        if (i == units) break;
        uint32_t c = uint32_t(p[2 * i]) | uint32_t(p[2 * i + 1]) << 8;
        if (c < 0x80) {
            *w++ = char(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            const uint32_t low = i + 1 < units ? uint32_t(p[2 * i + 2]) | uint32_t(p[2 * i + 3]) << 8 : 0;
            if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        }
        if (c < 0x800) {
            *w++ = char(0xC0 | (c >> 6));
            *w++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *w++ = char(0xE0 | (c >> 12));
            *w++ = char(0x80 | ((c >> 6) & 0x3F));
            *w++ = char(0x80 | (c & 0x3F));
        } else {
            // Two units make these four bytes: within the room made.
            *w++ = char(0xF0 | (c >> 18));
            *w++ = char(0x80 | ((c >> 12) & 0x3F));
            *w++ = char(0x80 | ((c >> 6) & 0x3F));
            *w++ = char(0x80 | (c & 0x3F));
        }
    }
    return w;
}

// The fields of one record, each read only when the record holds it.
class Fields {
  public:
    explicit Fields(const Record &r) : m_p(r.data), m_end(r.data + r.size) {}

    bool u8(uint8_t &v)
    {
        if (m_end - m_p < 1) return false;
        v = *m_p++;
        return true;
    }
    bool u16(uint32_t &v)
    {
        if (m_end - m_p < 2) return false;
        v = uint32_t(m_p[0]) | uint32_t(m_p[1]) << 8;
        m_p += 2;
        return true;
    }
    bool u32(uint32_t &v)
    {
        if (m_end - m_p < 4) return false;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&v, m_p, sizeof v);
        else
            v = uint32_t(m_p[0]) | uint32_t(m_p[1]) << 8 | uint32_t(m_p[2]) << 16 | uint32_t(m_p[3]) << 24;
        m_p += 4;
        return true;
    }
    bool f64(double &v)
    {
        if (m_end - m_p < 8) return false;
        uint64_t bits = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&bits, m_p, sizeof bits); // one load, not eight
        } else {
            for (int i = 7; i >= 0; --i)
                bits = bits << 8 | m_p[i];
        }
        std::memcpy(&v, &bits, sizeof v);
        m_p += 8;
        return true;
    }
    bool skip(size_t n)
    {
        if (size_t(m_end - m_p) < n) return false;
        m_p += n;
        return true;
    }
    // An XLWideString (a count of UTF-16 units, then the units) as UTF-8 into out. nullable: a
    // count of 0xFFFFFFFF is no string (empty).
    bool wideString(std::string &out, bool nullable = false)
    {
        uint32_t count = 0;
        if (!u32(count)) return false;
        out.clear();
        if (nullable && count == 0xFFFFFFFF) return true;
        if (size_t(m_end - m_p) / 2 < count) return false;
        // Room made at once: a string grown byte by byte costs a third of a sheet's load.
        out.resize(size_t(count) * 3);
        out.resize(size_t(utf16ToUtf8(m_p, count, out.data()) - out.data()));
        m_p += size_t(count) * 2;
        return true;
    }
    // The same, left as UTF-16LE units for the caller to convert.
    bool wideUnits(const uint8_t *&units, uint32_t &count)
    {
        if (!u32(count) || size_t(m_end - m_p) / 2 < count) return false;
        units = m_p;
        m_p += size_t(count) * 2;
        return true;
    }

  private:
    const uint8_t *m_p;
    const uint8_t *m_end;
};

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

[[noreturn]] void badRecord(const RecordStream &part, uint32_t type)
{
    damaged(QStringLiteral("la parte %1 tiene un registro no válido (tipo %2)").arg(part.name()).arg(type));
}

struct Book {
    QString part;
    QHash<QString, workbook::Relationship> rels;
    struct Sheet {
        WorkbookSheetInfo info;
        QString part;
    };
    std::vector<Sheet> sheets; // the worksheets, in workbook order
    bool date1904 = false;
};

// The workbook part the package's root relationship names, else xl/workbook.bin; empty when the
// package holds neither.
QString binaryWorkbookPart(ZipPackage &package)
{
    return workbook::workbookPart(package, QStringLiteral("xl/workbook.bin"));
}

Book openBook(ZipPackage &package)
{
    Book book;
    book.part = binaryWorkbookPart(package);
    if (book.part.isEmpty())
        fail(QStringLiteral("El archivo no es un libro de Excel: el paquete no contiene un libro"));
    book.rels = workbook::readRelationships(package, book.part);
    RecordStream part(package, package.locate(book.part), book.part);
    bool sawSheet = false;
    std::string relId, name;
    Record r;
    while (part.next(r)) {
        if (r.type == BrtWbProp) {
            Fields f(r);
            uint32_t flags = 0;
            if (!f.u32(flags)) badRecord(part, r.type);
            book.date1904 = flags & 1;
        } else if (r.type == BrtBundleSh) {
            Fields f(r);
            uint32_t state = 0, tabId = 0;
            if (!f.u32(state) || !f.u32(tabId) || !f.wideString(relId, true) || !f.wideString(name))
                badRecord(part, r.type);
            sawSheet = true;
            const auto rel = book.rels.constFind(fromUtf8(relId));
            if (rel == book.rels.constEnd()) {
                // A sheet after the first worksheet that has no part is left out of the list.
                if (!book.sheets.empty()) continue;
                damaged(QStringLiteral("la hoja «%1» no tiene parte").arg(fromUtf8(name)));
            }
            if (!workbook::typeIs(rel->type, QLatin1String("worksheet"))) continue; // chart, dialog, macro
            book.sheets.push_back({{fromUtf8(name), state == 1 || state == 2}, rel->target});
        }
    }
    if (book.sheets.empty())
        fail(sawSheet ? QStringLiteral("El libro no tiene ninguna hoja de cálculo, solo gráficos o macros")
                      : QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return book;
}

// Which cell formats (the cellXfs list) show dates.
std::vector<bool> readDateStyles(ZipPackage &package, const QString &name)
{
    std::vector<bool> dateXf;
    const int64_t index = package.locate(name);
    if (index < 0) return dateXf;
    RecordStream part(package, index, name);
    QHash<uint32_t, bool> customIsDate;
    bool inCellXfs = false;
    std::string code;
    Record r;
    while (part.next(r)) {
        if (r.type == BrtFmt) {
            Fields f(r);
            uint32_t id = 0;
            if (!f.u16(id) || !f.wideString(code)) badRecord(part, r.type);
            customIsDate.insert(id, workbook::isDateFormatCode(fromUtf8(code)));
        } else if (r.type == BrtBeginCellXFs) {
            inCellXfs = true;
        } else if (r.type == BrtEndCellXFs) {
            inCellXfs = false;
        } else if (r.type == BrtXF && inCellXfs) {
            Fields f(r);
            uint32_t parent = 0, id = 0;
            if (!f.u16(parent) || !f.u16(id)) badRecord(part, r.type);
            const auto it = customIsDate.constFind(id);
            dateXf.push_back(it != customIsDate.constEnd() ? *it : workbook::isDateFormatId(int(id)));
        }
    }
    return dateXf;
}

// Adds the shared strings to the sheet in their order; the number read.
uint32_t readSharedStrings(ZipPackage &package, const QString &name, WorkbookSheet &sheet)
{
    const int64_t index = package.locate(name);
    if (index < 0) return 0;
    RecordStream part(package, index, name);
    // The texts as UTF-8 in one buffer the sheet then holds, not copied string by string.
    QByteArray buffer;
    qsizetype used = 0;
    buffer.resize(qsizetype(part.declaredBytes()) + 65536);
    uint32_t count = 0;
    Record r;
    while (part.next(r)) {
        if (r.type == BrtSSTItem) {
            // A rich or phonetic string: flags, the text, then runs and phonetic data left unread.
            Fields f(r);
            uint8_t flags = 0;
            const uint8_t *units = nullptr;
            uint32_t length = 0;
            if (!f.u8(flags) || !f.wideUnits(units, length)) badRecord(part, r.type);
            const qsizetype room = qsizetype(length) * 3;
            if (buffer.size() - used < room) buffer.resize(std::max(buffer.size() * 2, used + room));
            char *const at = buffer.data() + used;
            const qsizetype written = utf16ToUtf8(units, length, at) - at;
            sheet.addUtf8String(uint32_t(used), uint32_t(written));
            used += written;
            ++count;
        } else if (r.type == BrtBeginSst) {
            // Room for the declared strings, at most as many as the part could hold.
            Fields f(r);
            uint32_t total = 0, unique = 0;
            if (f.u32(total) && f.u32(unique))
                sheet.reserveStrings(std::min<size_t>(unique, size_t(part.declaredBytes() / 6)));
        }
    }
    buffer.truncate(used);
    sheet.holdUtf8(std::move(buffer));
    return count;
}

// The merged ranges after the sheet's cells (rows and columns from 0 there); a record too short
// for one merges nothing.
void readMergedRanges(RecordStream &part, WorkbookSheet &sheet)
{
    const auto fromOne = [](uint32_t v) { return uint32_t(std::min<uint64_t>(uint64_t(v) + 1, UINT32_MAX)); };
    Record r;
    while (part.next(r)) {
        if (r.type != BrtMergeCell) continue;
        Fields f(r);
        uint32_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
        if (f.u32(r1) && f.u32(r2) && f.u32(c1) && f.u32(c2))
            sheet.addMergedRange(fromOne(r1), fromOne(c1), fromOne(r2), fromOne(c2));
    }
}

void readCells(ZipPackage &package, const QString &name, const std::vector<bool> &dateXf,
               uint32_t firstShared, uint32_t sharedCount, WorkbookSheet &sheet)
{
    const int64_t index = package.locate(name);
    if (index < 0) damaged(QStringLiteral("falta la parte %1").arg(name));
    RecordStream part(package, index, name);
    // Rows and columns of the part count from 0; a cell before any row is in the first.
    uint32_t row = 1;
    int64_t col = -1;
    bool reserved = false;
    std::string text;
    Record r;
    while (part.next(r)) {
        uint32_t type = r.type;
        if (type == BrtEndSheetData) {
            readMergedRanges(part, sheet);
            break;
        }
        if (type == BrtRowHdr) {
            Fields f(r);
            uint32_t rw = 0;
            if (!f.u32(rw)) badRecord(part, type);
            row = rw == UINT32_MAX ? rw : rw + 1;
            col = -1;
            continue;
        }
        if (type == BrtWsDim || type == BrtBeginSheetData) {
            // The declared size reserves the cells at once, at most as many as the part could hold.
            Fields f(r);
            uint32_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
            if (type == BrtWsDim && !reserved && f.u32(r1) && f.u32(r2) && f.u32(c1) && f.u32(c2) &&
                r2 >= r1 && c2 >= c1) {
                reserved = true;
                sheet.reserveCells(std::min<size_t>(size_t(r2 - r1 + 1) * size_t(c2 - c1 + 1),
                                                    size_t(part.declaredBytes() / 8)));
            }
            continue;
        }
        const bool isShort = type >= BrtShortBlank && type <= BrtShortIsst;
        if (!isShort && !(type >= BrtCellBlank && type <= BrtFmlaError) && type != BrtCellRString) continue;

        Fields f(r);
        if (isShort) {
            ++col;
            type -= BrtShortBlank - BrtCellBlank; // the value that follows is that of the long form
        } else {
            uint32_t c = 0;
            if (!f.u32(c)) badRecord(part, type);
            col = c;
        }
        // The style: 24 bits of index and 8 of flags.
        uint32_t style = 0;
        if (!f.u32(style)) badRecord(part, type);
        style &= 0xFFFFFF;
        const uint32_t c = col >= int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(col + 1);
        const auto number = [&](double value) {
            if (!std::isfinite(value))
                damaged(QStringLiteral("la celda %1 tiene un valor no válido")
                            .arg(WorkbookSheet::cellName(row, c)));
            sheet.addNumber(row, c, value, style < dateXf.size() && dateXf[style]);
        };
        switch (type) {
        case BrtCellBlank:
            break;
        case BrtCellRk: {
            uint32_t rk = 0;
            if (!f.u32(rk)) badRecord(part, type);
            double value;
            if (rk & 2) {
                value = double(int32_t(rk) >> 2);
            } else {
                const uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
                std::memcpy(&value, &bits, sizeof value);
            }
            number(rk & 1 ? value / 100 : value);
            break;
        }
        case BrtCellReal:
        case BrtFmlaNum: {
            double value = 0;
            if (!f.f64(value)) badRecord(part, type);
            number(value);
            break;
        }
        case BrtCellBool:
        case BrtFmlaBool: {
            uint8_t value = 0;
            if (!f.u8(value)) badRecord(part, type);
            sheet.addBool(row, c, value != 0);
            break;
        }
        case BrtCellError:
        case BrtFmlaError: {
            uint8_t code = 0;
            if (!f.u8(code)) badRecord(part, type);
            QString error;
            switch (code) {
            case 0x00:
                error = QStringLiteral("#NULL!");
                break;
            case 0x07:
                error = QStringLiteral("#DIV/0!");
                break;
            case 0x0F:
                error = QStringLiteral("#VALUE!");
                break;
            case 0x17:
                error = QStringLiteral("#REF!");
                break;
            case 0x1D:
                error = QStringLiteral("#NAME?");
                break;
            case 0x24:
                error = QStringLiteral("#NUM!");
                break;
            case 0x2A:
                error = QStringLiteral("#N/A");
                break;
            case 0x2B:
                error = QStringLiteral("#GETTING_DATA");
                break;
            default:
                error = QStringLiteral("#ERROR(%1)").arg(code);
                break;
            }
            sheet.addError(row, c, sheet.addString(error));
            break;
        }
        case BrtCellSt:
        case BrtFmlaString:
        case BrtCellRString: {
            uint8_t flags = 0;
            if ((type == BrtCellRString && !f.u8(flags)) || !f.wideString(text)) badRecord(part, type);
            sheet.addStreamedText(row, c, text);
            break;
        }
        case BrtCellIsst: {
            uint32_t i = 0;
            if (!f.u32(i)) badRecord(part, type);
            if (i >= sharedCount)
                damaged(QStringLiteral("la celda %1 usa el texto compartido %2, que no existe")
                            .arg(WorkbookSheet::cellName(row, c))
                            .arg(i));
            sheet.addSharedText(row, c, firstShared + i);
            break;
        }
        default:
            break;
        }
    }
}

WorkbookSheetList sheets(ZipPackage &package)
{
    package.setBudget(ZipPackage::MaxUncompressedBytes);
    WorkbookSheetList out;
    for (const auto &s : openBook(package).sheets)
        out.append(s.info);
    return out;
}

void read(ZipPackage &package, WorkbookSheet &sheet, int sheetIndex)
{
    package.setBudget(ZipPackage::MaxUncompressedBytes);
    const Book book = openBook(package);
    if (sheetIndex < 0 || size_t(sheetIndex) >= book.sheets.size())
        fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    sheet.setDate1904(book.date1904);
    const QString stylesPart =
        workbook::relatedPart(book.rels, book.part, QLatin1String("styles"), QStringLiteral("styles.bin"));
    const QString stringsPart = workbook::relatedPart(book.rels, book.part, QLatin1String("sharedStrings"),
                                                      QStringLiteral("sharedStrings.bin"));

    const std::vector<bool> dateXf = readDateStyles(package, stylesPart);
    const uint32_t firstShared = sheet.stringCount();
    const uint32_t sharedCount = readSharedStrings(package, stringsPart, sheet);
    readCells(package, book.sheets[size_t(sheetIndex)].part, dateXf, firstShared, sharedCount, sheet);
    sheet.finish();
}

} // namespace
} // namespace xlsb

bool XlsbReader::canRead(WorkbookFile &file) const
{
    if (!file.looksLikeZip()) return false;
    try {
        return xlsb::binaryWorkbookPart(file.zip()).endsWith(QLatin1String(".bin"), Qt::CaseInsensitive);
    } catch (const PlanexoError &) {
        return false; // the .xlsx reader says what is wrong with it
    }
}

WorkbookSheetList XlsbReader::sheets(WorkbookFile &file) const
{
    return xlsb::sheets(file.zip());
}

void XlsbReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    xlsb::read(file.zip(), sheet, index);
}
