#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class DataConnection;
struct SharedState;

// The statements of the configuration window and of the two relation dialogs: the lists they show
// from the work database and from Calvera, and the relations they store and remove.
namespace relations {

// Codes and their descriptions at the same positions (a list and its hidden twin).
struct CodeList {
    QStringList ids;
    QStringList names;
};

// Calvera's units ("INTERNOS"): id and description, by description.
CodeList units(DataConnection &calvera);
// Calvera's catalogues: id and "[id] description", by id and description.
CodeList catalogues(DataConnection &calvera);
// The country list: id and "description (id)", by description.
CodeList countries(SharedState &state);

// The declared-unit relations (NCMDEC), by position: each position and its unit.
QVector<QPair<QString, QString>> declaredUnits(DataConnection &work);
// Stores a position's declared unit; the rows stored.
long long addDeclaredUnit(DataConnection &work, const QString &ncm, const QString &unit);
// Removes a position's declared unit; the rows removed.
long long removeDeclaredUnit(DataConnection &work, const QString &ncm, const QString &unit);
// Stores an origin's country (ORG); the rows stored.
long long addCountry(DataConnection &work, const QString &origin, const QString &country);

} // namespace relations
