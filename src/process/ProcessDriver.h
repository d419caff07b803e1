#pragma once

#include <QString>
#include <functional>

class SheetGridModel;
class Progress;
struct SharedState;
struct ProcessRun;

// The automatic process: stores the mapped grid rows as the shipment's articles, then looks them
// up in the catalogue, fills the common data and grades them.
//
// The error report names the step that failed (see step:: in ProcessRun.h): 10 showing the bar,
// 20 the suffix-validation component, 30 preconditions, 40 column recognition; stage 1: 100 delete,
// 110 caption, 120 a row's texts, weights and quantity, 130 its unit price and total, 140 its origin
// country, 150 its insert; stage 2: 200 caption, 210 reading the articles, 220 catalogue query,
// 230 the nomenclator query, 250 the update; stage 3: 310 origin codes, 320 declared units,
// 330 goods state; stage 4: 410 reading the found articles, 420 ValidarSufijos, 430 the grade,
// 440 the statistical quantity; 500 the end.
class ProcessDriver {
public:
    ProcessDriver(SharedState &state, Progress &progress);

    // True when all four stages ran to the end.
    bool FRAM2_GuardarDatosToBase(const SheetGridModel &grid);

    // Sees every statement of the stages before it runs (tracing and tests).
    void setStatementObserver(std::function<void(const QString &)> observer)
    {
        m_observer = std::move(observer);
    }

    // The time each stage took in the last run, in milliseconds (1 to 4).
    double stageMilliseconds(int stage) const { return stage >= 1 && stage <= 4 ? m_stageMs[stage - 1] : 0; }

    static QString errorReport(long number, const QString &description, int step, const QString &source,
                               const QString &statement);

private:
    bool preconditionsHold();
    // Articles corrected by hand (in the editor or a group) since the shipment's last process run
    // are about to be replaced: the operator says whether to go on. True when nothing is lost.
    bool replacementConfirmed();
    void recordRun(const QString &interruption);
    void runStages(ProcessRun &run, const SheetGridModel &grid);

    SharedState &m_state;
    Progress &m_progress;
    std::function<void(const QString &)> m_observer;
    double m_stageMs[4] = {0, 0, 0, 0};
};
