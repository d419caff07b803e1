#include "ProcessDriver.h"

#include "CatalogueLookup.h"
#include "CommonData.h"
#include "CountryResolver.h"
#include "PositionCheck.h"
#include "ProcessRun.h"
#include "ResultCounts.h"
#include "Stage1Storing.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/History.h"
#include "data/PlanexoError.h"
#include "data/ShipmentLock.h"
#include "data/VbFormat.h"
#include "data/clPRINC.h"
#include "import/SheetGridModel.h"

#include <QElapsedTimer>

ProcessDriver::ProcessDriver(SharedState &state, Progress &progress) : m_state(state), m_progress(progress) {}

QString ProcessDriver::errorReport(long number, const QString &description, int step, const QString &source,
                                   const QString &statement)
{
    return description + QStringLiteral("\r\n\r\n") + QString::number(number) +
           QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_GuardarDatosToBase]:: ") +
           QString::number(step) + source + QStringLiteral("\r\n\r\nSQL:\r\n") + statement;
}

bool ProcessDriver::preconditionsHold()
{
    const QString configure = QStringLiteral("\r\n\r\nHaga click en CONFIGURACIÓN");
    QString missing;
    if (m_state.PRCESM.trimmed().isEmpty())
        missing = QStringLiteral("Falta establecer el valor predeterminado de Estado de Mercaderia");
    else if (m_state.INTCAT.trimmed().isEmpty())
        missing = QStringLiteral("Falta seleccionar el CATALOGO");
    else if (m_state.INTDUN.trimmed().isEmpty())
        missing = QStringLiteral("Falta seleccionar UNIDAD DECLARADA");
    if (missing.isEmpty()) return true;
    interaction().message(missing + configure, Interaction::Icon::Exclamation);
    return false;
}

bool ProcessDriver::replacementConfirmed()
{
    oAlm::clGestor &db = *m_state.gestor;
    const QString &shipment = m_state.sInternoActual;
    const auto count = [](const QVector<QVector<QVariant>> &rows) {
        return rows.isEmpty() || rows[0].isEmpty() ? 0LL : rows[0][0].toLongLong();
    };
    const long long articles =
        count(db.selectRowsPrepared(QStringLiteral("select count(*) from ART where INTNRO = ?"), {shipment}));
    if (articles == 0) return true;
    // A correction counts while its article is the one corrected: made after the last run that
    // stored the shipment's articles again.
    const long long corrected = count(db.selectRowsPrepared(
        QStringLiteral(
            "select count(distinct HISORD) from HIST where INTNRO = ? and HISORI in (?, ?) "
            "and HISORD in (select ARTORD from ART where INTNRO = ?) and HISID > "
            "coalesce((select max(HISID) from HIST where INTNRO = ? and HISORD is null and HISORI = ?), 0)"),
        {shipment, history::kEditor, history::kGroup, shipment, shipment, history::kProcess}));
    if (corrected == 0) return true;
    return interaction().message(QStringLiteral("El interno tiene %1 artículos, %2 corregidos a mano, que se "
                                                "reemplazarán. ¿Continuar?")
                                     .arg(articles)
                                     .arg(corrected),
                                 Interaction::Icon::Question,
                                 Interaction::Buttons::YesNoDefaultNo) == Interaction::Answer::Yes;
}

void ProcessDriver::runStages(ProcessRun &run, const SheetGridModel &grid)
{
    QElapsedTimer timer;
    CountryResolver countries(m_state);

    timer.start();
    Stage1Storing(run, countries).run(grid);
    m_stageMs[0] = timer.nsecsElapsed() / 1e6;

    timer.restart();
    CatalogueLookup(run).run();
    m_stageMs[1] = timer.nsecsElapsed() / 1e6;

    timer.restart();
    CommonData(run).run();
    m_stageMs[2] = timer.nsecsElapsed() / 1e6;

    timer.restart();
    PositionCheck(run).run();
    m_stageMs[3] = timer.nsecsElapsed() / 1e6;
}

// One history row per run that reached the stages: the shipment's counts as step 3 shows them.
void ProcessDriver::recordRun(const QString &interruption)
{
    // The counts are read through the component; its statement text stays the run's last.
    const QString kept = m_state.gestor->Sql;
    struct Restore {
        DataConnection &db;
        const QString &text;
        ~Restore() { db.Sql = text; }
    } restore{*m_state.gestor, kept};
    try {
        const ResultCounts c = ResultCounts::read(m_state);
        const auto four = [](long long n) { return vb::format(double(n), QStringLiteral("0000")); };
        QString counts = QStringLiteral("Total de Registros ") + four(c.total) +
                         QStringLiteral("; Registros con Errores ") + four(c.erroneos) +
                         QStringLiteral("; Errores de Posición ") + four(c.errPos) +
                         QStringLiteral("; Errores de Sufijos ") + four(c.errSuf) +
                         QStringLiteral("; Articulos en Catalogo ") + four(c.enCatalogo) +
                         QStringLiteral("; Articulos Nuevos ") + four(c.nuevos);
        if (!interruption.isEmpty()) counts = interruption + QStringLiteral("; ") + counts;
        history::recordRun(*m_state.gestor, m_state.sInternoActual, history::kProcess, counts);
    } catch (const PlanexoError &) {
        // The run's own outcome has been reported; a history the database refuses adds nothing to it.
    }
}

bool ProcessDriver::FRAM2_GuardarDatosToBase(const SheetGridModel &grid)
{
    // Another instance working on the shipment: say so and change nothing.
    ShipmentLock lock;
    if (m_state.gestor && m_state.gestor->isOpen() &&
        lock.acquire(m_state.gestor->databaseFile(), m_state.sInternoActual) ==
            ShipmentLock::Result::HeldElsewhere) {
        interaction().message(ShipmentLock::busyMessage(m_state.sInternoActual),
                              Interaction::Icon::Exclamation);
        return false;
    }
    oCHKX::clPRINC checker;
    ProcessRun run{m_state, m_progress, checker, {}, {}, step::ShowBar, m_observer, {}};
    bool result = false;
    try {
        m_progress.setBarVisible(true);

        run.step = step::CreateChecker;
        if (!m_state.enlace || !m_state.gestor || !m_state.fmt)
            throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                               QStringLiteral("Planexo"));
        checker.ConexionString(*m_state.enlace);

        run.step = step::Preconditions;
        if (!preconditionsHold()) return false;

        run.step = step::RecogniseColumns;
        run.columns = ColumnMap::recognise(grid);
        if (!replacementConfirmed()) return false;

        runStages(run, grid);

        run.step = step::Finish;
        m_progress.setCaption(QStringLiteral("Fin de Proceso"));
        m_progress.setBarVisible(false);
        result = true;
    } catch (const PlanexoError &e) {
        interaction().message(
            errorReport(e.number(), e.description(), run.step, e.source(), run.bufferText()),
            Interaction::Icon::Critical);
        // Stopped before the stages or in stage 1, whose writes are undone: nothing was changed.
        if (run.step >= step::Stage2Start)
            recordRun(QStringLiteral("Interrumpido en el paso ") + QString::number(run.step));
        return false;
    }
    recordRun(QString());
    return result;
}
