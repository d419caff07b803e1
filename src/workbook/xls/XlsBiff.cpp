#include "workbook/xls/XlsBiff.h"

#include "workbook/common/DateFormats.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/xls/XlsDecrypt.h"

#include <QHash>
#include <QStringDecoder>
#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

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
    static const char magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (m_file.size() < 512 || std::memcmp(m_file.constData(), magic, 8) != 0) return false;
    m_shift = Bytes(m_file).u16(0x1E);
    if ((m_shift != 9 && m_shift != 12) || Bytes(m_file).u16(0x20) != 6) return false;
    const size_t sectorSize = size_t(1) << m_shift;
    // Some writers end the file with a short last sector; Excel reads it as if padded, and so do
    // we, as long as every stream's own bytes are in the file (readChain checks).
    m_realSize = size_t(m_file.size());
    if (m_realSize % sectorSize != 0)
        m_file.append(QByteArray(qsizetype(sectorSize - m_realSize % sectorSize), '\0'));
    const Bytes f(m_file);
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
    const QByteArray dir = readChain(f.u32(0x30), uint64_t(dirChain.size()) * sectorSize, false);
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
        const QByteArray miniFatBytes = readChain(f.u32(0x3C), uint64_t(f.u32(0x40)) * sectorSize, false);
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

QByteArray CompoundFile::readChain(uint32_t start, uint64_t size, bool inFile) const
{
    const size_t sectorSize = size_t(1) << m_shift;
    QByteArray out;
    for (const uint32_t s : chain(start, m_fat)) {
        if (uint64_t(out.size()) >= size) break;
        const uchar *p = sector(s);
        if (!p) return {};
        // The bytes a stream uses must be in the file, not in the padding of a short last sector.
        const size_t used = size_t(std::min<uint64_t>(sectorSize, size - uint64_t(out.size())));
        if (inFile && ((size_t(s) + 1) << m_shift) + used > m_realSize) return {};
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

bool startsWithBof(const QByteArray &workbook)
{
    RecordReader records(workbook);
    Record r;
    return records.next(r) && r.type == 0x0809 && r.length >= 4;
}

namespace {

using workbook::damaged;
using workbook::fail;

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

    // count: the strings read. A table that declares more strings than it holds gives those it
    // holds, as Excel reads it; one that ends inside a string is damaged.
    bool readAll(WorkbookSheet &sheet, uint32_t &count)
    {
        uint32_t unique = 0;
        count = 0;
        if (!skipTo(8)) return false;
        unique = m_bytes.u32(m_segments[0].begin + 4);
        QString text;
        for (count = 0; count < unique; ++count) {
            uint32_t cch = 0, flags = 0, runs = 0, ext = 0;
            if (!ensure()) return true;
            if (!u16(cch) || !u8(flags)) return false;
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

constexpr uint32_t Biff8 = 0x0600;
constexpr uint32_t Biff5 = 0x0500; // Excel 5.0 and 95 (BIFF7 keeps BIFF5's version number)

// The 8-bit texts of an Excel 5.0/95 workbook, in the code page its CODEPAGE record names.
class CodePage {
  public:
    void set(uint32_t codePage)
    {
        m_decoder.reset();
        m_system = 0;
        const QByteArray name = decoderName(codePage);
        if (name.isEmpty()) return; // Windows-1252, decoded here
        auto decoder = std::make_unique<QStringDecoder>(name.constData(), QStringDecoder::Flag::Stateless);
        if (decoder->isValid()) {
            m_decoder = std::move(decoder);
            return;
        }
#ifdef Q_OS_WIN
        // A Qt without ICU converts no Windows code page: the system does.
        const UINT system = codePage == 32768 ? 10000 : UINT(codePage);
        if (IsValidCodePage(system)) m_system = system;
#endif
        // Without a converter for the code page, Windows-1252 is the nearest.
    }

    QString text(const uchar *p, size_t n) const
    {
#ifdef Q_OS_WIN
        if (m_system && n > 0) {
            const char *bytes = reinterpret_cast<const char *>(p);
            const int wide = MultiByteToWideChar(m_system, 0, bytes, int(n), nullptr, 0);
            QString out(wide, Qt::Uninitialized);
            MultiByteToWideChar(m_system, 0, bytes, int(n), reinterpret_cast<wchar_t *>(out.data()), wide);
            return out;
        }
#endif
        if (m_decoder) {
            QString out = m_decoder->decode(QByteArrayView(p, qsizetype(n)));
            m_decoder->resetState();
            return out;
        }
        QString out(qsizetype(n), Qt::Uninitialized);
        QChar *o = out.data();
        for (size_t i = 0; i < n; ++i) {
            const uchar c = p[i];
            o[i] = QChar(c >= 0x80 && c < 0xA0 ? Windows1252[c - 0x80] : char16_t(c));
        }
        return out;
    }

    // The text as UTF-8, straight from the bytes, when the code page is Windows-1252 (as nearly
    // every such workbook's is): the bytes themselves when they are ASCII, else converted into
    // scratch. False for the code pages a converter decodes.
    bool utf8(const uchar *p, size_t n, std::string &scratch, std::string_view &out) const
    {
        if (m_decoder || m_system) return false;
        size_t wide = 0;
        for (size_t i = 0; i < n; ++i)
            wide += p[i] >> 7;
        if (wide == 0) {
            out = std::string_view(reinterpret_cast<const char *>(p), n);
            return true;
        }
        scratch.resize(n + 2 * wide);
        char *o = scratch.data();
        for (size_t i = 0; i < n; ++i) {
            const uchar c = p[i];
            if (c < 0x80) {
                *o++ = char(c);
                continue;
            }
            const char16_t u = c < 0xA0 ? Windows1252[c - 0x80] : char16_t(c);
            if (u < 0x800) {
                *o++ = char(0xC0 | (u >> 6));
            } else {
                *o++ = char(0xE0 | (u >> 12));
                *o++ = char(0x80 | ((u >> 6) & 0x3F));
            }
            *o++ = char(0x80 | (u & 0x3F));
        }
        out = std::string_view(scratch.data(), size_t(o - scratch.data()));
        return true;
    }

  private:
    // Windows-1252's characters 0x80 to 0x9F; the others are ISO 8859-1's.
    static constexpr char16_t Windows1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

    // The converter's name for a code page; empty for those read as Windows-1252 (1252 itself,
    // ASCII, Excel's 32769 for 1252, 1200 whose texts in an 8-bit record are Latin-1, and unknown
    // numbers).
    static QByteArray decoderName(uint32_t cp)
    {
        if (cp == 874 || (cp >= 1250 && cp <= 1258 && cp != 1252)) return "windows-" + QByteArray::number(cp);
        if ((cp >= 437 && cp <= 869) || cp == 858) return "IBM" + QByteArray::number(cp);
        switch (cp) {
        case 932:
            return "Shift_JIS";
        case 936:
            return "GBK";
        case 949:
            return "windows-949";
        case 950:
            return "Big5";
        case 10000:
        case 32768:
            return "macintosh";
        case 10006:
            return "x-mac-greek";
        case 10007:
            return "x-mac-cyrillic";
        case 10029:
            return "x-mac-centraleurroman";
        case 10079:
            return "x-mac-icelandic";
        case 10081:
            return "x-mac-turkish";
        default:
            return {};
        }
    }

    std::unique_ptr<QStringDecoder> m_decoder;
    unsigned m_system = 0; // a code page the system converts (Windows)
};

// A BIFF5 byte string of n bytes at `at`, inside the record r; false when it runs past it.
bool readBytes(const RecordReader &records, const Record &r, size_t at, size_t n, const CodePage &codePage,
               QString &out)
{
    if (at < r.data || at > r.data + r.length || n > r.data + r.length - at) return false;
    out = codePage.text(records.bytes().at(at), n);
    return true;
}

struct BoundSheet {
    WorkbookSheetInfo info;
    uint32_t offset = 0;
    size_t nameAt = 0, nameBytes = 0; // BIFF5: the name's bytes, decoded once the code page is known
};

// A BOUNDSHEET record's worksheet, or false for a chart, macro or module sheet.
bool boundSheet(RecordReader &records, const Record &r, bool biff8, BoundSheet &out)
{
    const Bytes &b = records.bytes();
    if (r.length < 6 || b.u8(r.data + 5) != 0) return false;
    out.offset = b.u32(r.data);
    out.info.hidden = (b.u8(r.data + 4) & 3) != 0;
    out.info.name.clear();
    if (r.length < 7) return true;
    if (biff8) {
        if (r.length >= 8 && !readUnicode(records, r, r.data + 7, b.u8(r.data + 6), out.info.name))
            out.info.name.clear();
    } else {
        out.nameAt = r.data + 7;
        out.nameBytes = std::min<size_t>(b.u8(r.data + 6), r.length - 7);
    }
    return true;
}

// The workbook's globals: its version, sheets, date system and cell formats, and, when a sheet
// is given, the shared strings, added to it.
struct Globals {
    bool biff8 = true;
    bool is1904 = false;
    std::vector<BoundSheet> sheets;
    uint32_t sharedCount = 0;
    QHash<uint32_t, bool> formatIsDate;
    std::vector<uint32_t> xfFormat;
    CodePage codePage;

    bool isDateXf(uint32_t xf) const
    {
        if (xf >= xfFormat.size()) return false;
        const uint32_t format = xfFormat[xf];
        const auto it = formatIsDate.constFind(format);
        return it != formatIsDate.constEnd() ? *it : workbook::isDateFormatId(int(format));
    }
};

// The BOF's version: BIFF8 or BIFF5; anything else is refused.
bool readBof(RecordReader &records)
{
    Record r;
    if (!records.next(r) || r.type != 0x0809) damaged(QStringLiteral("no empieza como un libro de Excel"));
    const uint32_t version = records.bytes().u16(r.data);
    if (version != Biff8 && version != Biff5)
        fail(QStringLiteral("El libro tiene un formato anterior a Excel 5.0, que no se lee"));
    return version == Biff8;
}

void readGlobals(RecordReader &records, Globals &g, WorkbookSheet *sheet)
{
    const Bytes &b = records.bytes();
    g.biff8 = readBof(records);
    Record r;
    bool sawEof = false;
    while (records.next(r)) {
        if (r.type == 0x000A) {
            sawEof = true;
            break;
        }
        switch (r.type) {
        case 0x0022:
            g.is1904 = b.u16(r.data) == 1;
            break;
        case 0x0042: // CODEPAGE
            if (!g.biff8 && r.length >= 2) g.codePage.set(b.u16(r.data));
            break;
        case 0x0085: { // BOUNDSHEET: a sheet's substream
            BoundSheet bound;
            if (boundSheet(records, r, g.biff8, bound)) g.sheets.push_back(std::move(bound));
            break;
        }
        case 0x00FC: { // SST
            if (!sheet || !g.biff8) break;
            if (g.sharedCount > 0 || sheet->stringCount() > 0)
                damaged(QStringLiteral("tiene dos tablas de textos"));
            SstReader sst(records, r);
            if (!sst.readAll(*sheet, g.sharedCount))
                damaged(QStringLiteral("su tabla de textos no se puede leer"));
            break;
        }
        case 0x041E: { // FORMAT: BIFF8 a unicode string, BIFF5 a byte string with an 8-bit length
            if (!sheet || r.length < 3) break;
            QString code;
            const bool ok =
                g.biff8 ? r.length >= 5 && readUnicode(records, r, r.data + 4, b.u16(r.data + 2), code)
                        : readBytes(records, r, r.data + 3, b.u8(r.data + 2), g.codePage, code);
            if (ok) g.formatIsDate.insert(b.u16(r.data), workbook::isDateFormatCode(code));
            break;
        }
        case 0x00E0: // XF: the number format's index follows the font's in BIFF5 and BIFF8 alike
            if (sheet && r.length >= 4) g.xfFormat.push_back(b.u16(r.data + 2));
            break;
        default:
            break;
        }
    }
    if (!sawEof) damaged(QStringLiteral("termina antes de tiempo"));
    if (!g.biff8)
        for (BoundSheet &s : g.sheets)
            s.info.name = g.codePage.text(b.at(s.nameAt), s.nameBytes);
    if (g.sheets.empty()) fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
}

// The workbook stream with its records decrypted when Excel's default password encrypted it;
// the stream itself when it is not encrypted. A workbook encrypted with any other password, or
// obfuscated in the older way, is refused.
QByteArray plainStream(const QByteArray &workbook)
{
    RecordReader records(workbook);
    Record r;
    if (!records.next(r) || r.type != 0x0809) return workbook;
    const bool biff8 = records.bytes().u16(r.data) == Biff8;
    while (records.next(r) && r.type != 0x000A) {
        if (r.type != 0x002F) continue;
        QByteArray plain = workbook;
        if (!biff8 || !xlsdecrypt::decrypt(plain, r.data, r.length, xlsdecrypt::DefaultPassword))
            fail(QStringLiteral("El libro está protegido con contraseña"));
        return plain;
    }
    return workbook;
}

} // namespace

WorkbookSheetList sheetList(const QByteArray &workbook)
{
    const QByteArray plain = plainStream(workbook);
    RecordReader records(plain);
    Globals g;
    readGlobals(records, g, nullptr);
    WorkbookSheetList out;
    for (const BoundSheet &s : g.sheets)
        out.append(s.info);
    return out;
}

void readSheet(const QByteArray &workbook, WorkbookSheet &sheet, int sheetIndex)
{
    const QByteArray plain = plainStream(workbook);
    RecordReader records(plain);
    const Bytes &b = records.bytes();
    Globals g;
    readGlobals(records, g, &sheet);
    if (sheetIndex < 0 || size_t(sheetIndex) >= g.sheets.size())
        fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    const int64_t sheetOffset = g.sheets[size_t(sheetIndex)].offset;
    sheet.setDate1904(g.is1904);
    const bool biff8 = g.biff8;

    // A cell's text: BIFF8 a unicode string (possibly going on in CONTINUE records), BIFF5 a byte
    // string in the workbook's code page; both with a 16-bit length at `at`.
    auto cellText = [&](const Record &rec, size_t at, uint32_t row, uint32_t col) {
        QString text;
        const bool ok = biff8 ? readUnicode(records, rec, at + 2, b.u16(at), text)
                              : readBytes(records, rec, at + 2, b.u16(at), g.codePage, text);
        if (!ok)
            damaged(QStringLiteral("el texto de la celda %1 no se puede leer")
                        .arg(WorkbookSheet::cellName(row, col)));
        return text;
    };

    std::string utf8; // a BIFF5 text's UTF-8, reused

    // The worksheet's substream, with any embedded substream (a chart) skipped.
    Record r;
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
                if (index >= g.sharedCount)
                    damaged(QStringLiteral("la celda %1 usa el texto compartido %2, que no existe")
                                .arg(WorkbookSheet::cellName(row, col))
                                .arg(index));
                sheet.addText(row, col, index);
            }
            break;
        case 0x0204: // LABEL
        case 0x00D6: // RSTRING
            if (!biff8 && r.length >= 8) {
                const size_t bytes = b.u16(r.data + 6);
                std::string_view text;
                if (bytes <= r.length - 8 && g.codePage.utf8(b.at(r.data + 8), bytes, utf8, text)) {
                    sheet.addStreamedText(row, col, text);
                    break;
                }
            }
            if (r.length >= (biff8 ? 9u : 8u))
                sheet.addText(row, col, sheet.addString(cellText(r, r.data + 6, row, col)));
            break;
        case 0x0203: // NUMBER
            if (r.length >= 14) sheet.addNumber(row, col, b.f64(r.data + 6), g.isDateXf(b.u16(r.data + 4)));
            break;
        case 0x027E: // RK
            if (r.length >= 10)
                sheet.addNumber(row, col, rkValue(b.u32(r.data + 6)), g.isDateXf(b.u16(r.data + 4)));
            break;
        case 0x00BD: { // MULRK: one row, consecutive columns
            if (r.length < 6) break;
            const size_t count = (r.length - 6) / 6;
            for (size_t i = 0; i < count; ++i) {
                const size_t at = r.data + 4 + 6 * i;
                sheet.addNumber(row, col + uint32_t(i), rkValue(b.u32(at + 2)), g.isDateXf(b.u16(at)));
            }
            break;
        }
        case 0x0006: { // FORMULA with its cached result
            if (r.length < 20) break;
            stringPending = false;
            const size_t v = r.data + 6;
            if (b.u16(v + 6) != 0xFFFF) {
                sheet.addNumber(row, col, b.f64(v), g.isDateXf(b.u16(r.data + 4)));
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
            if (stringPending && r.length >= (biff8 ? 3u : 2u))
                sheet.addText(pendingRow, pendingCol,
                              sheet.addString(cellText(r, r.data, pendingRow, pendingCol)));
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
        case 0x00E5: { // MERGEDCELLS: a count, then each range's rows and columns from 0
            const uint32_t count = r.length >= 2 ? std::min<uint32_t>(b.u16(r.data), (r.length - 2) / 8) : 0;
            for (uint32_t i = 0; i < count; ++i) {
                const size_t at = r.data + 2 + 8 * size_t(i);
                sheet.addMergedRange(b.u16(at) + 1, b.u16(at + 4) + 1, b.u16(at + 2) + 1, b.u16(at + 6) + 1);
            }
            break;
        }
        default:
            break;
        }
    }
}

} // namespace xlsbiff
