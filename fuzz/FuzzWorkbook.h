#pragma once
// What both fuzz targets check once their input is a workbook file.

#include "data/PlanexoError.h"
#include "workbook/clEcxel.h"
#include "workbook/common/WorkbookSheet.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QString>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fuzz {

inline void useSpanishLocale()
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
}

// Writes the input to this process's file of that name; its path, or empty when it cannot be written.
inline QString writeInput(const QString &name, const char *data, qsizetype size)
{
    const QString path = QDir::tempPath() + QStringLiteral("/%1_%2").arg(getpid()).arg(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data, size) != size) return {};
    return path;
}

// The cells handed to a sink come in row-major order, each once; opening ends in a sheet, a refusal
// to stream, or a PlanexoError of the reader. A sheet streamed whole is the sheet read keeping its
// cells: the same cells with the same texts (bytes of a part that are no UTF-8 stay as they are in
// both); a failure is the same failure.
inline void streamWorkbook(const QString &path)
{
    struct Checker : SheetCellSink {
        uint64_t last = 0;
        bool any = false;
        bool ended = false;
        std::vector<std::tuple<uint32_t, uint32_t, std::string>> cells;
        void reserve(size_t) override {}
        void cell(uint32_t row, uint32_t col, std::string_view text) override
        {
            const uint64_t at = (uint64_t(row) << 32) | col;
            if ((any && at <= last) || ended) __builtin_trap();
            last = at;
            any = true;
            cells.emplace_back(row, col, std::string(text));
        }
        void end() override { ended = true; }
    } checker;
    clEcxel reader;
    reader.setArchivo(path);
    bool streamed = false;
    QString failure;
    try {
        streamed = reader.Abrir(checker);
    } catch (const PlanexoError &e) {
        if (e.source() != QLatin1String("[clExcel.Abrir]")) __builtin_trap();
        failure = e.description();
    }
    const MergedRangeList streamedMerges = reader.mergedRanges();
    reader.CerrarArchivo();
    if (!streamed && failure.isEmpty()) return; // read the other way by the caller's steps
    clEcxel kept;
    kept.setArchivo(path);
    try {
        kept.Abrir();
    } catch (const PlanexoError &e) {
        if (e.description() != failure) __builtin_trap();
        return;
    }
    if (!failure.isEmpty() || kept.cellsHint() != checker.cells.size()) __builtin_trap();
    if (kept.mergedRanges() != streamedMerges) __builtin_trap();
    SheetTextRun run;
    for (const auto &[row, col, text] : checker.cells)
        if (kept.LeerCeldaUtf8(long(row), long(col), run) != text) __builtin_trap();
}

// Merged ranges lie in the grid, each of more than one cell, sorted and each once, at most the cap.
inline void checkMerges(const MergedRangeList &merges)
{
    if (merges.size() > WorkbookSheet::MaxMergedRanges) __builtin_trap();
    for (qsizetype i = 0; i < merges.size(); ++i) {
        const MergedRange &m = merges[i];
        if (m.firstRow < 1 || m.firstCol < 1 || m.firstRow > m.lastRow || m.firstCol > m.lastCol ||
            m.lastRow > WorkbookSheet::MaxRows || m.lastCol > WorkbookSheet::MaxCols ||
            (m.firstRow == m.lastRow && m.firstCol == m.lastCol))
            __builtin_trap();
        if (i > 0) {
            const MergedRange &p = merges[i - 1];
            if (std::tie(p.firstRow, p.firstCol, p.lastRow, p.lastCol) >=
                std::tie(m.firstRow, m.firstCol, m.lastRow, m.lastCol))
                __builtin_trap();
        }
    }
}

// Opening must end in a sheet or a PlanexoError of the reader; the cells of rows x cols and the
// last cell of the grid must read as text holding no lone surrogate, or fail with the reader's error.
inline void readWorkbook(const QString &path, long rows, long cols)
{
    auto check = [](const QString &text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!text[i].isSurrogate()) continue;
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else
                __builtin_trap();
        }
    };
    clEcxel reader;
    reader.setArchivo(path);
    try {
        if (reader.Abrir()) {
            for (long row = 1; row <= rows; ++row)
                for (long col = 1; col <= cols; ++col) {
                    try {
                        check(reader.LeerCelda(row, col));
                    } catch (const PlanexoError &e) {
                        if (e.source() != QLatin1String("[clExcel.LeerCelda]")) __builtin_trap();
                    }
                }
            check(reader.LeerCelda(1048576, 16384));
            checkMerges(reader.mergedRanges());
        }
    } catch (const PlanexoError &e) {
        if (e.source() != QLatin1String("[clExcel.Abrir]") &&
            e.source() != QLatin1String("[clExcel.LeerCelda]"))
            __builtin_trap();
    }
    reader.CerrarArchivo();
    streamWorkbook(path);
}

} // namespace fuzz
