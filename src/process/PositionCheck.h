#pragma once

#include <QString>

struct ProcessRun;

// Stage 4: grades every article found in the catalogue with the suffix-validation component,
// then copies the quantity into the statistical quantity where the units agree.
class PositionCheck {
public:
    explicit PositionCheck(ProcessRun &run) : m_run(run) {}
    void run();

    // The SET clause for a ValidarSufijos result.
    static QString gradeClause(int result);

private:
    ProcessRun &m_run;
};
