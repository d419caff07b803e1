#pragma once

#include <QString>
#include <QVector>

struct SharedState;

// The six counts of the current shipment's articles that step 3 shows. Failures throw PlanexoError.
struct ResultCounts {
    long long total = 0;
    long long enCatalogo = 0; // found in the catalogue and passed (PRCEST "A")
    long long nuevos = 0;     // not found (PRCEST empty or Null)
    long long erroneos = 0;   // check result other than OK
    long long errPos = 0;
    long long errSuf = 0;

    static ResultCounts read(SharedState &state);

    // Each article of a shipment with its state and check result (empty for Null), by ARTORD.
    struct Grade {
        qint64 order = 0;
        QString article, state, check;
    };
    static QVector<Grade> grades(SharedState &state, const QString &shipment);
};
