#include "ui/process/ControlPrintouts.h"

#include "data/PlanexoError.h"
#include "process/ControlReport.h"
#include "shared/SharedState.h"
#include "ui/app/QtInteraction.h"
#include "ui/process/ReportPreview.h"
#include "ui/process/Reporte.h"

#include <memory>
#include <optional>

namespace ControlPrintouts {

namespace {

const QString kNothingToShow = QStringLiteral("No hay articulos para mostrar");

// Runs the report's query; nullopt after a failure has been reported.
std::optional<QVector<Reporte::Row>> readRows(const QString &query, const QString &location)
{
    try {
        SharedState &s = shared();
        Recordset rs;
        if (!controlreport::read(s, query, rs)) return QVector<Reporte::Row>();
        return Reporte::rowsFrom(rs);
    } catch (const PlanexoError &e) {
        // The original had no handler here; the failure is reported like every other one.
        interaction().inform(standardMessage(e, location), Interaction::Icon::Critical);
        return std::nullopt;
    }
}

} // namespace

QString errorQuery(const QString &shipment)
{
    return controlreport::errorQuery(shipment);
}

QString okQuery(const QString &shipment)
{
    return controlreport::okQuery(shipment);
}

ReportPreview *createPreview(const Reporte &report, const QString &title, const QString &shipment,
                             QWidget *owner)
{
    return new ReportPreview(report, title, shipment, owner);
}

void FRAM3_cmdRepErr_Click(QWidget *owner)
{
    const auto rows = readRows(errorQuery(shared().sInternoActual),
                               QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_cmdRepErr_Click]"));
    if (!rows) return;
    if (rows->isEmpty()) {
        interaction().inform(kNothingToShow, Interaction::Icon::Information);
        return;
    }
    std::unique_ptr<ReportPreview> preview(
        createPreview(Reporte(*rows), QStringLiteral("Datos con Errores"), shared().sInternoActual, owner));
    uiInteraction().runModal(*preview);
}

ReportPreview *FRAM3_cmdRepOK_Click(QWidget *owner)
{
    const auto rows = readRows(okQuery(shared().sInternoActual),
                               QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_cmdRepOK_Click]"));
    if (!rows) return nullptr;
    if (rows->isEmpty()) {
        interaction().inform(kNothingToShow, Interaction::Icon::Information);
        return nullptr;
    }
    ReportPreview *preview =
        createPreview(Reporte(*rows), QStringLiteral("Registros OK"), shared().sInternoActual, owner);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowModality(Qt::NonModal);
    preview->show();
    return preview;
}

} // namespace ControlPrintouts
