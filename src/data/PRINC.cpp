#include "PRINC.h"

#include "VbFormat.h"

namespace cFMTX {

QString PRINC::EsNull(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return vb::str(value.toDouble());
    return value.toString();
}

double PRINC::EsNumero(const QVariant &value) const
{
    if (!vb::isNumeric(value))
        return 0;
    return vb::cdbl(value);
}

} // namespace cFMTX
