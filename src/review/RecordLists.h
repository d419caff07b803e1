#pragma once

#include "data/Recordset.h"

struct SharedState;

// The statement of the record lists window.
namespace recordlists {

// The current shipment's records with errors (by state, check result and order) or its records OK
// (by order), into rs.
void read(SharedState &state, bool errors, Recordset &rs);

} // namespace recordlists
