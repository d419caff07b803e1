#include "workbook/xls/XlsReader.h"

#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/xls/XlsBiff.h"

namespace xls {
namespace {

using workbook::fail;

// Larger legacy workbooks are refused before they are read into memory.
constexpr int64_t MaxFileBytes = int64_t(256) << 20;

// The workbook stream of the compound file, or the reason there is none.
QByteArray workbookStream(WorkbookFile &file)
{
    xlsbiff::CompoundFile compound;
    if (!compound.open(
            file.readAll(MaxFileBytes, QStringLiteral("El libro supera %1 MiB, el máximo que se lee"))))
        fail(QStringLiteral("El libro está dañado o incompleto: su estructura interna no es válida"));
    // A workbook saved with a password to open, in the Office Open XML formats.
    if (compound.contains(QStringLiteral("EncryptedPackage")))
        fail(QStringLiteral("El libro está protegido con contraseña"));
    for (const QString &name : {QStringLiteral("Workbook"), QStringLiteral("Book")}) {
        if (!compound.contains(name)) continue;
        const QByteArray stream = compound.stream(name);
        if (stream.isEmpty() || !xlsbiff::startsWithBof(stream))
            fail(QStringLiteral("El libro está dañado o incompleto: su hoja de datos no se puede leer"));
        return stream;
    }
    // The other Office programs' documents, named by their main stream.
    if (compound.contains(QStringLiteral("WordDocument")))
        fail(QStringLiteral("El archivo no es un libro de Excel: es un documento de Word"));
    if (compound.contains(QStringLiteral("PowerPoint Document")))
        fail(QStringLiteral("El archivo no es un libro de Excel: es una presentación de PowerPoint"));
    fail(QStringLiteral("El archivo no es un libro de Excel: es un documento de otro programa"));
}

} // namespace
} // namespace xls

bool XlsReader::canRead(WorkbookFile &file) const
{
    // A compound file: the reader names the documents of the other Office programs.
    return file.head().startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}

WorkbookSheetList XlsReader::sheets(WorkbookFile &file) const
{
    return xlsbiff::sheetList(xls::workbookStream(file));
}

void XlsReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    xlsbiff::readSheet(xls::workbookStream(file), sheet, index);
    sheet.finish();
}
