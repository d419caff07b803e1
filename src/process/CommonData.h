#pragma once

struct ProcessRun;

// Stage 3: origin codes, declared units and the default goods state for every article row of the
// shipment, in three set-wise statements.
class CommonData {
public:
    explicit CommonData(ProcessRun &run) : m_run(run) {}
    void run();

private:
    ProcessRun &m_run;
};
