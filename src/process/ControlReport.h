#pragma once

#include "data/Recordset.h"

#include <QString>

struct SharedState;

// The statements of the two control reports of step 3.
namespace controlreport {

// The records of a shipment that still need attention, and those ready for transfer.
QString errorQuery(const QString &shipment);
QString okQuery(const QString &shipment);
// Runs a report's query on the work database into rs; false when it has no row.
bool read(SharedState &state, const QString &query, Recordset &rs);

} // namespace controlreport
