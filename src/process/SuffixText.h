#pragma once

#include <QString>

// Sets one code's value in a suffix text such as AA(brand)-AB(model): the existing entry of the
// code (found case-insensitively) gets the new value, or a new entry is appended after a "-".
// On an error it shows its own message and returns empty text.
QString cambiarCadenaSufijo(const QString &suffixText, const QString &code, const QString &value);
