#include "workbook/clEcxel.h"

#include "workbook/common/FileKind.h"
#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookReader.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/csv/CsvReader.h"
#include "workbook/ods/OdsReader.h"
#include "workbook/pdf/PdfReader.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xlsb/XlsbReader.h"
#include "workbook/xlsx/XlsxReader.h"

#include <new>

namespace {

constexpr long NoFileSelected = -2147221494; // 0x80040000 + 10, the object-error base plus 10
constexpr long OutOfMemory = 7;

const QString AbrirSource = QStringLiteral("[clExcel.Abrir]");
const QString LeerCeldaSource = QStringLiteral("[clExcel.LeerCelda]");

template <class Reader> const WorkbookReader *the()
{
    static const Reader reader;
    return &reader;
}

// The readers, asked in turn whether they read the file; the first that does reads it.
const WorkbookReader *readerOf(WorkbookFile &file)
{
    static const WorkbookReader *const readers[] = {
        the<OdsReader>(), the<XlsbReader>(), the<XlsxReader>(),
        the<XlsReader>(), the<PdfReader>(),  the<CsvReader>(),
    };
    for (const WorkbookReader *reader : readers)
        if (reader->canRead(file)) return reader;
    if (filekind::isExcel4OrOlder(file.head()))
        workbook::fail(QStringLiteral("El libro tiene el formato de Excel 4.0 o anterior, que no se lee"));
    // A document of another program is named, a sound file never called a damaged workbook.
    const QString what = filekind::otherDocument(file);
    workbook::fail(
        what.isEmpty()
            ? QStringLiteral("El archivo %1 no es un libro de Excel").arg(file.path())
            : QStringLiteral("El archivo %1 no es un libro de Excel: es %2").arg(file.path(), what));
}

bool inGrid(long row, long col)
{
    return row >= 1 && row <= long(WorkbookSheet::MaxRows) && col >= 1 && col <= long(WorkbookSheet::MaxCols);
}

PlanexoError outsideGrid(long row, long col, const QString &source)
{
    return PlanexoError(
        workbook::WorkbookError,
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
    m_sheet.reset();
    if (m_archivo.isEmpty())
        throw PlanexoError(NoFileSelected, QStringLiteral("No hay archivo seleccionado"), AbrirSource);
    try {
        // A file kept from a read that fell back to keeping its cells is not opened again.
        if (!m_file || m_file->path() != m_archivo) m_file = std::make_unique<WorkbookFile>(m_archivo);
        const WorkbookReader *reader = readerOf(*m_file);
        auto sheet = std::make_unique<WorkbookSheet>();
        sheet->streamTo(sink);
        reader->read(*m_file, m_hoja, *sheet);
        if (sink) sink->end();
        sheet->streamTo(nullptr);
        m_sheet = std::move(sheet);
        m_file.reset();
    } catch (const SheetStreamFallback &) {
        return false;
    } catch (PlanexoError &e) {
        m_file.reset();
        e.setSource(AbrirSource);
        throw;
    } catch (const std::bad_alloc &) {
        m_file.reset();
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
        WorkbookFile file(m_archivo);
        return readerOf(file)->sheets(file);
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

const MergedRangeList &clEcxel::mergedRanges() const
{
    static const MergedRangeList none;
    return m_sheet ? m_sheet->mergedRanges() : none;
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
    m_file.reset();
}
