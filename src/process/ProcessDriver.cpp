#include "ProcessDriver.h"

#include "app/Progress.h"
#include "app/SharedState.h"
#include "import/SheetGridModel.h"

ProcessDriver::ProcessDriver(SharedState &state, Progress &progress) : m_state(state), m_progress(progress)
{
}

bool ProcessDriver::FRAM2_GuardarDatosToBase(const SheetGridModel &grid)
{
    Q_UNUSED(grid);
    return false;
}
