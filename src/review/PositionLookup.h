#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct SharedState;

// The tariff position lookup's statements on the nomenclator ("NCM"). Without the data-access
// manager or the value-checking component they fail with VB's error 91.
namespace positionlookup {

// The positions whose eight-digit code starts as the pattern (its points as wildcards), written
// "8252.00.00.000B", in the nomenclator's order.
QStringList find(SharedState &state, const QString &pattern);
// A position's two descriptions, the second after an empty line; nothing when it is not found.
std::optional<QString> description(SharedState &state, const QString &position);
// The suffixes that apply to a position: the code padded to five characters, then its detail.
QStringList suffixLines(SharedState &state, const QString &position);

} // namespace positionlookup
