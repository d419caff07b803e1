#include "process/ControlReport.h"

#include "data/SqlText.h"
#include "data/clGestor.h"
#include "shared/SharedState.h"

namespace controlreport {

QString errorQuery(const QString &shipment)
{
    return QStringLiteral("select * from ART where INTNRO = ") + sql::text(shipment) +
           QStringLiteral(" and (PRCEST = '' or PRCEST IS NULL or PRCCRC <> 'OK' or PRCCRC is null) "
                          "order by PRCEST,PRCCRC,ARTORD");
}

QString okQuery(const QString &shipment)
{
    return QStringLiteral("select * from ART where INTNRO = ") + sql::text(shipment) +
           QStringLiteral(" and PRCCRC = 'OK'");
}

bool read(SharedState &state, const QString &query, Recordset &rs)
{
    state.gestor->Sql = query;
    return state.gestor->CrearRs(rs);
}

} // namespace controlreport
