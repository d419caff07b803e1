// libFuzzer target: any bytes handed to the workbook reader as a file must end in a PlanexoError
// or a readable sheet, never in a crash, a hang or unbounded memory.
#include "FuzzWorkbook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::useSpanishLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::writeInput(QStringLiteral("fuzz_reader.bin"),
                                          reinterpret_cast<const char *>(data), qsizetype(size));
    // The cells the sheet loader reads for a small invoice, and the last one of the grid.
    if (!path.isEmpty()) fuzz::readWorkbook(path, 40, 12);
    return 0;
}
