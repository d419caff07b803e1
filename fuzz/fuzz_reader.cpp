// libFuzzer target: any bytes handed to the workbook reader as a file must end in a PlanexoError
// or a readable sheet, never in a crash, a hang or unbounded memory.
#include "data/PlanexoError.h"
#include "workbook/clEcxel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

QString inputPath()
{
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz_reader_%1.bin").arg(getpid());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    clEcxel reader;
    reader.setArchivo(inputPath());
    try {
        if (reader.Abrir()) {
            // The cells the sheet loader reads for a small invoice, and a few far away.
            for (long row = 1; row <= 40; ++row)
                for (long col = 1; col <= 12; ++col) {
                    try {
                        reader.LeerCelda(row, col);
                    } catch (const PlanexoError &) {
                    }
                }
            reader.LeerCelda(1048576, 16384);
        }
    } catch (const PlanexoError &e) {
        if (e.source() != QLatin1String("[clExcel.Abrir]") &&
            e.source() != QLatin1String("[clExcel.LeerCelda]"))
            __builtin_trap();
    }
    reader.CerrarArchivo();
    return 0;
}
