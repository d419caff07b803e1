#include "XlsBiff.h"

#include "WorkbookSheet.h"
#include "XlsxReader.h"
#include "data/PlanexoError.h"

#include <QHash>
#include <algorithm>
#include <cstring>

namespace xlsbiff {
namespace {

constexpr uint32_t EndOfChain = 0xFFFFFFFA; // this and above: free, end of chain, FAT, DIFAT sectors

class Bytes {
  public:
    Bytes(const char *data, size_t size) : m_data(reinterpret_cast<const uchar *>(data)), m_size(size) {}
    explicit Bytes(const QByteArray &a) : Bytes(a.constData(), size_t(a.size())) {}
    size_t size() const { return m_size; }
    bool has(size_t offset, size_t n) const { return offset <= m_size && n <= m_size - offset; }
    uint32_t u8(size_t o) const { return has(o, 1) ? m_data[o] : 0; }
    uint32_t u16(size_t o) const
    {
        return has(o, 2) ? uint32_t(m_data[o]) | uint32_t(m_data[o + 1]) << 8 : 0;
    }
    uint32_t u32(size_t o) const { return has(o, 4) ? u16(o) | u16(o + 2) << 16 : 0; }
    double f64(size_t o) const
    {
        uint64_t bits = 0;
        if (has(o, 8))
            for (int i = 7; i >= 0; --i)
                bits = bits << 8 | m_data[o + size_t(i)];
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    const uchar *at(size_t o) const { return m_data + o; }

  private:
    const uchar *m_data;
    size_t m_size;
};

// Follows a chain of sectors through an allocation table; empty when it leaves the table or loops.
std::vector<uint32_t> chain(uint32_t start, const std::vector<uint32_t> &table)
{
    std::vector<uint32_t> out;
    for (uint32_t s = start; s < EndOfChain;) {
        if (s >= table.size() || out.size() >= table.size()) return {};
        out.push_back(s);
        s = table[s];
    }
    return out;
}

QString errorText(uint32_t code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#GETTING_DATA");
    }
}

struct Record {
    uint32_t type = 0;
    size_t data = 0; // offset of the record's data
    size_t length = 0;
};

class RecordReader {
  public:
    explicit RecordReader(const QByteArray &stream) : m_bytes(stream) {}
    void seek(size_t offset) { m_pos = offset; }
    bool next(Record &r)
    {
        if (!m_bytes.has(m_pos, 4)) return false;
        r.type = m_bytes.u16(m_pos);
        r.length = m_bytes.u16(m_pos + 2);
        r.data = m_pos + 4;
        if (!m_bytes.has(r.data, r.length)) return false;
        m_pos = r.data + r.length;
        return true;
    }
    // The record after the current one, without moving.
    bool peek(Record &r)
    {
        const size_t keep = m_pos;
        const bool ok = next(r);
        m_pos = keep;
        return ok;
    }
    const Bytes &bytes() const { return m_bytes; }

  private:
    Bytes m_bytes;
    size_t m_pos = 0;
};

// A BIFF8 unicode string of cch characters starting at offset `at` of record r (its flags byte
// first); characters may go on in CONTINUE records, each starting with its own flags byte.
bool readUnicode(RecordReader &records, Record r, size_t at, uint32_t cch, QString &out)
{
    const Bytes &b = records.bytes();
    size_t end = r.data + r.length;
    if (at >= end) return cch == 0;
    bool wide = b.u8(at) & 1;
    ++at;
    out.reserve(qsizetype(cch));
    while (uint32_t(out.size()) < cch) {
        if (at >= end) {
            Record c;
            if (!records.peek(c) || c.type != 0x003C || c.length == 0) return false;
            records.next(c);
            end = c.data + c.length;
            wide = b.u8(c.data) & 1;
            at = c.data + 1;
            continue;
        }
        if (wide) {
            if (at + 2 > end) return false;
            out += QChar(char16_t(b.u16(at)));
            at += 2;
        } else {
            out += QChar(char16_t(b.u8(at)));
            ++at;
        }
    }
    return true;
}

} // namespace

bool CompoundFile::open(const QByteArray &file)
{
    m_file = file;
    m_entries.clear();
    m_fat.clear();
    m_miniFat.clear();
    m_miniStream.clear();
    const Bytes f(m_file);
    static const char magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (f.size() < 512 || std::memcmp(f.at(0), magic, 8) != 0) return false;
    m_shift = f.u16(0x1E);
    if ((m_shift != 9 && m_shift != 12) || f.u16(0x20) != 6) return false;
    const size_t sectorSize = size_t(1) << m_shift;
    const size_t sectors = f.size() / sectorSize; // data sectors follow the header "sector"
    const uint32_t fatCount = f.u32(0x2C);
    const bool version3 = f.u16(0x1A) == 3;
    if (fatCount == 0 || fatCount > sectors) return false;

    std::vector<uint32_t> fatSectors;
    for (size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(f.u32(0x4C + 4 * i));
    uint32_t difat = f.u32(0x44);
    for (size_t k = 0; fatSectors.size() < fatCount && difat < EndOfChain && k <= sectors; ++k) {
        const uchar *p = sector(difat);
        if (!p) return false;
        for (size_t j = 0; j + 1 < sectorSize / 4 && fatSectors.size() < fatCount; ++j)
            fatSectors.push_back(le32(p + 4 * j));
        difat = le32(p + sectorSize - 4);
    }
    if (fatSectors.size() < fatCount) return false;
    m_fat.reserve(fatSectors.size() * sectorSize / 4);
    for (const uint32_t s : fatSectors) {
        const uchar *p = sector(s);
        if (!p) return false;
        for (size_t j = 0; j < sectorSize / 4; ++j)
            m_fat.push_back(le32(p + 4 * j));
    }

    const std::vector<uint32_t> dirChain = chain(f.u32(0x30), m_fat);
    const QByteArray dir = readChain(f.u32(0x30), uint64_t(dirChain.size()) * sectorSize);
    const Bytes d(dir);
    if (d.size() < 128 || d.u8(0x42) != 5) return false;
    for (size_t e = 0; e + 128 <= d.size(); e += 128) {
        const uint32_t type = d.u8(e + 0x42);
        const uint32_t nameBytes = d.u16(e + 0x40);
        if (type == 0 || nameBytes < 2 || nameBytes > 64) continue;
        Entry entry;
        for (uint32_t i = 0; i + 2 < nameBytes; i += 2)
            entry.name += QChar(char16_t(d.u16(e + i)));
        entry.type = type;
        entry.start = d.u32(e + 0x74);
        const uint64_t low = d.u32(e + 0x78);
        entry.size = version3 ? low : low | uint64_t(d.u32(e + 0x7C)) << 32;
        if (entry.size > f.size()) return false;
        m_entries.push_back(entry);
    }
    m_miniCutoff = f.u32(0x38);
    // The mini stream (held by the root entry) and its allocation table, for small streams.
    // The root entry comes first; a directory that does not start with it is broken.
    if (m_entries.empty() || m_entries.front().type != 5) return false;
    const Entry &root = m_entries.front();
    if (root.size > 0) {
        m_miniStream = readChain(root.start, root.size);
        if (m_miniStream.isEmpty()) return false;
        const QByteArray miniFatBytes = readChain(f.u32(0x3C), uint64_t(f.u32(0x40)) * sectorSize);
        for (qsizetype i = 0; i + 4 <= miniFatBytes.size(); i += 4)
            m_miniFat.push_back(le32(reinterpret_cast<const uchar *>(miniFatBytes.constData()) + i));
    }
    return true;
}

const uchar *CompoundFile::sector(uint32_t s) const
{
    const size_t sectorSize = size_t(1) << m_shift;
    const size_t offset = (size_t(s) + 1) << m_shift;
    return Bytes(m_file).has(offset, sectorSize)
               ? reinterpret_cast<const uchar *>(m_file.constData()) + offset
               : nullptr;
}

uint32_t CompoundFile::le32(const uchar *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

QByteArray CompoundFile::readChain(uint32_t start, uint64_t size) const
{
    const size_t sectorSize = size_t(1) << m_shift;
    QByteArray out;
    for (const uint32_t s : chain(start, m_fat)) {
        if (uint64_t(out.size()) >= size) break;
        const uchar *p = sector(s);
        if (!p) return {};
        out.append(reinterpret_cast<const char *>(p), qsizetype(sectorSize));
    }
    if (uint64_t(out.size()) < size) return {};
    out.truncate(qsizetype(size));
    return out;
}

bool CompoundFile::contains(const QString &name) const
{
    for (const Entry &e : m_entries)
        if (e.type == 2 && e.name.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QByteArray CompoundFile::stream(const QString &name) const
{
    for (const Entry &e : m_entries) {
        if (e.type != 2 || e.name.compare(name, Qt::CaseInsensitive) != 0) continue;
        if (e.size >= m_miniCutoff) return readChain(e.start, e.size);
        QByteArray out;
        for (const uint32_t s : chain(e.start, m_miniFat)) {
            if (uint64_t(out.size()) >= e.size) break;
            if ((qsizetype(s) + 1) * 64 > m_miniStream.size()) return {};
            out.append(m_miniStream.constData() + qsizetype(s) * 64, 64);
        }
        if (uint64_t(out.size()) < e.size) return {};
        out.truncate(qsizetype(e.size));
        return out;
    }
    return {};
}

bool isEncrypted(const QByteArray &workbook)
{
    RecordReader records(workbook);
    Record r;
    if (!records.next(r) || r.type != 0x0809) return false;
    while (records.next(r) && r.type != 0x000A)
        if (r.type == 0x002F) return true;
    return false;
}

bool startsWithBof(const QByteArray &workbook)
{
    RecordReader records(workbook);
    Record r;
    return records.next(r) && r.type == 0x0809 && r.length >= 4;
}

namespace {

[[noreturn]] void damaged(const QString &what)
{
    throw PlanexoError(1004, QStringLiteral("El libro está dañado: %1").arg(what));
}

// The shared strings: the SST record and its CONTINUE records read as one sequence of segments.
// A string's characters may go on in the next segment, which then starts with a new flags byte.
class SstReader {
  public:
    SstReader(RecordReader &records, const Record &sst) : m_bytes(records.bytes())
    {
        m_segments.push_back({sst.data, sst.data + sst.length});
        Record c;
        while (records.peek(c) && c.type == 0x003C) {
            records.next(c);
            m_segments.push_back({c.data, c.data + c.length});
        }
        m_pos = sst.data;
    }

    bool readAll(WorkbookSheet &sheet, uint32_t &count)
    {
        uint32_t unique = 0;
        if (!skipTo(8)) return false;
        unique = m_bytes.u32(m_segments[0].begin + 4);
        QString text;
        for (count = 0; count < unique; ++count) {
            uint32_t cch = 0, flags = 0, runs = 0, ext = 0;
            if (!u16(cch) || !u8(flags)) return count == unique;
            if ((flags & 0x08) && !u16(runs)) return false;
            if ((flags & 0x04) && !u32(ext)) return false;
            text.truncate(0);
            if (!chars(cch, flags & 1, text) || !skip(size_t(runs) * 4) || !skip(ext)) return false;
            sheet.addString(text);
        }
        return true;
    }

  private:
    struct Segment {
        size_t begin, end;
    };

    // Moves to the next segment when the current one is used up.
    bool ensure()
    {
        while (m_pos >= m_segments[m_index].end) {
            if (++m_index >= m_segments.size()) return false;
            m_pos = m_segments[m_index].begin;
            m_segmentStart = true;
        }
        return true;
    }
    bool u8(uint32_t &v)
    {
        if (!ensure()) return false;
        m_segmentStart = false;
        v = m_bytes.u8(m_pos++);
        return true;
    }
    bool u16(uint32_t &v)
    {
        uint32_t lo, hi;
        if (!u8(lo) || !u8(hi)) return false;
        v = lo | hi << 8;
        return true;
    }
    bool u32(uint32_t &v)
    {
        uint32_t lo, hi;
        if (!u16(lo) || !u16(hi)) return false;
        v = lo | hi << 16;
        return true;
    }
    bool skip(size_t n)
    {
        while (n > 0) {
            if (!ensure()) return false;
            const size_t step = std::min(n, m_segments[m_index].end - m_pos);
            m_pos += step;
            n -= step;
            m_segmentStart = false;
        }
        return true;
    }
    bool skipTo(size_t offset)
    {
        m_pos = m_segments[0].begin;
        return skip(offset);
    }
    bool chars(uint32_t cch, bool wide, QString &out)
    {
        out.reserve(qsizetype(cch));
        for (uint32_t i = 0; i < cch; ++i) {
            if (m_pos >= m_segments[m_index].end) {
                if (!ensure()) return false;
            }
            if (m_segmentStart) {
                // A string split across records: the continuation says again how wide it is.
                wide = m_bytes.u8(m_pos++) & 1;
                m_segmentStart = false;
                if (!ensure()) return false;
            }
            if (wide) {
                if (m_pos + 2 > m_segments[m_index].end) return false;
                out += QChar(char16_t(m_bytes.u16(m_pos)));
                m_pos += 2;
            } else {
                out += QChar(char16_t(m_bytes.u8(m_pos)));
                ++m_pos;
            }
        }
        return true;
    }

    const Bytes &m_bytes;
    std::vector<Segment> m_segments;
    size_t m_index = 0;
    size_t m_pos = 0;
    bool m_segmentStart = false;
};

// An RK number: a 30-bit integer or the high 30 bits of a double, possibly divided by 100.
double rkValue(uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 1) ? v / 100 : v;
}

} // namespace

namespace {

struct BoundSheet {
    WorkbookSheetInfo info;
    uint32_t offset = 0;
};

// A BOUNDSHEET record's worksheet, or false for a chart, macro or module sheet.
bool boundSheet(RecordReader &records, const Record &r, BoundSheet &out)
{
    const Bytes &b = records.bytes();
    if (r.length < 6 || b.u8(r.data + 5) != 0) return false;
    out.offset = b.u32(r.data);
    out.info.hidden = (b.u8(r.data + 4) & 3) != 0;
    out.info.name.clear();
    if (r.length >= 8 && !readUnicode(records, r, r.data + 7, b.u8(r.data + 6), out.info.name))
        out.info.name.clear();
    return true;
}

} // namespace

WorkbookSheetList sheetList(const QByteArray &workbook)
{
    RecordReader records(workbook);
    Record r;
    if (!records.next(r) || r.type != 0x0809) damaged(QStringLiteral("no empieza como un libro de Excel"));
    if (records.bytes().u16(r.data) != 0x0600)
        throw PlanexoError(1004,
                           QStringLiteral("El libro tiene un formato anterior a Excel 97, que no se lee"));
    WorkbookSheetList out;
    while (records.next(r) && r.type != 0x000A) {
        if (r.type == 0x002F) throw PlanexoError(1004, QStringLiteral("El libro está protegido con contraseña"));
        BoundSheet bound;
        if (r.type == 0x0085 && boundSheet(records, r, bound)) out.append(bound.info);
    }
    if (out.isEmpty()) throw PlanexoError(1004, QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return out;
}

void readSheet(const QByteArray &workbook, WorkbookSheet &sheet, int sheetIndex)
{
    RecordReader records(workbook);
    const Bytes &b = records.bytes();
    Record r;
    if (!records.next(r) || r.type != 0x0809) damaged(QStringLiteral("no empieza como un libro de Excel"));
    if (b.u16(r.data) != 0x0600)
        throw PlanexoError(1004,
                           QStringLiteral("El libro tiene un formato anterior a Excel 97, que no se lee"));

    // Globals: sheets, shared strings, number formats and cell formats, up to EOF.
    bool is1904 = false, sawEof = false;
    std::vector<BoundSheet> sheets;
    uint32_t sharedCount = 0;
    QHash<uint32_t, bool> formatIsDate;
    std::vector<uint32_t> xfFormat;
    while (records.next(r)) {
        if (r.type == 0x000A) {
            sawEof = true;
            break;
        }
        switch (r.type) {
        case 0x002F:
            throw PlanexoError(1004, QStringLiteral("El libro está protegido con contraseña"));
        case 0x0022:
            is1904 = b.u16(r.data) == 1;
            break;
        case 0x0085: { // BOUNDSHEET: a sheet's substream
            BoundSheet bound;
            if (boundSheet(records, r, bound)) sheets.push_back(std::move(bound));
            break;
        }
        case 0x00FC: { // SST
            if (sharedCount > 0 || sheet.stringCount() > 0)
                damaged(QStringLiteral("tiene dos tablas de textos"));
            SstReader sst(records, r);
            if (!sst.readAll(sheet, sharedCount))
                damaged(QStringLiteral("su tabla de textos no se puede leer"));
            break;
        }
        case 0x041E: { // FORMAT
            if (r.length < 5) break;
            QString code;
            if (readUnicode(records, r, r.data + 4, b.u16(r.data + 2), code))
                formatIsDate.insert(b.u16(r.data), xlsx::isDateFormatCode(code));
            break;
        }
        case 0x00E0: // XF
            if (r.length >= 4) xfFormat.push_back(b.u16(r.data + 2));
            break;
        default:
            break;
        }
    }
    if (!sawEof) damaged(QStringLiteral("termina antes de tiempo"));
    if (sheets.empty())
        throw PlanexoError(1004, QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    if (sheetIndex < 0 || size_t(sheetIndex) >= sheets.size())
        throw PlanexoError(1004, QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    const int64_t sheetOffset = sheets[size_t(sheetIndex)].offset;
    sheet.setDate1904(is1904);
    auto isDateXf = [&](uint32_t xf) {
        if (xf >= xfFormat.size()) return false;
        const uint32_t format = xfFormat[xf];
        const auto it = formatIsDate.constFind(format);
        return it != formatIsDate.constEnd() ? *it : xlsx::isDateFormatId(int(format));
    };

    // The worksheet's substream, with any embedded substream (a chart) skipped.
    records.seek(size_t(sheetOffset));
    if (!records.next(r) || r.type != 0x0809) damaged(QStringLiteral("su primera hoja no se encuentra"));
    int depth = 1;
    bool stringPending = false;
    uint32_t pendingRow = 0, pendingCol = 0;
    while (depth > 0) {
        if (!records.next(r)) damaged(QStringLiteral("su primera hoja termina antes de tiempo"));
        if (r.type == 0x0809) {
            ++depth;
            continue;
        }
        if (r.type == 0x000A) {
            --depth;
            continue;
        }
        if (depth > 1) continue;
        const uint32_t row = b.u16(r.data) + 1;
        const uint32_t col = b.u16(r.data + 2) + 1;
        switch (r.type) {
        case 0x00FD: // LABELSST
            if (r.length >= 10) {
                const uint32_t index = b.u32(r.data + 6);
                if (index >= sharedCount)
                    damaged(QStringLiteral("la celda %1 usa el texto compartido %2, que no existe")
                                .arg(WorkbookSheet::cellName(row, col))
                                .arg(index));
                sheet.addText(row, col, index);
            }
            break;
        case 0x0204: // LABEL
        case 0x00D6: // RSTRING
            if (r.length >= 9) {
                QString text;
                if (!readUnicode(records, r, r.data + 8, b.u16(r.data + 6), text))
                    damaged(QStringLiteral("el texto de la celda %1 no se puede leer")
                                .arg(WorkbookSheet::cellName(row, col)));
                sheet.addText(row, col, sheet.addString(text));
            }
            break;
        case 0x0203: // NUMBER
            if (r.length >= 14) sheet.addNumber(row, col, b.f64(r.data + 6), isDateXf(b.u16(r.data + 4)));
            break;
        case 0x027E: // RK
            if (r.length >= 10)
                sheet.addNumber(row, col, rkValue(b.u32(r.data + 6)), isDateXf(b.u16(r.data + 4)));
            break;
        case 0x00BD: { // MULRK: one row, consecutive columns
            if (r.length < 6) break;
            const size_t count = (r.length - 6) / 6;
            for (size_t i = 0; i < count; ++i) {
                const size_t at = r.data + 4 + 6 * i;
                sheet.addNumber(row, col + uint32_t(i), rkValue(b.u32(at + 2)), isDateXf(b.u16(at)));
            }
            break;
        }
        case 0x0006: { // FORMULA with its cached result
            if (r.length < 20) break;
            stringPending = false;
            const size_t v = r.data + 6;
            if (b.u16(v + 6) != 0xFFFF) {
                sheet.addNumber(row, col, b.f64(v), isDateXf(b.u16(r.data + 4)));
                break;
            }
            switch (b.u8(v)) {
            case 0: // the text follows in a STRING record
                stringPending = true;
                pendingRow = row;
                pendingCol = col;
                break;
            case 1:
                sheet.addBool(row, col, b.u8(v + 2) != 0);
                break;
            case 2:
                sheet.addError(row, col, sheet.addString(errorText(b.u8(v + 2))));
                break;
            default: // an empty text
                break;
            }
            break;
        }
        case 0x0207: // STRING: the text of the formula before it
            if (stringPending && r.length >= 3) {
                QString text;
                if (!readUnicode(records, r, r.data + 2, b.u16(r.data), text))
                    damaged(QStringLiteral("el texto de la celda %1 no se puede leer")
                                .arg(WorkbookSheet::cellName(pendingRow, pendingCol)));
                sheet.addText(pendingRow, pendingCol, sheet.addString(text));
            }
            stringPending = false;
            break;
        case 0x0205: // BOOLERR
            if (r.length >= 8) {
                if (b.u8(r.data + 7))
                    sheet.addError(row, col, sheet.addString(errorText(b.u8(r.data + 6))));
                else
                    sheet.addBool(row, col, b.u8(r.data + 6) != 0);
            }
            break;
        default:
            break;
        }
    }
}

} // namespace xlsbiff
