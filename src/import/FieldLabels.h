#pragma once

#include <QString>
#include <QStringList>

// The field labels written into the mapping row (row 1) of the preview grid. They are compared as
// exact text everywhere, brackets and blanks included.
namespace fieldlabels {

inline const QString Ninguno = QStringLiteral("< NINGUNO >");
inline const QString CodArticulo = QStringLiteral("[ COD. ARTICULO ]");
inline const QString DescrModelo = QStringLiteral("[ DESCR. MODELO ]");
inline const QString DescrMaria = QStringLiteral("[ DESCR. MARIA ]");
inline const QString KgNeto = QStringLiteral("[ KG NETO ]");
inline const QString Cantidad = QStringLiteral("[ CANTIDAD ]");
inline const QString PTotal = QStringLiteral("[ P. TOTAL ]");
inline const QString PaNcm = QStringLiteral("[ P.A (NCM) ]");
inline const QString Unidad = QStringLiteral("[ UNIDAD ]");
inline const QString Origen = QStringLiteral("[ ORIGEN ]");
// Known to the verification and the process but not offered by the chooser.
inline const QString Marca = QStringLiteral("[ MARCA ]");
inline const QString KgBruto = QStringLiteral("[ KG BRUTO ]");
inline const QString PUnitario = QStringLiteral("[ P. UNITARIO ]");

// The chooser's entries in list order, the none entry first.
inline QStringList chooserEntries()
{
    return {Ninguno, CodArticulo, DescrModelo, DescrMaria, KgNeto, Cantidad, PTotal, PaNcm, Unidad, Origen};
}

} // namespace fieldlabels
