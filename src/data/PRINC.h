#pragma once

#include <QString>
#include <QVariant>

namespace cFMTX {

// The value-checking component: null-safe reading of field values.
class PRINC {
public:
    // The value as text; empty text for Null.
    QString EsNull(const QVariant &value) const;
    // The value as a number; 0 when it is Null, empty or not numeric in the user's locale.
    double EsNumero(const QVariant &value) const;
};

} // namespace cFMTX
