#include "clEcxel.h"

#include "CsvReader.h"
#include "FileKind.h"
#include "OdsReader.h"
#include "WorkbookSheet.h"
#include "XlsReader.h"
#include "XlsbReader.h"
#include "XlsxReader.h"
#include "data/PlanexoError.h"

#include <QFile>
#include <QFileInfo>
#include <new>

namespace {

constexpr long NoFileSelected = -2147221494; // 0x80040000 + 10, the object-error base plus 10
constexpr long WorkbookError = 1004;
constexpr long OutOfMemory = 7;

const QString AbrirSource = QStringLiteral("[clExcel.Abrir]");
const QString LeerCeldaSource = QStringLiteral("[clExcel.LeerCelda]");

enum class Format { Xlsx, Xls, Xlsb, Ods, Csv };

// Excel 2.x to 4.0 saved a sheet as bare BIFF2-4 records, a BOF record first (no compound file):
// its type, a short length, and what the sheet is (worksheet, chart, macro sheet, workspace).
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

// The format by the file's first bytes, whatever its extension says.
Format detectFormat(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw PlanexoError(WorkbookError, QStringLiteral("No se encuentra el archivo %1").arg(path));
    if (info.isDir())
        throw PlanexoError(WorkbookError,
                           QStringLiteral("%1 es una carpeta, no un libro de Excel").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlanexoError(WorkbookError, QStringLiteral("No se puede leer el archivo %1").arg(path));
    const QByteArray head = file.read(512);
    if (head.isEmpty())
        throw PlanexoError(WorkbookError, QStringLiteral("El archivo %1 está vacío").arg(path));
    // A document of another program is named, a sound file never called a damaged workbook.
    const auto notWorkbook = [&path](const QString &what) {
        return PlanexoError(WorkbookError, what.isEmpty()
                                               ? QStringLiteral("El archivo %1 no es un libro de Excel").arg(path)
                                               : QStringLiteral("El archivo %1 no es un libro de Excel: es %2")
                                                     .arg(path, what));
    };
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) {
        if (ods::isSpreadsheet(path)) return Format::Ods;
        if (const QString what = filekind::otherDocument(path, head); !what.isEmpty()) throw notWorkbook(what);
        return xlsb::isBinaryPackage(path) ? Format::Xlsb : Format::Xlsx;
    }
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return Format::Xls;
    if (isExcel4OrOlder(head))
        throw PlanexoError(
            WorkbookError,
            QStringLiteral("El libro tiene el formato de Excel 4.0 o anterior, que no se lee"));
    // Text of no other kind is a delimited table (.csv, .txt).
    const QString what = filekind::otherDocument(path, head);
    if (what.isEmpty() && csv::isText(path)) return Format::Csv;
    throw notWorkbook(what);
}

void readSheet(Format format, const QString &path, WorkbookSheet &sheet, int index)
{
    switch (format) {
    case Format::Xlsx:
        xlsx::read(path, sheet, index);
        break;
    case Format::Xls:
        xls::read(path, sheet, index);
        break;
    case Format::Xlsb:
        xlsb::read(path, sheet, index);
        break;
    case Format::Ods:
        ods::read(path, sheet, index);
        break;
    case Format::Csv:
        csv::read(path, sheet, index);
        break;
    }
}

WorkbookSheetList listSheets(Format format, const QString &path)
{
    switch (format) {
    case Format::Xlsx:
        return xlsx::sheets(path);
    case Format::Xls:
        return xls::sheets(path);
    case Format::Xlsb:
        return xlsb::sheets(path);
    case Format::Ods:
        return ods::sheets(path);
    case Format::Csv:
        return csv::sheets(path);
    }
    return {};
}

bool inGrid(long row, long col)
{
    return row >= 1 && row <= long(WorkbookSheet::MaxRows) && col >= 1 && col <= long(WorkbookSheet::MaxCols);
}

PlanexoError outsideGrid(long row, long col, const QString &source)
{
    return PlanexoError(
        WorkbookError,
        QStringLiteral("La celda de la fila %1, columna %2 está fuera de la hoja").arg(row).arg(col), source);
}

} // namespace

clEcxel::clEcxel() = default;
clEcxel::~clEcxel() = default;

bool clEcxel::Abrir()
{
    open(nullptr);
    return true;
}

bool clEcxel::Abrir(SheetCellSink &sink)
{
    return open(&sink);
}

bool clEcxel::open(SheetCellSink *sink)
{
    CerrarArchivo();
    if (m_archivo.isEmpty())
        throw PlanexoError(NoFileSelected, QStringLiteral("No hay archivo seleccionado"), AbrirSource);
    try {
        auto sheet = std::make_unique<WorkbookSheet>();
        sheet->streamTo(sink);
        readSheet(detectFormat(m_archivo), m_archivo, *sheet, m_hoja);
        if (sink) sink->end();
        sheet->streamTo(nullptr);
        m_sheet = std::move(sheet);
    } catch (const SheetStreamFallback &) {
        return false;
    } catch (PlanexoError &e) {
        e.setSource(AbrirSource);
        throw;
    } catch (const std::bad_alloc &) {
        throw PlanexoError(OutOfMemory, QStringLiteral("No hay memoria suficiente para leer el libro"),
                           AbrirSource);
    }
    return true;
}

WorkbookSheetList clEcxel::Hojas() const
{
    if (m_archivo.isEmpty())
        throw PlanexoError(NoFileSelected, QStringLiteral("No hay archivo seleccionado"), AbrirSource);
    try {
        return listSheets(detectFormat(m_archivo), m_archivo);
    } catch (PlanexoError &e) {
        e.setSource(AbrirSource);
        throw;
    } catch (const std::bad_alloc &) {
        throw PlanexoError(OutOfMemory, QStringLiteral("No hay memoria suficiente para leer el libro"),
                           AbrirSource);
    }
}

QString clEcxel::LeerCelda(long p_Lin, long p_Col) const
{
    if (!m_sheet) return {};
    if (!inGrid(p_Lin, p_Col)) throw outsideGrid(p_Lin, p_Col, LeerCeldaSource);
    try {
        return m_sheet->text(uint32_t(p_Lin), uint32_t(p_Col));
    } catch (PlanexoError &e) {
        e.setSource(LeerCeldaSource);
        throw;
    }
}

std::string_view clEcxel::LeerCeldaUtf8(long p_Lin, long p_Col, SheetTextRun &run) const
{
    if (!m_sheet) return {};
    if (!inGrid(p_Lin, p_Col)) throw outsideGrid(p_Lin, p_Col, LeerCeldaSource);
    try {
        return m_sheet->textUtf8(uint32_t(p_Lin), uint32_t(p_Col), run);
    } catch (PlanexoError &e) {
        e.setSource(LeerCeldaSource);
        throw;
    }
}

size_t clEcxel::cellsHint() const
{
    return m_sheet ? m_sheet->cellCount() : 0;
}

long clEcxel::ultimaFila() const
{
    return m_sheet ? long(m_sheet->lastRow()) : 0;
}

size_t clEcxel::textBytesHint() const
{
    // A number, date or boolean cell writes at most 24 bytes.
    return m_sheet ? m_sheet->stringBytes() + 24 * m_sheet->cellCount() : 0;
}

void clEcxel::EscribirCelda(long p_Lin, long p_Col, const QString &p_Valor)
{
    if (!m_sheet) return;
    if (!inGrid(p_Lin, p_Col)) throw outsideGrid(p_Lin, p_Col, QStringLiteral("[clExcel.EscribirCelda]"));
    m_sheet->setText(uint32_t(p_Lin), uint32_t(p_Col), p_Valor);
}

void clEcxel::CerrarArchivo() noexcept
{
    m_sheet.reset();
}
