#include "process/ResultCounts.h"

#include "data/SqlText.h"
#include "shared/SharedState.h"

ResultCounts ResultCounts::read(SharedState &state)
{
    ResultCounts c;
    const struct {
        long long *count;
        const char *ending;
    } queries[] = {
        {&c.total, ""},
        {&c.enCatalogo, " and PRCEST = 'A'"},
        {&c.nuevos, " and (PRCEST = '' or PRCEST IS NULL)"},
        {&c.erroneos, " and PRCCRC <> 'OK'"},
        {&c.errPos, " and PRCCRC = 'POS'"},
        {&c.errSuf, " and PRCCRC = 'SUF'"},
    };
    for (const auto &query : queries) {
        Recordset rs;
        state.gestor->Sql = QStringLiteral("select count(INTNRO) as total from ART where INTNRO = ") +
                            sql::text(state.sInternoActual) + QLatin1String(query.ending);
        *query.count = 0;
        if (state.gestor->CrearRs(rs))
            *query.count = static_cast<long long>(state.fmt->EsNumero(rs.Fields(QStringLiteral("total"))));
    }
    return c;
}

QVector<ResultCounts::Grade> ResultCounts::grades(SharedState &state, const QString &shipment)
{
    QVector<Grade> grades;
    Recordset rs;
    state.gestor->Sql = QStringLiteral("select ARTORD, ARTNRO, PRCEST, PRCCRC from ART where INTNRO = ") +
                        sql::text(shipment) + QStringLiteral(" order by ARTORD");
    if (state.gestor->CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            grades.push_back({rs.Fields(QStringLiteral("ARTORD")).toLongLong(),
                              state.fmt->EsNull(rs.Fields(QStringLiteral("ARTNRO"))),
                              state.fmt->EsNull(rs.Fields(QStringLiteral("PRCEST"))),
                              state.fmt->EsNull(rs.Fields(QStringLiteral("PRCCRC")))});
    }
    return grades;
}
