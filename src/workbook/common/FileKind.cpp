#include "workbook/common/FileKind.h"

#include "data/PlanexoError.h"
#include "workbook/common/WorkbookReader.h"
#include "workbook/common/ZipPackage.h"

namespace filekind {
namespace {

// A package of another program, by its entries.
QString otherPackage(WorkbookFile &file)
{
    workbook::ZipPackage *package = nullptr;
    try {
        package = &file.zip();
    } catch (const PlanexoError &) {
        return {};
    }
    const auto has = [package](const char *name) { return package->locate(QString::fromLatin1(name)) >= 0; };
    if (has("xl/workbook.xml") || has("xl/workbook.bin")) return {};
    if (has("word/document.xml")) return QStringLiteral("un documento de Word");
    if (has("ppt/presentation.xml")) return QStringLiteral("una presentación de PowerPoint");
    const int64_t at = package->locate(QStringLiteral("mimetype"));
    if (at < 0) return {};
    const QByteArray mime = package->peek(at, 127);
    if (mime.startsWith("application/vnd.oasis.opendocument.text"))
        return QStringLiteral("un documento de texto de OpenDocument");
    if (mime.startsWith("application/vnd.oasis.opendocument.presentation"))
        return QStringLiteral("una presentación de OpenDocument");
    if (mime.startsWith("application/vnd.oasis.opendocument.graphics"))
        return QStringLiteral("un dibujo de OpenDocument");
    if (mime.startsWith("application/epub")) return QStringLiteral("un libro electrónico EPUB");
    return {};
}

} // namespace

// A BOF record first (no compound file): its type, a short length, and what the sheet is
// (worksheet, chart, macro sheet, workspace).
bool isExcel4OrOlder(const QByteArray &head)
{
    if (head.size() < 8) return false;
    const auto u16 = [&head](int at) {
        return uint32_t(uchar(head[at])) | uint32_t(uchar(head[at + 1])) << 8;
    };
    const uint32_t type = u16(0), length = u16(2), kind = u16(6);
    return (type == 0x0009 || type == 0x0209 || type == 0x0409) && length >= 4 && length <= 16 &&
           (kind == 0x0010 || kind == 0x0020 || kind == 0x0040 || kind == 0x0100);
}

QString otherDocument(WorkbookFile &file)
{
    if (file.looksLikeZip()) return otherPackage(file);
    const QByteArray &head = file.head();
    // Documents that are text of their own kind.
    if (head.startsWith("%PDF")) return QStringLiteral("un documento PDF");
    if (head.startsWith("{\\rtf")) return QStringLiteral("un documento RTF");
    struct Signature {
        const char *bytes;
        int length;
        const char *what;
    };
    // Binary formats; each has a NUL byte among its first bytes, which no text file has (a text
    // that merely starts with the same letters is not taken for one).
    static const Signature signatures[] = {
        {"\x89PNG\r\n\x1A\n", 8, "una imagen PNG"},
        {"\xFF\xD8\xFF", 3, "una imagen JPEG"},
        {"GIF87a", 6, "una imagen GIF"},
        {"GIF89a", 6, "una imagen GIF"},
        {"II*\0", 4, "una imagen TIFF"},
        {"MM\0*", 4, "una imagen TIFF"},
        {"Rar!\x1A\x07", 6, "un archivo comprimido RAR"},
        {"7z\xBC\xAF\x27\x1C", 6, "un archivo comprimido 7-Zip"},
        {"\x1F\x8B", 2, "un archivo comprimido gzip"},
        {"MZ", 2, "un programa"},
        {"\x7F"
         "ELF",
         4, "un programa"},
    };
    if (head.left(512).contains('\0')) {
        for (const Signature &s : signatures)
            if (head.startsWith(QByteArray::fromRawData(s.bytes, s.length))) return QString::fromUtf8(s.what);
    }
    // Markup: what a text reader would show as tags.
    QByteArray start = head.left(512).trimmed().toLower();
    if (start.startsWith("\xEF\xBB\xBF")) start = start.mid(3).trimmed();
    if (start.startsWith("<!doctype html") || start.startsWith("<html"))
        return QStringLiteral("una página web (HTML)");
    if (start.startsWith("<?xml")) return QStringLiteral("un documento XML");
    return {};
}

} // namespace filekind
