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
// The workbook part the package's root relationship names, else usual (xl/workbook.xml,
// xl/workbook.bin); empty when the package holds neither.
QString workbookPart(ZipPackage &package, const QString &usual);
// The part of a kind ("styles", "sharedStrings") the workbook part relates to, else the usual name
// in the workbook's folder.
QString relatedPart(const QHash<QString, Relationship> &rels, const QString &workbookPart, QLatin1String kind,
                    const QString &usualName);

} // namespace workbook
