#include "XlsBiff.h"

#include "XlsxReader.h"

#include <QHash>
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

QByteArray compoundStream(const QByteArray &file, const QString &name)
{
    const Bytes f(file);
    static const char magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (f.size() < 512 || std::memcmp(f.at(0), magic, 8) != 0) return {};
    const uint32_t shift = f.u16(0x1E);
    if ((shift != 9 && shift != 12) || f.u16(0x20) != 6) return {};
    const size_t sectorSize = size_t(1) << shift;
    const size_t sectors = f.size() / sectorSize; // data sectors follow the header "sector"
    const uint32_t fatCount = f.u32(0x2C);
    const bool version3 = f.u16(0x1A) == 3;
    if (fatCount > sectors) return {};

    auto sector = [&](uint32_t s) -> const uchar * {
        const size_t offset = (size_t(s) + 1) << shift;
        return f.has(offset, sectorSize) ? f.at(offset) : nullptr;
    };
    auto le32 = [](const uchar *p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };

    std::vector<uint32_t> fatSectors;
    for (size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(f.u32(0x4C + 4 * i));
    uint32_t difat = f.u32(0x44);
    for (size_t k = 0; fatSectors.size() < fatCount && difat < EndOfChain && k <= sectors; ++k) {
        const uchar *p = sector(difat);
        if (!p) return {};
        for (size_t j = 0; j + 1 < sectorSize / 4 && fatSectors.size() < fatCount; ++j)
            fatSectors.push_back(le32(p + 4 * j));
        difat = le32(p + sectorSize - 4);
    }
    std::vector<uint32_t> fat;
    fat.reserve(fatSectors.size() * sectorSize / 4);
    for (const uint32_t s : fatSectors) {
        const uchar *p = sector(s);
        if (!p) return {};
        for (size_t j = 0; j < sectorSize / 4; ++j)
            fat.push_back(le32(p + 4 * j));
    }

    auto readChain = [&](uint32_t start, uint64_t size) -> QByteArray {
        QByteArray out;
        for (const uint32_t s : chain(start, fat)) {
            const uchar *p = sector(s);
            if (!p) return {};
            out.append(reinterpret_cast<const char *>(p), qsizetype(sectorSize));
            if (uint64_t(out.size()) >= size) break;
        }
        if (uint64_t(out.size()) < size) return {};
        out.truncate(qsizetype(size));
        return out;
    };

    const std::vector<uint32_t> dirChain = chain(f.u32(0x30), fat);
    const QByteArray dir = readChain(f.u32(0x30), uint64_t(dirChain.size()) * sectorSize);
    const Bytes d(dir);
    if (d.size() < 128) return {};
    auto entrySize = [&](size_t e) -> uint64_t {
        const uint64_t low = d.u32(e + 0x78);
        return version3 ? low : low | uint64_t(d.u32(e + 0x7C)) << 32;
    };
    for (size_t e = 0; e + 128 <= d.size(); e += 128) {
        if (d.u8(e + 0x42) != 2) continue;
        const uint32_t nameBytes = d.u16(e + 0x40);
        if (nameBytes < 2 || nameBytes > 64) continue;
        QString entryName;
        for (uint32_t i = 0; i + 2 < nameBytes; i += 2)
            entryName += QChar(char16_t(d.u16(e + i)));
        if (entryName.compare(name, Qt::CaseInsensitive) != 0) continue;
        const uint64_t size = entrySize(e);
        if (size > f.size()) return {};
        if (size >= f.u32(0x38)) return readChain(d.u32(e + 0x74), size);
        // A small stream lives in the mini stream, whose sectors the mini FAT chains.
        const QByteArray miniStream = readChain(d.u32(0x74), std::min<uint64_t>(entrySize(0), f.size()));
        const QByteArray miniFatBytes = readChain(f.u32(0x3C), uint64_t(f.u32(0x40)) * sectorSize);
        std::vector<uint32_t> miniFat;
        for (qsizetype i = 0; i + 4 <= miniFatBytes.size(); i += 4)
            miniFat.push_back(le32(reinterpret_cast<const uchar *>(miniFatBytes.constData()) + i));
        QByteArray out;
        for (const uint32_t s : chain(d.u32(e + 0x74), miniFat)) {
            if (qsizetype(s + 1) * 64 > miniStream.size()) return {};
            out.append(miniStream.constData() + qsizetype(s) * 64, 64);
            if (uint64_t(out.size()) >= size) break;
        }
        if (uint64_t(out.size()) < size) return {};
        out.truncate(qsizetype(size));
        return out;
    }
    return {};
}

std::vector<Cell> formulaCells(const QByteArray &workbook, bool *date1904)
{
    std::vector<Cell> cells;
    RecordReader records(workbook);
    const Bytes &b = records.bytes();
    Record r;
    // Globals: a BIFF8 BOF, then sheets, number formats and cell formats up to EOF.
    if (!records.next(r) || r.type != 0x0809 || b.u16(r.data) != 0x0600) return cells;
    bool is1904 = false;
    int64_t sheetOffset = -1;
    QHash<uint32_t, bool> formatIsDate;
    std::vector<uint32_t> xfFormat;
    while (records.next(r) && r.type != 0x000A) {
        switch (r.type) {
        case 0x002F: // FILEPASS: encrypted, nothing to read
            return cells;
        case 0x0022:
            is1904 = b.u16(r.data) == 1;
            break;
        case 0x0085: // BOUNDSHEET: the first worksheet's substream
            if (sheetOffset < 0 && r.length >= 8 && b.u8(r.data + 5) == 0) sheetOffset = b.u32(r.data);
            break;
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
    if (date1904) *date1904 = is1904;
    if (sheetOffset < 0) return cells;
    auto isDateXf = [&](uint32_t xf) {
        if (xf >= xfFormat.size()) return false;
        const uint32_t format = xfFormat[xf];
        const auto it = formatIsDate.constFind(format);
        return it != formatIsDate.constEnd() ? *it : xlsx::isDateFormatId(int(format));
    };
    // Dates of a 1904 workbook are moved to the 1900 system the rest of the sheet uses.
    const double dateShift = is1904 ? 1462 : 0;

    records.seek(size_t(sheetOffset));
    if (!records.next(r) || r.type != 0x0809) return cells;
    bool stringPending = false;
    while (records.next(r) && r.type != 0x000A) {
        if (r.type == 0x0006 && r.length >= 20) { // FORMULA with its cached result
            stringPending = false;
            Cell c;
            c.row = b.u16(r.data) + 1;
            c.col = b.u16(r.data + 2) + 1;
            c.kind = Cell::Number;
            const size_t v = r.data + 6;
            if (b.u16(v + 6) == 0xFFFF) {
                switch (b.u8(v)) {
                case 0:
                    c.kind = Cell::Text; // the text follows in a STRING record
                    stringPending = true;
                    break;
                case 1:
                    c.kind = Cell::Bool;
                    c.number = b.u8(v + 2) ? 1 : 0;
                    break;
                case 2:
                    c.kind = Cell::Error;
                    c.text = errorText(b.u8(v + 2));
                    break;
                default:
                    c.kind = Cell::EmptyText;
                    break;
                }
            } else {
                c.number = b.f64(v);
                c.isDate = isDateXf(b.u16(r.data + 4));
                if (c.isDate) c.number += dateShift;
            }
            cells.push_back(c);
        } else if (r.type == 0x0207 && stringPending && r.length >= 3) { // STRING: a formula's text
            stringPending = false;
            QString text;
            if (readUnicode(records, r, r.data + 2, b.u16(r.data), text))
                cells.back().text = text;
            else
                cells.back().kind = Cell::EmptyText;
        } else if (r.type == 0x0205 && r.length >= 8) { // BOOLERR
            Cell c;
            c.row = b.u16(r.data) + 1;
            c.col = b.u16(r.data + 2) + 1;
            c.kind = Cell::Bool;
            if (b.u8(r.data + 7)) {
                c.kind = Cell::Error;
                c.text = errorText(b.u8(r.data + 6));
            } else {
                c.number = b.u8(r.data + 6) ? 1 : 0;
            }
            cells.push_back(c);
        }
    }
    return cells;
}

} // namespace xlsbiff
