#pragma once

class SheetGridModel;
class Progress;
struct SharedState;

// The automatic process: stores the mapped grid rows as the shipment's articles, then looks them
// up in the catalogue, fills the common data and grades them.
class ProcessDriver {
public:
    ProcessDriver(SharedState &state, Progress &progress);

    // True when all four stages ran to the end.
    bool FRAM2_GuardarDatosToBase(const SheetGridModel &grid);

private:
    SharedState &m_state;
    Progress &m_progress;
};
