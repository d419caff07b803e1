#pragma once

#include <QHash>
#include <QString>

class DataConnection;
class Recordset;
struct ProcessRun;

// Stage 2: fills the articles found in the configured catalogue from the catalogue and the
// nomenclator and marks them "A"; articles not found stay as stage 1 stored them.
class CatalogueLookup {
public:
    explicit CatalogueLookup(ProcessRun &run) : m_run(run) {}

    void run();

    // " [001] = '<first 10>' and [002] = '<characters 12 to 14>'" of a catalogue position.
    static QString nomenclatorKey(const DataConnection &ncm, const QString &position);

private:
    // The nomenclator values of one catalogue position, queried once per run.
    struct Position {
        bool lapiQueried = false;
        bool lapiFound = false;
        QString lapi;
        bool unitsQueried = false;
        bool unitsFound = false;
        QString statistical;
        QString specificDuty;
    };
    // The nomenclator's connection, asked for when first needed.
    DataConnection &nomenclator();
    Position &lapiOf(const QString &position);
    Position &unitsOf(const QString &position);
    void updateArticle(const Recordset &article, const Recordset &catalogue);

    ProcessRun &m_run;
    DataConnection *m_ncm = nullptr;
    QHash<QString, Position> m_positions;
};
