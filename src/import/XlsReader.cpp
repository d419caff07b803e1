#include "XlsReader.h"

#include "WorkbookSheet.h"
#include "XlsBiff.h"
#include "data/PlanexoError.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <freexl.h>

namespace xls {
namespace {

constexpr long WorkbookError = 1004;

[[noreturn]] void fail(const QString &description)
{
    throw PlanexoError(WorkbookError, description);
}

class Handle {
  public:
    ~Handle()
    {
        if (m_handle) freexl_close(m_handle);
    }
    const void *m_handle = nullptr;
};

// freexl's date ("YYYY-MM-DD"), date-time and time ("HH:MM:SS") texts as serials of the 1900
// date system. freexl may write a time of "24:00:00" when it rounds up to midnight.
bool serialFromText(const char *text, unsigned char type, double &serial)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool ok = false;
    if (type == FREEXL_CELL_DATE)
        ok = std::sscanf(text, "%4d-%2d-%2d", &year, &month, &day) == 3;
    else if (type == FREEXL_CELL_DATETIME)
        ok = std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second) == 6;
    else
        ok = std::sscanf(text, "%2d:%2d:%2d", &hour, &minute, &second) == 3;
    if (!ok || hour < 0 || hour > 24 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    if (type == FREEXL_CELL_TIME) {
        serial = time;
        return true;
    }
    const QDate date(year, month, day);
    if (!date.isValid()) return false;
    serial = WorkbookSheet::serialOf(date, QTime(0, 0)) + time;
    return serial >= 0;
}

// freexl gives no value for formula cells nor for boolean and error constants; they are read
// from the workbook's records and added.
void addFormulaCells(const QString &path, WorkbookSheet &sheet)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (int64_t(512) << 20)) return;
    const QByteArray data = file.readAll();
    QByteArray workbook = xlsbiff::compoundStream(data, QStringLiteral("Workbook"));
    if (workbook.isEmpty()) workbook = xlsbiff::compoundStream(data, QStringLiteral("Book"));
    for (const xlsbiff::Cell &c : xlsbiff::formulaCells(workbook)) {
        switch (c.kind) {
        case xlsbiff::Cell::Number:
            sheet.addNumber(c.row, c.col, c.number, c.isDate);
            break;
        case xlsbiff::Cell::Text:
            sheet.addText(c.row, c.col, sheet.addString(c.text));
            break;
        case xlsbiff::Cell::Bool:
            sheet.addBool(c.row, c.col, c.number != 0);
            break;
        case xlsbiff::Cell::Error:
            sheet.addError(c.row, c.col, sheet.addString(c.text));
            break;
        case xlsbiff::Cell::EmptyText:
            break;
        }
    }
}

} // namespace

bool isEncryptedPackage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // The stream names of the compound file's directory, in UTF-16LE.
    static const QByteArray name = QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    QByteArray carry;
    while (!file.atEnd()) {
        const QByteArray chunk = carry + file.read(1 << 20);
        if (chunk.contains(name)) return true;
        carry = chunk.right(name.size());
        if (file.pos() > (int64_t(256) << 20)) break;
    }
    return false;
}

void read(const QString &path, WorkbookSheet &sheet)
{
    Handle h;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &h.m_handle);
    if (rc != FREEXL_OK) {
        switch (rc) {
        case FREEXL_FILE_NOT_FOUND:
            fail(QStringLiteral("No se encuentra el archivo %1").arg(path));
        case FREEXL_INSUFFICIENT_MEMORY:
            fail(QStringLiteral("No hay memoria suficiente para leer el libro"));
        case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
            if (isEncryptedPackage(path)) fail(QStringLiteral("El libro está protegido con contraseña"));
            fail(QStringLiteral("El archivo no es un libro de Excel: es un documento de otro programa"));
        default:
            fail(QStringLiteral("El libro está dañado o incompleto (código de lectura %1)").arg(rc));
        }
    }
    // freexl answers success without a handle for a workbook encrypted with a password.
    if (!h.m_handle) fail(QStringLiteral("El libro está protegido con contraseña"));
    unsigned int info = 0;
    if (freexl_get_info(h.m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED)
        fail(QStringLiteral("El libro está protegido con contraseña"));
    if (freexl_get_info(h.m_handle, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0)
        fail(QStringLiteral("El libro no tiene ninguna hoja de cálculo"));
    if (freexl_select_active_worksheet(h.m_handle, 0) != FREEXL_OK)
        fail(QStringLiteral("El libro está dañado: no se puede leer su primera hoja"));
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_worksheet_dimensions(h.m_handle, &rows, &cols) != FREEXL_OK)
        fail(QStringLiteral("El libro está dañado: no se puede leer su primera hoja"));

    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(h.m_handle, r, c, &v) != FREEXL_OK)
                fail(QStringLiteral("El libro está dañado: no se puede leer la celda %1")
                         .arg(WorkbookSheet::cellName(r + 1, c + 1)));
            switch (v.type) {
            case FREEXL_CELL_INT:
                sheet.addNumber(r + 1, c + 1, v.value.int_value, false);
                break;
            case FREEXL_CELL_DOUBLE:
                sheet.addNumber(r + 1, c + 1, v.value.double_value, false);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                sheet.addText(r + 1, c + 1, sheet.addString(QString::fromUtf8(v.value.text_value)));
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME: {
                double serial = 0;
                if (!v.value.text_value || !serialFromText(v.value.text_value, v.type, serial))
                    fail(QStringLiteral("El libro está dañado: la fecha de la celda %1 no es válida")
                             .arg(WorkbookSheet::cellName(r + 1, c + 1)));
                sheet.addNumber(r + 1, c + 1, serial, true);
                break;
            }
            default:
                break;
            }
        }
    }
    addFormulaCells(path, sheet);
    sheet.finish();
}

} // namespace xls
