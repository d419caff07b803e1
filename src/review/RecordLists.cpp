#include "review/RecordLists.h"

#include "data/SqlText.h"
#include "data/clGestor.h"
#include "shared/SharedState.h"

namespace recordlists {

void read(SharedState &state, bool errors, Recordset &rs)
{
    if (errors)
        state.gestor->Sql =
            QStringLiteral("select * from ART where INTNRO = ") + sql::text(state.sInternoActual) +
            QStringLiteral(" and (PRCEST = '' or PRCEST IS NULL or PRCCRC <> 'OK' or PRCCRC is null)"
                           " order by PRCEST,PRCCRC,ARTORD");
    else
        state.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") +
                            sql::text(state.sInternoActual) +
                            QStringLiteral(" and  PRCCRC = 'OK' order by ARTORD");
    state.gestor->CrearRs(rs);
}

} // namespace recordlists
