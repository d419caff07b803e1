#include "import/SavedMapping.h"

#include "data/Recordset.h"
#include "data/SqlText.h"
#include "data/clGestor.h"
#include "import/MappingCheck.h"
#include "import/SheetGridModel.h"

#include <QStringList>
#include <algorithm>

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

QString layoutKey(const QStringList &headings)
{
    // As a load takes them: contiguous from the first column.
    QStringList taken;
    for (const QString &h : headings) {
        if (h.isEmpty()) break;
        taken << h.trimmed().toCaseFolded();
    }
    while (!taken.isEmpty() && taken.last().isEmpty())
        taken.removeLast();
    return taken.join(kHeadingSeparator);
}

QStringList keyHeadings(const QString &key)
{
    return key.split(kHeadingSeparator);
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

static bool hasColumn(oAlm::clGestor &db, const char *column)
{
    Recordset rs;
    db.Sql = QStringLiteral("select name from pragma_table_info('MAPEO') where name = '") +
             QLatin1String(column) + QStringLiteral("'");
    return db.CrearRs(rs);
}

void remember(oAlm::clGestor &db, const SheetGridModel &grid, const LoadPlan &plan)
{
    const QString key = layoutKey(grid);
    const Mapping mapping = current(grid);
    if (key.isEmpty() || mapping.isEmpty())
        return;
    // Work databases made before layouts were remembered get the table on first use, and those
    // made before layouts kept their sheet, heading row and first column get those columns.
    if (!tableExists(db)) {
        db.Sql = QStringLiteral("create table if not exists MAPEO (CLAVE TEXT NOT NULL PRIMARY KEY, "
                                "MAPEO TEXT NOT NULL, HOJA INTEGER, FILA INTEGER, COLUMNA INTEGER) STRICT");
        db.Ejecutar();
    } else {
        if (!hasColumn(db, "FILA")) {
            db.Sql = QStringLiteral("alter table MAPEO add column HOJA INTEGER");
            db.Ejecutar();
            db.Sql = QStringLiteral("alter table MAPEO add column FILA INTEGER");
            db.Ejecutar();
        }
        if (!hasColumn(db, "COLUMNA")) {
            db.Sql = QStringLiteral("alter table MAPEO add column COLUMNA INTEGER");
            db.Ejecutar();
        }
    }
    db.Sql = QStringLiteral("insert or replace into MAPEO (CLAVE, MAPEO, HOJA, FILA, COLUMNA) values (") +
             sql::text(key) + QStringLiteral(", ") + sql::text(encode(mapping)) + QStringLiteral(", ") +
             QString::number(plan.sheet) + QStringLiteral(", ") + QString::number(plan.headingRow) +
             QStringLiteral(", ") + QString::number(plan.firstColumn) + QStringLiteral(")");
    db.Ejecutar();
}

QVector<Layout> layouts(oAlm::clGestor &db)
{
    QVector<Layout> all;
    if (!tableExists(db))
        return all;
    const bool plans = hasColumn(db, "FILA");
    const bool columns = plans && hasColumn(db, "COLUMNA");
    Recordset rs;
    db.Sql = columns ? QStringLiteral("select CLAVE, MAPEO, HOJA, FILA, COLUMNA from MAPEO order by CLAVE")
             : plans ? QStringLiteral("select CLAVE, MAPEO, HOJA, FILA from MAPEO order by CLAVE")
                     : QStringLiteral("select CLAVE, MAPEO from MAPEO order by CLAVE");
    if (!db.CrearRs(rs))
        return all;
    for (; !rs.Eof(); rs.MoveNext()) {
        Layout layout;
        layout.key = rs.Fields(QStringLiteral("CLAVE")).toString();
        layout.mapping = decode(rs.Fields(QStringLiteral("MAPEO")).toString());
        if (plans) {
            layout.sheet = std::max(0, rs.Fields(QStringLiteral("HOJA")).toInt());
            layout.headingRow = std::max(1, rs.Fields(QStringLiteral("FILA")).toInt());
        }
        if (columns) layout.firstColumn = std::max(1, rs.Fields(QStringLiteral("COLUMNA")).toInt());
        if (!layout.key.isEmpty() && !layout.mapping.isEmpty())
            all.push_back(layout);
    }
    return all;
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

std::optional<Layout> findLayout(const QVector<Layout> &layouts, int sheetCount, const LoadPlan &loaded,
                                 const std::function<const SheetPreview &(int sheet)> &preview)
{
    for (const Layout &layout : layouts) {
        if ((layout.sheet == loaded.sheet && layout.headingRow == loaded.headingRow &&
             layout.firstColumn == loaded.firstColumn) ||
            layout.sheet >= sheetCount || layout.headingRow > SheetPreview::DefaultRows)
            continue;
        const SheetPreview &rows = preview(layout.sheet);
        if (layout.headingRow <= rows.rowCount() &&
            layoutKey(rows.headings(layout.headingRow, layout.firstColumn)) == layout.key)
            return layout;
    }
    return std::nullopt;
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
