#pragma once

#include <QHash>
#include <QLatin1String>
#include <QString>

// The parts of an Office Open XML package (.xlsx, .xlsm, .xlsb) and the relationships between them.
namespace workbook {

class ZipPackage;

struct Relationship {
    QString type;
    QString target; // part name, resolved
};
// The relationships of a part, by id; empty when the part has none.
QHash<QString, Relationship> readRelationships(ZipPackage &package, const QString &part);
// Whether a relationship type ends in this kind ("worksheet", "styles", ...).
bool typeIs(const QString &relType, QLatin1String kind);
// Target of the first relationship of a type; empty when none.
QString targetOfType(const QHash<QString, Relationship> &rels, QLatin1String kind);
// Folder of a part name ("xl/workbook.xml" -> "xl/").
QString folderOf(const QString &part);

} // namespace workbook
