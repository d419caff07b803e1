#include "XlsxReader.h"

#include "WorkbookSheet.h"
#include "data/PlanexoError.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QUrl>
#include <QXmlStreamReader>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>
#include <zip.h>

namespace xlsx {
namespace {

constexpr long WorkbookError = 1004;

[[noreturn]] void fail(const QString &description)
{
    throw PlanexoError(WorkbookError, description);
}

[[noreturn]] void damaged(const QString &what)
{
    fail(QStringLiteral("El libro está dañado: %1").arg(what));
}

[[noreturn]] void tooLarge()
{
    fail(QStringLiteral("El libro descomprimido supera %1 MiB, el máximo que se lee")
             .arg(MaxUncompressedBytes >> 20));
}

// One package, with the budget of bytes that may still be decompressed from it.
class Package {
public:
    explicit Package(const QString &path)
    {
        int error = 0;
        m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
        if (!m_zip) {
            if (error == ZIP_ER_NOENT)
                fail(QStringLiteral("No se encuentra el archivo %1").arg(path));
            if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
                fail(QStringLiteral("No se puede leer el archivo %1").arg(path));
            fail(QStringLiteral("El libro está dañado o incompleto: no es un paquete zip válido"));
        }
    }
    ~Package() { zip_discard(m_zip); }
    Package(const Package &) = delete;
    Package &operator=(const Package &) = delete;

    // Index of a part by name (part names compare without case), or -1.
    int64_t locate(const QString &name) const
    {
        if (name.isEmpty())
            return -1;
        return zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    }

    zip_t *zip() const { return m_zip; }
    int64_t &budget() { return m_budget; }

private:
    zip_t *m_zip = nullptr;
    int64_t m_budget = MaxUncompressedBytes;
};

// A part of the package as a sequential device; reading stops with an error when the package's
// budget is spent or the part cannot be decompressed.
class PartDevice : public QIODevice {
public:
    PartDevice(Package &package, int64_t index, const QString &name) : m_budget(package.budget()), m_name(name)
    {
        m_file = zip_fopen_index(package.zip(), zip_uint64_t(index), 0);
        if (!m_file) {
            const int code = zip_error_code_zip(zip_get_error(package.zip()));
            if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_WRONGPASSWD)
                fail(QStringLiteral("El libro está protegido con contraseña"));
            damaged(QStringLiteral("no se puede descomprimir la parte %1").arg(name));
        }
        open(QIODevice::ReadOnly);
    }
    ~PartDevice() override
    {
        if (m_file)
            zip_fclose(m_file);
    }
    bool isSequential() const override { return true; }
    bool capHit() const { return m_capHit; }
    bool readFailed() const { return m_readFailed; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_capHit || m_readFailed)
            return -1;
        const zip_int64_t n = zip_fread(m_file, data, zip_uint64_t(maxSize));
        if (n < 0) {
            m_readFailed = true;
            return -1;
        }
        m_budget -= n;
        if (m_budget < 0) {
            m_capHit = true;
            return -1;
        }
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    zip_file_t *m_file = nullptr;
    int64_t &m_budget;
    QString m_name;
    bool m_capHit = false;
    bool m_readFailed = false;
};

// A streaming reader over one part that turns every way the part can go wrong into a failure.
class PartReader {
public:
    PartReader(Package &package, int64_t index, const QString &name)
        : m_device(package, index, name), m_xml(&m_device), m_name(name)
    {
    }

    QXmlStreamReader &xml() { return m_xml; }

    // The next token; throws on malformed XML, a document type declaration, a spent budget or a
    // broken stream.
    QXmlStreamReader::TokenType next()
    {
        const QXmlStreamReader::TokenType t = m_xml.readNext();
        if (t == QXmlStreamReader::Invalid)
            check();
        if (t == QXmlStreamReader::DTD)
            damaged(QStringLiteral("la parte %1 declara un tipo de documento").arg(m_name));
        return t;
    }

    bool atEnd() const { return m_xml.atEnd() && !m_xml.hasError(); }

    // Reads the text of the current element (start tag just read) up to its end tag into text.
    void readText(QString &text)
    {
        text.clear();
        int depth = 1;
        while (depth > 0) {
            switch (next()) {
            case QXmlStreamReader::StartElement:
                ++depth;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            case QXmlStreamReader::Characters:
                if (depth == 1)
                    text.append(m_xml.text());
                break;
            case QXmlStreamReader::EndDocument:
                check();
                return;
            default:
                break;
            }
        }
    }

    // Skips the rest of the current element.
    void skip()
    {
        int depth = 1;
        while (depth > 0) {
            const auto t = next();
            if (t == QXmlStreamReader::StartElement)
                ++depth;
            else if (t == QXmlStreamReader::EndElement)
                --depth;
            else if (t == QXmlStreamReader::EndDocument)
                check();
        }
    }

    void check()
    {
        if (m_device.capHit())
            tooLarge();
        if (m_device.readFailed())
            damaged(QStringLiteral("no se puede descomprimir la parte %1").arg(m_name));
        if (m_xml.hasError())
            damaged(QStringLiteral("la parte %1 no es XML válido (línea %2)").arg(m_name).arg(m_xml.lineNumber()));
        damaged(QStringLiteral("la parte %1 termina antes de tiempo").arg(m_name));
    }

    // Reads to the end of the document so that errors after the useful content are noticed too.
    void finish()
    {
        while (!m_xml.atEnd())
            next();
        if (m_xml.hasError())
            check();
    }

private:
    PartDevice m_device;
    QXmlStreamReader m_xml;
    QString m_name;
};

struct Relationship {
    QString type;
    QString target; // part name, resolved
};

// Folder of a part name ("xl/workbook.xml" -> "xl/").
QString folderOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf('/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

// Resolves a relationship target against the folder of its source; absolute targets start at
// the package root.
QString resolveTarget(const QString &sourceFolder, const QString &target)
{
    QString t = QUrl::fromPercentEncoding(target.toUtf8());
    t.replace('\\', '/');
    const QString full = t.startsWith('/') ? t.mid(1) : sourceFolder + t;
    QStringList parts;
    for (const QString &segment : full.split('/', Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << segment;
    }
    return parts.join('/');
}

// The relationships of a part, by id; empty when the part has none.
QHash<QString, Relationship> readRelationships(Package &package, const QString &part)
{
    QHash<QString, Relationship> rels;
    const QString folder = folderOf(part);
    const QString relsName = folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
    const int64_t index = package.locate(relsName);
    if (index < 0)
        return rels;
    PartReader reader(package, index, relsName);
    QXmlStreamReader &xml = reader.xml();
    while (!reader.atEnd()) {
        if (reader.next() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("Relationship"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (a.value(QLatin1String("TargetMode")).compare(QLatin1String("External"), Qt::CaseInsensitive) == 0)
            continue;
        const QString id = a.value(QLatin1String("Id")).toString();
        if (id.isEmpty() || rels.contains(id))
            continue;
        rels.insert(id, {a.value(QLatin1String("Type")).toString(),
                         resolveTarget(folder, a.value(QLatin1String("Target")).toString())});
    }
    return rels;
}

bool typeIs(const QString &relType, QLatin1String kind)
{
    return relType.endsWith(QLatin1Char('/') + kind, Qt::CaseInsensitive);
}

// Target of the first relationship of a type; empty when none.
QString targetOfType(const QHash<QString, Relationship> &rels, QLatin1String kind)
{
    for (const Relationship &r : rels)
        if (typeIs(r.type, kind))
            return r.target;
    return {};
}

// Decodes the _xHHHH_ escapes of OOXML strings (e.g. _x000D_ for a carriage return).
void decodeEscapes(QString &text)
{
    if (!text.contains(QLatin1String("_x")))
        return;
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

// A cell reference such as "AB12"; false when it is not one. Column and row are at least 1.
bool parseReference(QStringView ref, uint32_t &row, uint32_t &col)
{
    qsizetype i = 0;
    uint64_t c = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        c = c * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (c > UINT32_MAX)
            return false;
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    uint64_t r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9')
            return false;
        r = r * 10 + (ref[i].unicode() - '0');
        if (r > UINT32_MAX)
            return false;
    }
    if (r == 0)
        return false;
    row = uint32_t(r);
    col = uint32_t(c);
    return true;
}

bool parseUInt(QStringView text, uint32_t &value)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (const QChar ch : text) {
        if (ch < '0' || ch > '9')
            return false;
        v = v * 10 + (ch.unicode() - '0');
    }
    if (v > UINT32_MAX)
        return false;
    value = uint32_t(v);
    return true;
}

bool parseDouble(QStringView text, double &value)
{
    text = text.trimmed();
    char buffer[64];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        // Only the characters of a decimal number: from_chars would take "inf" and "nan" too.
        if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '+' || ch == 'e' || ch == 'E'))
            return false;
        buffer[i] = char(ch);
    }
    const char *end = buffer + text.size();
    const char *start = buffer[0] == '+' ? buffer + 1 : buffer;
    const auto result = std::from_chars(start, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// ISO 8601 date or date and time as a serial of the workbook's date system.
bool parseIsoDate(QStringView text, bool date1904, double &serial)
{
    const QString t = text.trimmed().toString();
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid()) {
            const QTime time = QTime::fromString(t, Qt::ISODateWithMs);
            if (!time.isValid())
                return false;
            serial = time.msecsSinceStartOfDay() / 86400000.0;
            return true;
        }
        dt = QDateTime(d, QTime(0, 0));
    }
    serial = WorkbookSheet::serialOf(dt.date(), dt.time(), date1904);
    return serial >= 0;
}

// Which cell formats (cellXfs entries) show dates.
std::vector<bool> readDateStyles(Package &package, const QString &part)
{
    std::vector<bool> dateXf;
    const int64_t index = package.locate(part);
    if (index < 0)
        return dateXf;
    PartReader reader(package, index, part);
    QXmlStreamReader &xml = reader.xml();
    QHash<int, bool> customIsDate;
    bool inCellXfs = false;
    while (!reader.atEnd()) {
        const auto t = reader.next();
        if (t == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (name == QLatin1String("numFmt")) {
                const QXmlStreamAttributes a = xml.attributes();
                uint32_t id = 0;
                if (parseUInt(a.value(QLatin1String("numFmtId")), id))
                    customIsDate.insert(int(id), isDateFormatCode(a.value(QLatin1String("formatCode")).toString()));
            } else if (name == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && name == QLatin1String("xf")) {
                uint32_t id = 0;
                bool isDate = false;
                if (parseUInt(xml.attributes().value(QLatin1String("numFmtId")), id)) {
                    const auto it = customIsDate.constFind(int(id));
                    isDate = it != customIsDate.constEnd() ? *it : isDateFormatId(int(id));
                }
                dateXf.push_back(isDate);
                reader.skip();
            }
        } else if (t == QXmlStreamReader::EndElement && xml.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        }
    }
    return dateXf;
}

// Reads the text of an <si> or <is> element: its own <t> and the <t> of its runs, not the
// phonetic runs.
void readRichText(PartReader &reader, QString &text, QString &piece)
{
    QXmlStreamReader &xml = reader.xml();
    text.clear();
    int depth = 1;
    while (depth > 0) {
        const auto t = reader.next();
        if (t == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (name == QLatin1String("t")) {
                reader.readText(piece);
                text += piece;
            } else if (name == QLatin1String("rPh") || name == QLatin1String("phoneticPr")) {
                reader.skip();
            } else {
                ++depth;
            }
        } else if (t == QXmlStreamReader::EndElement) {
            --depth;
        } else if (t == QXmlStreamReader::EndDocument) {
            reader.check();
        }
    }
    decodeEscapes(text);
}

// Adds the shared strings to the sheet's pool in their order, so that string i is pool index i.
uint32_t readSharedStrings(Package &package, const QString &part, WorkbookSheet &sheet)
{
    const int64_t index = package.locate(part);
    if (index < 0)
        return 0;
    PartReader reader(package, index, part);
    QXmlStreamReader &xml = reader.xml();
    QString text, piece;
    uint32_t count = 0;
    while (!reader.atEnd()) {
        if (reader.next() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("si")) {
            readRichText(reader, text, piece);
            sheet.addString(text);
            ++count;
        }
    }
    return count;
}

struct WorkbookInfo {
    QString sheetPart;
    bool date1904 = false;
};

WorkbookInfo readWorkbook(Package &package, const QString &part, const QHash<QString, Relationship> &rels)
{
    const int64_t index = package.locate(part);
    if (index < 0)
        damaged(QStringLiteral("falta la parte %1").arg(part));
    PartReader reader(package, index, part);
    QXmlStreamReader &xml = reader.xml();
    WorkbookInfo info;
    bool sawSheet = false;
    while (!reader.atEnd()) {
        if (reader.next() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == QLatin1String("workbookPr")) {
            const QStringView v = xml.attributes().value(QLatin1String("date1904"));
            info.date1904 = v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        } else if (name == QLatin1String("sheet") && info.sheetPart.isEmpty()) {
            sawSheet = true;
            QString id;
            for (const QXmlStreamAttribute &a : xml.attributes())
                if (a.name() == QLatin1String("id") && !a.namespaceUri().isEmpty())
                    id = a.value().toString();
            const auto rel = rels.constFind(id);
            if (rel == rels.constEnd())
                damaged(QStringLiteral("la hoja «%1» no tiene parte")
                            .arg(xml.attributes().value(QLatin1String("name"))));
            // Chart, dialog and macro sheets are no worksheets.
            if (typeIs(rel->type, QLatin1String("chartsheet")) || typeIs(rel->type, QLatin1String("dialogsheet")) ||
                typeIs(rel->type, QLatin1String("macrosheet")) || typeIs(rel->type, QLatin1String("xlMacrosheet")) ||
                typeIs(rel->type, QLatin1String("xlIntlMacrosheet")))
                continue;
            info.sheetPart = rel->target;
        }
    }
    if (info.sheetPart.isEmpty())
        fail(sawSheet ? QStringLiteral("El libro no tiene ninguna hoja de cálculo, solo gráficos o macros")
                      : QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    return info;
}

void readSheet(Package &package, const QString &part, const std::vector<bool> &dateXf, uint32_t sharedCount,
               WorkbookSheet &sheet)
{
    const int64_t index = package.locate(part);
    if (index < 0)
        damaged(QStringLiteral("falta la parte %1").arg(part));
    PartReader reader(package, index, part);
    QXmlStreamReader &xml = reader.xml();

    enum class Type { Number, Shared, Text, Inline, Bool, Error, Date };
    QString value, piece, inlineText;
    uint32_t row = 0, col = 0;
    bool inData = false;
    while (!reader.atEnd()) {
        const auto token = reader.next();
        if (token == QXmlStreamReader::EndElement) {
            if (xml.name() == QLatin1String("sheetData"))
                inData = false;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (!inData) {
            if (name == QLatin1String("sheetData"))
                inData = true;
            continue;
        }
        if (name == QLatin1String("row")) {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            if (r.isEmpty()) {
                ++row;
            } else if (!parseUInt(r, row) || row == 0) {
                damaged(QStringLiteral("la parte %1 tiene un número de fila no válido (%2)").arg(part, r));
            }
            col = 0;
            continue;
        }
        if (name != QLatin1String("c")) {
            reader.skip();
            continue;
        }

        // A cell: its position, type and format, then its value.
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView ref = a.value(QLatin1String("r"));
        if (ref.isEmpty()) {
            if (row == 0)
                row = 1;
            ++col;
        } else if (!parseReference(ref, row, col)) {
            damaged(QStringLiteral("la parte %1 tiene una referencia de celda no válida (%2)").arg(part, ref));
        }
        const QStringView t = a.value(QLatin1String("t"));
        Type type = Type::Number;
        if (t == QLatin1String("s"))
            type = Type::Shared;
        else if (t == QLatin1String("str"))
            type = Type::Text;
        else if (t == QLatin1String("inlineStr"))
            type = Type::Inline;
        else if (t == QLatin1String("b"))
            type = Type::Bool;
        else if (t == QLatin1String("e"))
            type = Type::Error;
        else if (t == QLatin1String("d"))
            type = Type::Date;
        bool isDate = false;
        uint32_t style = 0;
        if (type == Type::Number && parseUInt(a.value(QLatin1String("s")), style))
            isDate = style < dateXf.size() && dateXf[style];

        bool hasValue = false, hasInline = false;
        int depth = 1;
        while (depth > 0) {
            const auto ct = reader.next();
            if (ct == QXmlStreamReader::StartElement) {
                const QStringView child = xml.name();
                if (child == QLatin1String("v")) {
                    reader.readText(value);
                    hasValue = true;
                } else if (child == QLatin1String("is")) {
                    readRichText(reader, inlineText, piece);
                    hasInline = true;
                } else {
                    reader.skip();
                }
            } else if (ct == QXmlStreamReader::EndElement) {
                --depth;
            } else if (ct == QXmlStreamReader::EndDocument) {
                reader.check();
            }
        }

        const auto badValue = [&]() {
            damaged(QStringLiteral("la celda %1 tiene un valor no válido (%2)")
                        .arg(WorkbookSheet::cellName(row, col), value.left(40)));
        };
        switch (type) {
        case Type::Inline:
            if (hasInline) {
                sheet.addText(row, col, sheet.addString(inlineText));
            } else if (hasValue) {
                decodeEscapes(value);
                sheet.addText(row, col, sheet.addString(value));
            }
            break;
        case Type::Text:
            if (hasValue) {
                decodeEscapes(value);
                sheet.addText(row, col, sheet.addString(value));
            }
            break;
        case Type::Shared:
            if (hasValue) {
                uint32_t i = 0;
                if (!parseUInt(value, i) || i >= sharedCount)
                    damaged(QStringLiteral("la celda %1 usa el texto compartido %2, que no existe")
                                .arg(WorkbookSheet::cellName(row, col), value.left(40)));
                sheet.addText(row, col, i);
            }
            break;
        case Type::Bool:
            if (hasValue) {
                const QStringView v = QStringView(value).trimmed();
                if (v == QLatin1String("1") || v == QLatin1String("true"))
                    sheet.addBool(row, col, true);
                else if (v == QLatin1String("0") || v == QLatin1String("false"))
                    sheet.addBool(row, col, false);
                else
                    badValue();
            }
            break;
        case Type::Error:
            if (hasValue)
                sheet.addError(row, col, sheet.addString(QStringView(value).trimmed()));
            break;
        case Type::Date:
            if (hasValue && !QStringView(value).trimmed().isEmpty()) {
                double serial = 0;
                if (!parseIsoDate(value, sheet.date1904(), serial))
                    badValue();
                sheet.addNumber(row, col, serial, true);
            }
            break;
        case Type::Number:
            if (hasValue && !QStringView(value).trimmed().isEmpty()) {
                double number = 0;
                if (!parseDouble(value, number))
                    badValue();
                sheet.addNumber(row, col, number, isDate);
            }
            break;
        }
    }
    reader.finish();
}

} // namespace

bool isDateFormatId(int id)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the East Asian locales' date forms.
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
}

bool isDateFormatCode(const QString &code)
{
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        switch (ch.unicode()) {
        case '"': {
            const qsizetype end = code.indexOf('"', i + 1);
            if (end < 0)
                return false;
            i = end;
            break;
        }
        case '[': {
            const qsizetype end = code.indexOf(']', i + 1);
            if (end < 0)
                return false;
            // Elapsed-time brackets ([h], [mm], [ss]) are times; colours, conditions and locales are not.
            const QString inside = code.mid(i + 1, end - i - 1).toLower();
            if (!inside.isEmpty() &&
                std::all_of(inside.begin(), inside.end(), [&](QChar c) { return c == inside[0]; }) &&
                (inside[0] == 'h' || inside[0] == 'm' || inside[0] == 's'))
                return true;
            i = end;
            break;
        }
        case '\\':
        case '_':
        case '*':
            ++i; // the next character is literal, or a fill or spacing width
            break;
        case 'd':
        case 'D':
        case 'm':
        case 'M':
        case 'y':
        case 'Y':
        case 'h':
        case 'H':
        case 's':
        case 'S':
            return true;
        default:
            break;
        }
    }
    return false;
}

void read(const QString &path, WorkbookSheet &sheet)
{
    Package package(path);

    QString workbookPart = targetOfType(readRelationships(package, QString()), QLatin1String("officeDocument"));
    if (workbookPart.isEmpty() || package.locate(workbookPart) < 0)
        workbookPart = QStringLiteral("xl/workbook.xml");
    if (package.locate(workbookPart) < 0)
        fail(QStringLiteral("El archivo no es un libro de Excel: el paquete no contiene un libro"));

    const QHash<QString, Relationship> rels = readRelationships(package, workbookPart);
    const WorkbookInfo info = readWorkbook(package, workbookPart, rels);
    sheet.setDate1904(info.date1904);
    QString stylesPart = targetOfType(rels, QLatin1String("styles"));
    if (stylesPart.isEmpty())
        stylesPart = folderOf(workbookPart) + QStringLiteral("styles.xml");
    QString stringsPart = targetOfType(rels, QLatin1String("sharedStrings"));
    if (stringsPart.isEmpty())
        stringsPart = folderOf(workbookPart) + QStringLiteral("sharedStrings.xml");

    const std::vector<bool> dateXf = readDateStyles(package, stylesPart);
    const uint32_t sharedCount = readSharedStrings(package, stringsPart, sheet);
    readSheet(package, info.sheetPart, dateXf, sharedCount, sheet);
    sheet.finish();
}

} // namespace xlsx
