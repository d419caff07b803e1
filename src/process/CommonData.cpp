#include "CommonData.h"

#include "ProcessRun.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/SqlText.h"

// The joined updates are written as SQLite's UPDATE ... FROM. Each comparison puts the column whose
// collation should decide on the left: ORG.PAI compares without letter case, as the relations are
// taught; positions compare exactly.
void CommonData::run()
{
    SharedState &s = m_run.state;
    oAlm::clGestor &db = *s.gestor;
    const QString shipment = sql::text(s.sInternoActual);

    m_run.step = step::Stage3Start;
    m_run.progress.setCaption(QStringLiteral("Procesando... Etapa 3 de 4: Actualizando datos comunes"));
    Batch batch(db);

    m_run.step = step::OriginCodes;
    m_run.setBuffer(QStringLiteral("update ART set PRCORI = ORG.ORI from ORG where ORG.PAI = ART.ARTORG "
                                   "and ART.INTNRO = ") +
                    shipment);
    m_run.execute(db, m_run.buffer);

    m_run.step = step::DeclaredUnits;
    m_run.execute(db,
                  QStringLiteral("update ART set PRCDUN = NCMDEC.DECLARADA from NCMDEC where NCMDEC.NCM = "
                                 "ART.PRCNCM and ART.INTNRO = ") +
                      shipment);

    m_run.step = step::GoodsState;
    m_run.setBuffer(QStringLiteral("update ART set PRCESM = ") + sql::text(s.PRCESM) +
                    QStringLiteral(" where INTNRO = ") + shipment +
                    QStringLiteral(" and (PRCESM is null or PRCESM = '')"));
    m_run.execute(db, m_run.buffer);
    batch.commit();
}
