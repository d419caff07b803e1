#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

class DataConnection;

// The change history of the work database (table HIST): each saved change of an article's column,
// and each process run and transfer of a shipment, with who made it, where and when. It belongs to
// the work database only: nothing of it goes to Calvera, and it goes with its shipment.
// Writes and reads run as prepared statements and leave the connection's Sql as it was.
namespace history {

// What made a change (HISORI).
inline const QString kEditor = QStringLiteral("EDITOR");
inline const QString kGroup = QStringLiteral("GRUPO");
inline const QString kBatch = QStringLiteral("LOTE");
inline const QString kProcess = QStringLiteral("PROCESO");
inline const QString kTransfer = QStringLiteral("TRANSFERENCIA");

// Creates HIST and its index in a work database made before the table existed. Throws.
void ensureTable(DataConnection &db);

struct Change {
    QString column;
    QVariant before, after; // as stored; null for Null
};
// One row per change for the article `order` of the shipment. Throws.
void recordChanges(DataConnection &db, const QString &shipment, int order, const QVector<Change> &changes,
                   const QString &origin);
// One row for a run over the whole shipment: what ran and what it counted. Throws.
void recordRun(DataConnection &db, const QString &shipment, const QString &what, const QString &counts);

struct Entry {
    QString shipment;
    std::optional<int> order; // none for a run over the shipment
    QString column, before, after, origin, user, workstation, when;
};
// An article's history, newest first. Throws.
QVector<Entry> forRecord(DataConnection &db, const QString &shipment, int order);
// A shipment's whole history (runs and articles), newest first. Throws.
QVector<Entry> forShipment(DataConnection &db, const QString &shipment);
// Removes a shipment's history. Throws.
void removeShipment(DataConnection &db, const QString &shipment);

// A stored value as the history writes it: Null stays null, numbers without trailing zeros.
QVariant asText(const QVariant &value);
// The operator's login ("(Desconocido)" when none) and the workstation's name.
QString login();
QString workstation();

} // namespace history
