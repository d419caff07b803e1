#pragma once

#include <QString>

struct SharedState;

// The start-up of a run, shared by the window and the batch command. Each part keeps `step` at the
// number of the step being run, so that a failure (a thrown PlanexoError) can name it.
namespace startup {

// Creates the components, reads Calvera's parameters and connects the work database in
// programFolder (steps 20 to 90).
void openComponents(SharedState &state, const QString &programFolder, int &step);
// Reads the process defaults from the settings store (steps 110 to 140).
void readDefaults(SharedState &state, int &step);

} // namespace startup
