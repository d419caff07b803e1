#include "import/LayoutProposal.h"

#include "data/VbFormat.h"
#include "import/SheetGridModel.h"
#include "import/SheetPreview.h"

#include <QRegularExpression>

#include <algorithm>

namespace layoutproposal {

namespace {

bool isText(const QString &text)
{
    return !text.trimmed().isEmpty() && !vb::isNumeric(text);
}

// Upper case without accents: "Séguro" and "SEGURO" read alike.
QString folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out += c.toUpper();
    return out;
}

// A row's texts compared as headings: case, accents and spaces ignored.
QString headingForm(const QString &text)
{
    QString out = folded(text);
    out.removeIf([](QChar c) { return c.isSpace(); });
    return out;
}

} // namespace

int headingRow(const SheetPreview &preview)
{
    for (int r = 1; r < preview.rowCount(); ++r) {
        QVector<int> textColumns;
        // A heading merged down over two rows counts in the lower one: the proposal is the lower.
        for (int c = 1; c <= preview.cols; ++c)
            if (isText(preview.headingText(r, c))) textColumns << c;
        if (textColumns.size() < 3) continue;
        int numbers = 0;
        for (int c : textColumns)
            if (vb::isNumeric(preview.text(r + 1, c))) ++numbers;
        if (numbers >= 2) return r;
    }
    return 0;
}

bool carriesTotalsWord(const QString &text)
{
    // Whole words only: "TOTALES" and "FOB:" count, "TOTALLY" or a code "CIF123" do not. English
    // invoices write freight and insurance.
    static const QRegularExpression words(
        QStringLiteral("(^|[^A-Z0-9])(SUB-?TOTAL(ES)?|TOTAL(ES)?|FOB|CIF|FLETES?|SEGUROS?|FREIGHT|INSURANCE)"
                       "($|[^A-Z0-9])"));
    // "C.I.F." is CIF.
    return text.size() < 200 && words.match(folded(text).remove(QLatin1Char('.'))).hasMatch();
}

namespace {

// A totals label at the table's left edge, where the first column holds the codes: "Total U$S" with
// nothing but numbers beside it (an item has a description).
bool isTotalsLabel(const SheetGridModel &grid, int r)
{
    if (!carriesTotalsWord(grid.text(r, 0))) return false;
    for (int c = 1; c < grid.cols(); ++c)
        if (isText(grid.text(r, c))) return false;
    return true;
}

// The totals rows directly above grid row `below` (exclusive), as totalsRows() finds them under the
// last item.
QVector<int> totalsAbove(const SheetGridModel &grid, int key, int below)
{
    QVector<int> rows;
    // The first data row is an item in any case: a sheet of totals alone proposes nothing.
    for (int r = below - 1; r > 2; --r) {
        if (!grid.text(r, key).trimmed().isEmpty() && !(key == 0 && isTotalsLabel(grid, r))) break;
        bool totals = false;
        for (int c = 0; c < grid.cols() && !totals; ++c)
            totals = carriesTotalsWord(grid.text(r, c));
        if (!totals) break;
        rows.prepend(r);
    }
    return rows;
}

// Bank details, a signature, a page footer: texts with no number and no totals word.
bool isFootRow(const SheetGridModel &grid, int r)
{
    for (int c = 0; c < grid.cols(); ++c) {
        const QString &text = grid.text(r, c);
        if (vb::isNumeric(text) || carriesTotalsWord(text)) return false;
    }
    return true;
}

} // namespace

QVector<int> totalsRows(const SheetGridModel &grid, int codeColumn)
{
    return totalsAbove(grid, codeColumn >= 0 && codeColumn < grid.cols() ? codeColumn : 0, grid.rows());
}

int firstColumn(const SheetPreview &preview, int row)
{
    for (int c = 1; c <= preview.cols; ++c)
        if (!preview.headingText(row, c).isEmpty()) return c;
    return 1;
}

bool isPageLine(const QString &text)
{
    if (text.size() > 120) return false;
    // Most cells are items: a look at how the text starts spares them the folding and the pattern.
    static const QStringList starts = {
        QStringLiteral("pag"),     QStringLiteral("pág"),    QStringLiteral("hoja"),
        QStringLiteral("sheet"),   QStringLiteral("contin"), QStringLiteral("a t"),
        QStringLiteral("de t"),    QStringLiteral("transp"), QStringLiteral("carried"),
        QStringLiteral("brought"), QStringLiteral("van"),    QStringLiteral("vienen")};
    const QStringView trimmed = QStringView(text).trimmed();
    if (std::none_of(starts.cbegin(), starts.cend(),
                     [&](const QString &start) { return trimmed.startsWith(start, Qt::CaseInsensitive); }))
        return false;
    static const QRegularExpression lines(
        QStringLiteral("^(PAGINA|PAG|PAGE|HOJA|SHEET)\\.? *\\d+ *((DE|OF|/) *\\d+)?$|"
                       "^CONTINUA(N)? EN (LA )?(PAGINA|HOJA) SIGUIENTE|^CONTINUED( ON NEXT PAGE| OVERLEAF)?$|"
                       "^(A |DE )?TRANSPORTE$|^A TRANSPORTAR$|^(CARRIED|BROUGHT) FORWARD$|^VAN$|^VIENEN$"));
    QString t = folded(text).simplified();
    while (t.endsWith(QLatin1Char(':')) || t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char('-')))
        t.chop(1);
    return lines.match(t.trimmed()).hasMatch();
}

QVector<int> StrayRows::all() const
{
    QVector<int> rows = repeatedHeadings + pageLines + totals + foot;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QString StrayRows::removalText() const
{
    struct Part {
        qsizetype n;
        const char *what;
    };
    QStringList parts;
    bool first = true;
    for (const Part &p :
         {Part{repeatedHeadings.size(), "títulos repetidos"}, Part{pageLines.size(), "líneas de página"},
          Part{totals.size(), "totales"}, Part{foot.size(), "pie de factura"}}) {
        if (p.n == 0) continue;
        // "quitar 3 filas de títulos repetidos" and then "1 de totales".
        parts << (first ? QStringLiteral("%1 %2 de %3")
                              .arg(p.n)
                              .arg(p.n == 1 ? QStringLiteral("fila") : QStringLiteral("filas"),
                                   QString::fromUtf8(p.what))
                        : QStringLiteral("%1 de %2").arg(p.n).arg(QString::fromUtf8(p.what)));
        first = false;
    }
    if (parts.isEmpty()) return QString();
    const QString last = parts.takeLast();
    return QStringLiteral("quitar ") +
           (parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" y ") + last);
}

StrayRows strayRows(const SheetGridModel &grid, int codeColumn)
{
    StrayRows stray;
    const int key = codeColumn >= 0 && codeColumn < grid.cols() ? codeColumn : 0;
    // Items taken past blank rows run to the last row with data: under the totals come the
    // invoice's foot and the last page's footer. They go with the totals; without totals above
    // them they are left alone.
    int foot = grid.rows();
    while (foot > 3 && isFootRow(grid, foot - 1))
        --foot;
    stray.totals = totalsAbove(grid, key, foot);
    if (!stray.totals.isEmpty())
        for (int r = foot; r < grid.rows(); ++r)
            (isPageLine(grid.text(r, key)) ? stray.pageLines : stray.foot) << r;
    QStringList heading;
    bool anyHeading = false;
    for (int c = 0; c < grid.cols(); ++c) {
        heading << headingForm(grid.text(0, c));
        anyHeading = anyHeading || !heading.last().isEmpty();
    }
    const int end = stray.totals.isEmpty() ? grid.rows() : stray.totals.first();
    const qsizetype footerLines = stray.pageLines.size();
    for (int r = 2; r < end; ++r) {
        const QString code = grid.text(r, key);
        // Cheap first test: a repeated heading row repeats the key column's heading, and starts
        // with its letter (an accented one is folded first).
        const QStringView codeStart = QStringView(code).trimmed();
        const bool candidate =
            anyHeading &&
            (heading[key].isEmpty() ? codeStart.isEmpty()
                                    : !codeStart.isEmpty() && (codeStart[0].unicode() > 0x7F ||
                                                               codeStart[0].toUpper() == heading[key][0]));
        if (candidate && headingForm(code) == heading[key]) {
            bool same = true;
            for (int c = 0; c < grid.cols() && same; ++c)
                same = headingForm(grid.text(r, c)) == heading[c];
            if (same) {
                stray.repeatedHeadings << r;
                continue;
            }
        }
        // The code cell is the page line itself, or is empty and another cell is: an item is never one.
        bool page = isPageLine(code);
        if (!page && codeStart.isEmpty())
            for (int c = 0; c < grid.cols() && !page; ++c)
                page = c != key && isPageLine(grid.text(r, c));
        if (page) stray.pageLines.insert(stray.pageLines.size() - footerLines, r);
    }
    return stray;
}

} // namespace layoutproposal
