#pragma once

#include "import/LoadPlan.h"
#include "import/SheetPreview.h"

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class SheetGridModel;
namespace oAlm {
class clGestor;
}

// The column mapping of a supplier's invoice layout, remembered in the work database (table MAPEO)
// after a process that succeeded and keyed by the layout's heading row, so that the next invoice
// of the same layout can take it with one key. Failures throw PlanexoError.
namespace savedmapping {

struct Entry {
    int column = 0;
    QString label; // the field label as the mapping row holds it, "[ CANTIDAD ]"
};
using Mapping = QVector<Entry>;

// A remembered layout: where its headings are and how its columns map.
struct Layout {
    QString key;
    int sheet = 0;
    int headingRow = 1;
    int firstColumn = 1;
    Mapping mapping;
};

// The key of a heading row: each heading trimmed and case-folded (accents kept), in column order.
QString layoutKey(const SheetGridModel &grid);
// The same for headings given as texts (a sheet row), up to the first empty one.
QString layoutKey(const QStringList &headings);
// The headings of a layout key, in column order.
QStringList keyHeadings(const QString &key);
// The labels of the grid's mapping row.
Mapping current(const SheetGridModel &grid);
// Remembers the grid's mapping for its layout, replacing an earlier one; with the plan, also the
// worksheet and heading row it was loaded by.
void remember(oAlm::clGestor &db, const SheetGridModel &grid, const LoadPlan &plan = LoadPlan());
// Every remembered layout (none for a work database that has never remembered one).
QVector<Layout> layouts(oAlm::clGestor &db);
// The mapping remembered for the grid's layout, if any (also none for a work database that has
// never remembered one).
std::optional<Mapping> recall(oAlm::clGestor &db, const SheetGridModel &grid);
// The remembered layout whose headings stand in its own sheet and row of a workbook of
// `sheetCount` worksheets, other than `loaded` (whose headings recall() looks up); `preview` gives
// the first rows of a sheet.
std::optional<Layout> findLayout(const QVector<Layout> &layouts, int sheetCount, const LoadPlan &loaded,
                                 const std::function<const SheetPreview &(int sheet)> &preview);
// Writes a mapping into the grid's mapping row; every other column's label is emptied. Columns
// beyond the grid are left out.
void apply(SheetGridModel &grid, const Mapping &mapping);

} // namespace savedmapping
