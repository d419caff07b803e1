#include "PositionCheck.h"

#include "ProcessRun.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/SqlText.h"
#include "data/clPRINC.h"

#include <memory>

QString PositionCheck::gradeClause(int result)
{
    switch (result) {
    case 0:
        return QStringLiteral("PRCCRC = 'OK' ");
    case 1:
        return QStringLiteral("PRCCRC = 'POS', PRCEST = 'E' ");
    case 2:
        return QStringLiteral("PRCCRC = 'SUF', PRCEST = 'E' ");
    default:
        return QStringLiteral("PRCCRC = 'ERR', PRCEST = 'E' ");
    }
}

void PositionCheck::run()
{
    SharedState &s = m_run.state;
    oAlm::clGestor &db = *s.gestor;
    Progress &progress = m_run.progress;
    const QString shipment = sql::text(s.sInternoActual);

    m_run.step = step::Stage4Start;
    progress.setCaption(QStringLiteral("Procesando... Etapa 4 de 4: Validando NCM..."));
    progress.setValue(0);
    progress.setValue(1);

    m_run.step = step::ReadFound;
    Recordset rows;
    if (m_run.query(db,
                    QStringLiteral("select PRCNCM, PRCSUF, INTNRO, ARTORD from ART where INTNRO = ") +
                        shipment + QStringLiteral(" and PRCEST = 'A'"),
                    rows))
        progress.setMaximum(rows.RecordCount());

    Batch batch(db);
    // The suffix check reads the nomenclator row by row: one read transaction over all of it.
    std::unique_ptr<Batch> nomenclatorReads;
    m_run.step = step::ValidateSuffixes;
    if (!rows.Eof())
        nomenclatorReads =
            std::make_unique<Batch>(s.enlace->getDataConnectionByEntity(QStringLiteral("NCM")));
    QStringList positions;
    for (; !rows.Eof(); rows.MoveNext())
        positions << s.fmt->EsNull(rows.Fields(QStringLiteral("PRCNCM")));
    rows.MoveFirst();
    m_run.checker.anticipate(positions);
    while (!rows.Eof()) {
        m_run.step = step::ValidateSuffixes;
        const int result = m_run.checker.ValidarSufijos(s.fmt->EsNull(rows.Fields(QStringLiteral("PRCNCM"))),
                                                        s.fmt->EsNull(rows.Fields(QStringLiteral("PRCSUF"))));
        m_run.step = step::GradeArticle;
        Statement grade(QStringLiteral("update ART set ") + gradeClause(result) +
                        QStringLiteral("where INTNRO = "));
        grade.text(s.sInternoActual)
            .sql(QStringLiteral("  and ARTORD = "))
            .integer(qint64(s.fmt->EsNumero(rows.Fields(QStringLiteral("ARTORD")))));
        m_run.buffer = grade.literal();
        m_run.execute(db, grade);
        progress.setValue(rows.AbsolutePosition());
        rows.MoveNext();
    }

    m_run.step = step::StatisticalQuantity;
    m_run.buffer = QStringLiteral("update ART set PRCECA = ARTCAN where INTNRO = ") + shipment +
                   QStringLiteral(" and PRCDUN = PRCEUN and PRCCRC = 'OK' ");
    m_run.execute(db, m_run.buffer);
    batch.commit();
}
