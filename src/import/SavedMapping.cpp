#include "import/SavedMapping.h"

#include "data/Recordset.h"
#include "data/SqlText.h"
#include "data/clGestor.h"
#include "import/MappingCheck.h"
#include "import/SheetGridModel.h"

#include <QStringList>

namespace savedmapping {

// Unit and record separators: characters that no heading or label of a workbook holds.
static const QChar kHeadingSeparator(0x1F);
static const QChar kEntrySeparator(0x1E);

QString layoutKey(const SheetGridModel &grid)
{
    QStringList headings;
    for (int c = 0; c < grid.cols(); ++c)
        headings << grid.text(0, c).trimmed().toCaseFolded();
    while (!headings.isEmpty() && headings.last().isEmpty())
        headings.removeLast();
    return headings.join(kHeadingSeparator);
}

Mapping current(const SheetGridModel &grid)
{
    Mapping mapping;
    if (grid.rows() <= mapping::MappingRow)
        return mapping;
    for (int c = 0; c < grid.cols(); ++c) {
        const QString label = grid.text(mapping::MappingRow, c);
        if (!label.isEmpty())
            mapping.push_back({c, label});
    }
    return mapping;
}

static QString encode(const Mapping &mapping)
{
    QStringList entries;
    for (const Entry &e : mapping)
        entries << QString::number(e.column) + kHeadingSeparator + e.label;
    return entries.join(kEntrySeparator);
}

static Mapping decode(const QString &text)
{
    Mapping mapping;
    for (const QString &entry : text.split(kEntrySeparator, Qt::SkipEmptyParts)) {
        const qsizetype at = entry.indexOf(kHeadingSeparator);
        bool ok = false;
        const int column = entry.left(at).toInt(&ok);
        if (at > 0 && ok && column >= 0)
            mapping.push_back({column, entry.mid(at + 1)});
    }
    return mapping;
}

static bool tableExists(oAlm::clGestor &db)
{
    Recordset rs;
    db.Sql = QStringLiteral("select name from sqlite_master where type = 'table' and name = 'MAPEO'");
    return db.CrearRs(rs);
}

void remember(oAlm::clGestor &db, const SheetGridModel &grid)
{
    const QString key = layoutKey(grid);
    const Mapping mapping = current(grid);
    if (key.isEmpty() || mapping.isEmpty())
        return;
    // Work databases made before layouts were remembered get the table on first use.
    if (!tableExists(db)) {
        db.Sql = QStringLiteral("create table if not exists MAPEO (CLAVE TEXT NOT NULL PRIMARY KEY, "
                                "MAPEO TEXT NOT NULL) STRICT");
        db.Ejecutar();
    }
    db.Sql = QStringLiteral("insert or replace into MAPEO (CLAVE, MAPEO) values (") + sql::text(key) +
             QStringLiteral(", ") + sql::text(encode(mapping)) + QStringLiteral(")");
    db.Ejecutar();
}

std::optional<Mapping> recall(oAlm::clGestor &db, const SheetGridModel &grid)
{
    const QString key = layoutKey(grid);
    if (key.isEmpty() || !tableExists(db))
        return std::nullopt;
    Recordset rs;
    db.Sql = QStringLiteral("select MAPEO from MAPEO where CLAVE = ") + sql::text(key);
    if (!db.CrearRs(rs))
        return std::nullopt;
    Mapping mapping = decode(rs.Fields(QStringLiteral("MAPEO")).toString());
    if (mapping.isEmpty())
        return std::nullopt;
    return mapping;
}

void apply(SheetGridModel &grid, const Mapping &mapping)
{
    if (grid.rows() <= mapping::MappingRow)
        return;
    for (int c = 0; c < grid.cols(); ++c)
        grid.setText(mapping::MappingRow, c, QString());
    for (const Entry &e : mapping) {
        if (e.column < grid.cols())
            grid.setText(mapping::MappingRow, e.column, e.label);
    }
}

} // namespace savedmapping
