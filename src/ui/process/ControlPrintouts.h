#pragma once

#include <QString>

class QWidget;
class ReportPreview;
class Reporte;

// The two control reports of step 3: the records that still need attention and the records ready
// for transfer, each shown in a print preview of the report layout.
namespace ControlPrintouts {

// The query of each report for a shipment.
QString errorQuery(const QString &shipment);
QString okQuery(const QString &shipment);

// "Datos con Errores": a modal preview of the current shipment's records with errors.
void FRAM3_cmdRepErr_Click(QWidget *owner);
// "Registros OK": a preview that leaves the main window usable; it belongs to the owner and is
// deleted when closed. Returns it, or nullptr when nothing was shown.
ReportPreview *FRAM3_cmdRepOK_Click(QWidget *owner);

// A preview window of a shipment's report, object name "Reporte".
ReportPreview *createPreview(const Reporte &report, const QString &title, const QString &shipment,
                             QWidget *owner);

} // namespace ControlPrintouts
