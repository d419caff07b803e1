#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

class Batch;
class DataConnection;
class Statement;
struct ProcessRun;

// Stage 2: fills the articles found in the configured catalogue from the catalogue and the
// nomenclator and marks them "A"; articles not found stay as stage 1 stored them.
class CatalogueLookup {
public:
    explicit CatalogueLookup(ProcessRun &run);
    ~CatalogueLookup();

    void run();

    // Appends " [001] = '<first 10>' and [002] = '<characters 12 to 14>'" of a catalogue position.
    static void appendNomenclatorKey(Statement &statement, const DataConnection &ncm,
                                     const QString &position);

private:
    // The nomenclator row of a catalogue position: its LAPI mark and units, read once per run.
    struct Position {
        bool found = false;
        QString lapi;
        QString statistical;
        QString specificDuty;
    };
    // The nomenclator's connection, asked for when first needed.
    DataConnection &nomenclator();
    const Position &positionOf(const QString &position);
    // Columns of the article selection and of the set-wise catalogue read.
    struct Article {
        enum { Artnro, Artord, Artorg, Artuni, Marca, Prcncm, Prcsuf, Artdsc, DescripcionMaria };
    };
    // Only the columns that the update uses are read.
    struct Catalogue {
        enum { Code, Ncm, Lapi, Sufijos, Estadomerc, Descripcion, Idpais, DescripcionMaria };
    };
    void updateArticle(const QVector<QVariant> &article, const QVector<QVariant> &catalogue);
    // The catalogue rows of the codes from `from` on, and the nomenclator rows of positions, each
    // read set-wise ahead of the per-row lookups (a round trip each on a server).
    void readCatalogueAhead(DataConnection &catalogue, const QStringList &codes, qsizetype from);
    void readPositionsAhead(const QString &position);

    ProcessRun &m_run;
    DataConnection *m_ncm = nullptr;
    std::unique_ptr<Batch> m_ncmReads;                 // one read transaction over the nomenclator lookups
    QHash<QString, Position> m_positions;              // by nomenclator key
    QSet<QString> m_positionsAsked;                    // keys whose lookup the run has made
    QStringList m_positionsAhead;                      // catalogue positions not read yet
    QHash<QString, QVector<QVariant>> m_catalogueRows; // by article code, columns as Catalogue
    QSet<QString> m_codesRead;
};
