#pragma once

#include <QString>
#include <QVector>

namespace oAlm {
class clGestor;
}
struct SharedState;

// The shipments of the work database (table INTN) and their articles. Failures throw PlanexoError.
namespace shipments {

struct Shipment {
    QString number;      // INTNRO
    QString description; // INTDSC
};

// Every shipment, in the order of its number.
QVector<Shipment> list(oAlm::clGestor &db);
// True when the shipment exists.
bool exists(oAlm::clGestor &db, const QString &number);
// Adds a shipment; single quotes in the texts become blanks. True when a row was added.
bool create(oAlm::clGestor &db, QString number, QString description);
// Removes a shipment's articles and history and then the shipment; true when the shipment's row was removed.
bool remove(oAlm::clGestor &db, const QString &number);
// The number of the shipment's stored articles ("Total", read as a number); -1 when the count gives
// no row.
double articleCount(SharedState &state, const QString &number);

} // namespace shipments
