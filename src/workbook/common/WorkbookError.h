#pragma once

#include "data/PlanexoError.h"

#include <QString>
#include <cstdint>

// The failures of the workbook readers: PlanexoError 1004 without a source (clEcxel sets it), with
// a Spanish description of what is wrong.
namespace workbook {

constexpr long WorkbookError = 1004;

[[noreturn]] inline void fail(const QString &description)
{
    throw PlanexoError(WorkbookError, description);
}

// The file is no sound workbook of its format: what is wrong with it follows the colon.
[[noreturn]] inline void damaged(const QString &what)
{
    fail(QStringLiteral("El libro está dañado: %1").arg(what));
}

// More was to be read than the cap allows.
[[noreturn]] inline void tooLarge(int64_t maxBytes)
{
    fail(QStringLiteral("El libro descomprimido supera %1 MiB, el máximo que se lee").arg(maxBytes >> 20));
}

[[noreturn]] inline void cannotRead(const QString &path)
{
    fail(QStringLiteral("No se puede leer el archivo %1").arg(path));
}

[[noreturn]] inline void passwordProtected()
{
    fail(QStringLiteral("El libro está protegido con contraseña"));
}

} // namespace workbook
