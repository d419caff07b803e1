#include "workbook/common/OpcPackage.h"

#include "workbook/common/XmlScanner.h"
#include "workbook/common/ZipPackage.h"

#include <QStringList>
#include <QUrl>

namespace workbook {
namespace {

// Resolves a relationship target against the folder of its source; absolute targets start at
// the package root.
QString resolveTarget(const QString &sourceFolder, const QString &target)
{
    QString t = QUrl::fromPercentEncoding(target.toUtf8());
    t.replace('\\', '/');
    const QString full = t.startsWith('/') ? t.mid(1) : sourceFolder + t;
    QStringList parts;
    for (const QString &segment : full.split('/', Qt::SkipEmptyParts)) {
        if (segment == QLatin1String(".")) continue;
        if (segment == QLatin1String("..")) {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts << segment;
    }
    return parts.join('/');
}

} // namespace

QString folderOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf('/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

QHash<QString, Relationship> readRelationships(ZipPackage &package, const QString &part)
{
    QHash<QString, Relationship> rels;
    const QString folder = folderOf(part);
    const QString relsName =
        folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
    const int64_t index = package.locate(relsName);
    if (index < 0) return rels;
    const QByteArray data = package.read(index, relsName);
    XmlScanner xml(std::string_view(data.constData(), size_t(data.size())));
    for (;;) {
        const XmlScanner::Token t = xml.next();
        if (t == XmlScanner::EndDocument) break;
        if (t == XmlScanner::Error) xml.failPart(relsName);
        if (t != XmlScanner::StartElement || !xml.isNamed("Relationship")) continue;
        if (xml.attributeText("TargetMode").compare(QLatin1String("External"), Qt::CaseInsensitive) == 0)
            continue;
        const QString id = xml.attributeText("Id");
        if (id.isEmpty() || rels.contains(id)) continue;
        rels.insert(id, {xml.attributeText("Type"), resolveTarget(folder, xml.attributeText("Target"))});
    }
    return rels;
}

bool typeIs(const QString &relType, QLatin1String kind)
{
    return relType.endsWith(QLatin1Char('/') + kind, Qt::CaseInsensitive);
}

QString targetOfType(const QHash<QString, Relationship> &rels, QLatin1String kind)
{
    for (const Relationship &r : rels)
        if (typeIs(r.type, kind)) return r.target;
    return {};
}

QString workbookPart(ZipPackage &package, const QString &usual)
{
    QString part = targetOfType(readRelationships(package, QString()), QLatin1String("officeDocument"));
    if (part.isEmpty() || package.locate(part) < 0) part = usual;
    return package.locate(part) < 0 ? QString() : part;
}

QString relatedPart(const QHash<QString, Relationship> &rels, const QString &workbookPart, QLatin1String kind,
                    const QString &usualName)
{
    const QString part = targetOfType(rels, kind);
    return part.isEmpty() ? folderOf(workbookPart) + usualName : part;
}

} // namespace workbook
