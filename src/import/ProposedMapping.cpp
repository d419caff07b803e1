#include "import/ProposedMapping.h"

#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"

#include <QRegularExpression>
#include <QSet>

namespace proposedmapping {

QString normalized(const QString &heading)
{
    const QString decomposed = heading.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || c.isSpace() || c == QLatin1Char('.')) continue;
        out += c;
    }
    return out.toCaseFolded();
}

const QHash<QString, QString> &builtInWords()
{
    static const QHash<QString, QString> words = [] {
        using namespace fieldlabels;
        const QList<QPair<QString, QStringList>> lists = {
            {CodArticulo,
             {"Código",
              "Cod.",
              "Cod. Artículo",
              "Código artículo",
              "Código de artículo",
              "Artículo",
              "Art.",
              "Art. Nro.",
              "Nro. artículo",
              "Item code",
              "Item No.",
              "Item number",
              "Part No.",
              "Part number",
              "P/N",
              "Article",
              "Article No.",
              "Article code",
              "Product code",
              "Product No.",
              "SKU",
              "Ref.",
              "Referencia",
              "Reference",
              "Código do produto",
              "Código produto",
              "Cód. produto",
              "Referência",
              "Model No.",
              "Style No."}},
            {DescrModelo,
             {"Descripción", "Descr.", "Desc.", "Description", "Description of goods", "Goods description",
              "Product description", "Item description", "Descrição", "Descrição do produto", "Producto",
              "Product", "Detalle", "Mercadería", "Mercadoria", "Goods", "Descripción modelo", "Modelo",
              "Model"}},
            {DescrMaria, {"Descripción MARIA", "Descr. MARIA", "Desc. MARIA", "MARIA"}},
            {KgNeto,
             {"Net weight", "Net wt.", "N.W.", "N.W. (kg)", "NW (kg)", "Net weight (kg)", "Net kg",
              "Peso neto", "Peso neto (kg)", "Kg neto", "Kgs. neto", "Kg netos", "P. neto", "Peso líquido",
              "Peso liquido (kg)", "Kg líquido"}},
            {Cantidad,
             {"Cantidad", "Cant.", "Cant", "Qty", "Qty.", "Q'ty", "Quantity", "Qtde", "Qtde.", "Quantidade",
              "Pcs", "Pieces", "Unidades"}},
            {PTotal,
             {"Importe", "Importe total", "Amount", "Total", "Total amount", "Total price", "Total value",
              "Valor total", "Valor", "Precio total", "Monto", "Total USD", "Amount USD", "Total FOB",
              "FOB total", "Line total", "Extended price", "Preço total", "Valor total (USD)"}},
            {PaNcm,
             {"HS Code", "HS", "H.S. Code", "HS Code No.", "HTS", "HTS Code", "Harmonized code", "NCM",
              "Código NCM", "Posición", "Posición arancelaria", "Pos. arancelaria", "P.A.", "Tariff code",
              "Tariff No.", "Customs code", "Classificação fiscal", "Posição", "Nomenclatura"}},
            {Unidad,
             {"Unidad", "Unid.", "Unit", "UM", "U.M.", "UOM", "Unidad de medida", "Unit of measure",
              "Unidade"}},
            {Origen,
             {"Origen", "País de origen", "Pais origen", "Country of origin", "Origin", "Country", "Made in",
              "COO", "Origem", "País de origem", "País"}},
        };
        QHash<QString, QString> map;
        for (const auto &[label, list] : lists)
            for (const QString &word : list)
                map.insert(normalized(word), label);
        return map;
    }();
    return words;
}

QHash<QString, QString> learned(const QVector<savedmapping::Layout> &layouts)
{
    const QStringList offered = fieldlabels::chooserEntries();
    QHash<QString, QHash<QString, int>> votes;
    for (const savedmapping::Layout &layout : layouts) {
        const QStringList headings = savedmapping::keyHeadings(layout.key);
        for (const savedmapping::Entry &e : layout.mapping) {
            if (e.column >= headings.size() || !offered.contains(e.label) || e.label == fieldlabels::Ninguno)
                continue;
            const QString heading = normalized(headings[e.column]);
            if (!heading.isEmpty()) ++votes[heading][e.label];
        }
    }
    QHash<QString, QString> words;
    for (auto it = votes.cbegin(); it != votes.cend(); ++it) {
        QString best;
        int most = 0;
        for (auto v = it->cbegin(); v != it->cend(); ++v)
            if (v.value() > most || (v.value() == most && v.key() < best)) {
                best = v.key();
                most = v.value();
            }
        words.insert(it.key(), best);
    }
    return words;
}

savedmapping::Mapping propose(const SheetGridModel &grid, const QHash<QString, QString> &learnedWords)
{
    static const QRegularExpression trailingNote(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const auto lookUp = [&](const QString &heading) {
        const QString key = normalized(heading);
        if (key.isEmpty()) return QString();
        if (const auto it = learnedWords.constFind(key); it != learnedWords.cend()) return *it;
        return builtInWords().value(key);
    };
    savedmapping::Mapping mapping;
    QSet<QString> taken;
    for (int c = 0; c < grid.cols(); ++c) {
        const QString heading = grid.text(0, c);
        QString label = lookUp(heading);
        if (label.isEmpty()) {
            QString bare = heading;
            bare.remove(trailingNote);
            if (bare != heading) label = lookUp(bare);
        }
        // A heading under a group merged over several columns reads "PRECIO (USD) Total": its own
        // words follow the group's note.
        if (const qsizetype close = heading.lastIndexOf(QLatin1Char(')')); label.isEmpty() && close > 0)
            label = lookUp(heading.mid(close + 1));
        if (label.isEmpty() || taken.contains(label)) continue;
        taken.insert(label);
        mapping.push_back({c, label});
    }
    return mapping;
}

} // namespace proposedmapping
