#include "review/PositionLookup.h"

#include "data/EDMain.h"
#include "data/PRINC.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "review/SuffixVerification.h"
#include "shared/SharedState.h"

namespace positionlookup {

namespace {

DataConnection &nomenclator(SharedState &s)
{
    if (!s.enlace || !s.fmt)
        throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                           QStringLiteral("Planexo"));
    return s.enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
}

} // namespace

QStringList find(SharedState &state, const QString &text)
{
    QString pattern = text;
    pattern.replace(QLatin1Char('.'), QLatin1Char('%'));
    DataConnection &db = nomenclator(state);
    const Dialect &d = db.dialect();
    const QString c001 = d.column(QStringLiteral("001"));
    db.Sql = QStringLiteral("select ") +
             d.concat({c001, QStringLiteral("'.'"), d.column(QStringLiteral("002")),
                       d.column(QStringLiteral("003"))}) +
             QStringLiteral(" as ncm,") + d.column(QStringLiteral("012")) +
             QStringLiteral(" as estadistica,") + d.column(QStringLiteral("020")) +
             QStringLiteral(" as deresp from ncm where ") + c001 + QStringLiteral(" like ") +
             sql::text(pattern + QLatin1Char('%')) + QStringLiteral(" order by ") + c001 + QLatin1Char(',') +
             d.column(QStringLiteral("002")) + QLatin1Char(',') + d.column(QStringLiteral("003"));
    QStringList lines;
    Recordset rs;
    if (db.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            lines << vb::trim(state.fmt->EsNull(rs.Fields(QStringLiteral("ncm"))));
    }
    return lines;
}

std::optional<QString> description(SharedState &state, const QString &position)
{
    DataConnection &db = nomenclator(state);
    const Dialect &d = db.dialect();
    db.Sql = QStringLiteral("Select ") + d.column(QStringLiteral("010")) + QStringLiteral(" as descrip,") +
             d.column(QStringLiteral("004")) + QStringLiteral(" as descrip1, ") +
             d.column(QStringLiteral("012")) + QStringLiteral(" as estadistica,") +
             d.column(QStringLiteral("020")) + QStringLiteral(" as deresp, ") +
             d.column(QStringLiteral("059")) + QLatin1Char(',') + d.column(QStringLiteral("019")) +
             QStringLiteral(" as rein from ncm where ") + d.column(QStringLiteral("001")) +
             QStringLiteral(" = ") + sql::text(position.left(10)) + QStringLiteral(" and ") +
             d.column(QStringLiteral("002")) + QStringLiteral(" = ") + sql::text(position.mid(11, 3)) +
             QStringLiteral(" and ") + d.column(QStringLiteral("003")) + QStringLiteral(" = ") +
             sql::text(position.mid(14, 1));
    Recordset rs;
    if (!db.CrearRs(rs)) return std::nullopt;
    // Two line breaks: the second description after an empty line.
    return state.fmt->EsNull(rs.Fields(QStringLiteral("descrip"))) + QStringLiteral("\n\n") +
           state.fmt->EsNull(rs.Fields(QStringLiteral("descrip1")));
}

QStringList suffixLines(SharedState &state, const QString &position)
{
    DataConnection &db = nomenclator(state);
    db.Sql = QStringLiteral("select * from sufidos where sim in ") + positionLevelList(position);
    QStringList lines;
    Recordset rs;
    if (db.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            lines << vb::trim(state.fmt->EsNull(rs.Fields(QStringLiteral("sufijo"))))
                             .leftJustified(5, QLatin1Char(' ')) +
                         vb::trim(state.fmt->EsNull(rs.Fields(QStringLiteral("detalle"))));
    }
    return lines;
}

} // namespace positionlookup
