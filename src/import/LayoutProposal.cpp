#include "import/LayoutProposal.h"

#include "data/VbFormat.h"
#include "import/SheetGridModel.h"
#include "import/SheetPreview.h"

#include <QRegularExpression>

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

} // namespace

int headingRow(const SheetPreview &preview)
{
    for (int r = 1; r < preview.rowCount(); ++r) {
        QVector<int> textColumns;
        for (int c = 1; c <= preview.cols; ++c)
            if (isText(preview.text(r, c))) textColumns << c;
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

QVector<int> totalsRows(const SheetGridModel &grid, int codeColumn)
{
    const int key = codeColumn >= 0 && codeColumn < grid.cols() ? codeColumn : 0;
    QVector<int> rows;
    // The first data row is an item in any case: a sheet of totals alone proposes nothing.
    for (int r = grid.rows() - 1; r > 2; --r) {
        if (!grid.text(r, key).trimmed().isEmpty()) break;
        bool totals = false;
        for (int c = 0; c < grid.cols() && !totals; ++c)
            totals = carriesTotalsWord(grid.text(r, c));
        if (!totals) break;
        rows.prepend(r);
    }
    return rows;
}

} // namespace layoutproposal
