// libFuzzer target: any bytes handed to the workbook reader as a file must end in a PlanexoError
// or a readable sheet, never in a crash, a hang or unbounded memory.
#include "FuzzWorkbook.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
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
    fuzz::useSpanishLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    // The cells the sheet loader reads for a small invoice, and the last one of the grid.
    fuzz::readWorkbook(inputPath(), 40, 12);
    return 0;
}
