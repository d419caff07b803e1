#pragma once
// What both fuzz targets check once their input is a workbook file.

#include "data/PlanexoError.h"
#include "workbook/clEcxel.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QString>
#include <unistd.h>

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
        }
    } catch (const PlanexoError &e) {
        if (e.source() != QLatin1String("[clExcel.Abrir]") &&
            e.source() != QLatin1String("[clExcel.LeerCelda]"))
            __builtin_trap();
    }
    reader.CerrarArchivo();
}

} // namespace fuzz
