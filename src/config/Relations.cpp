#include "config/Relations.h"

#include "data/DataConnection.h"
#include "data/PRINC.h"
#include "data/SqlText.h"
#include "shared/SharedState.h"

namespace relations {

CodeList units(DataConnection &calvera)
{
    CodeList list;
    Recordset rs;
    calvera.Sql = QStringLiteral("select id,descripcion from unidades order by descripcion");
    if (calvera.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext()) {
            list.names << rs.Fields(QStringLiteral("descripcion")).toString();
            list.ids << rs.Fields(QStringLiteral("id")).toString();
        }
    }
    return list;
}

CodeList catalogues(DataConnection &calvera)
{
    CodeList list;
    Recordset rs;
    calvera.Sql =
        QStringLiteral("select idcatalogo, descripcion from catalogo order by idcatalogo, descripcion");
    if (calvera.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext()) {
            const QString id = rs.Fields(QStringLiteral("idcatalogo")).toString();
            list.ids << id;
            list.names << QStringLiteral("[") + id + QStringLiteral("] ") +
                              rs.Fields(QStringLiteral("descripcion")).toString();
        }
    }
    return list;
}

CodeList countries(SharedState &state)
{
    CodeList list;
    Recordset rs;
    state.gestor->Sql = QStringLiteral("select * from PAIS order by Descripcion");
    if (state.gestor->CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext()) {
            const QString id = state.fmt->EsNull(rs.Fields(QStringLiteral("id")));
            list.ids << id;
            list.names << state.fmt->EsNull(rs.Fields(QStringLiteral("Descripcion"))) + QStringLiteral(" (") +
                              id + QStringLiteral(")");
        }
    }
    return list;
}

QVector<QPair<QString, QString>> declaredUnits(DataConnection &work)
{
    QVector<QPair<QString, QString>> relations;
    Recordset rs;
    work.Sql = QStringLiteral("select * from NCMDEC order by NCM");
    if (work.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            relations.push_back({rs.Fields(QStringLiteral("NCM")).toString(),
                                 rs.Fields(QStringLiteral("DECLARADA")).toString()});
    }
    return relations;
}

long long addDeclaredUnit(DataConnection &work, const QString &ncm, const QString &unit)
{
    work.Sql = QStringLiteral("insert into NCMDEC (NCM, DECLARADA) values (") + sql::text(ncm) +
               QStringLiteral(",") + sql::text(unit) + QStringLiteral(")");
    return work.Ejecutar();
}

long long removeDeclaredUnit(DataConnection &work, const QString &ncm, const QString &unit)
{
    work.Sql = QStringLiteral("delete from NCMDEC where NCM = ") + sql::text(ncm) +
               QStringLiteral(" and DECLARADA = ") + sql::text(unit);
    return work.Ejecutar();
}

long long addCountry(DataConnection &work, const QString &origin, const QString &country)
{
    work.Sql = QStringLiteral("insert into ORG (PAI, ORI) values (") + sql::text(origin) +
               QStringLiteral(",") + sql::text(country) + QStringLiteral(")");
    return work.Ejecutar();
}

} // namespace relations
