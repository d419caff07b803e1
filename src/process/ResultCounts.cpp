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
