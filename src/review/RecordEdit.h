#pragma once

#include <QString>
#include <QVector>
#include <optional>

struct SharedState;

// The rules of the record editor: reading an article row, finding a typed position in the
// nomenclator, checking a corrected row and saving it. The editor window shows and collects the
// values; the checks report through the interaction.
namespace recordedit {

// A position as the nomenclator keys it: commas typed for points read as points.
QString pointed(QString position);
// A position text of 14 or 15 characters; any other length is no position.
bool wellFormed(const QString &position);

// An article row as the editor shows it: texts, amounts formatted "00.00", the position pointed.
struct Article {
    QString ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, DESCRIPCION_MARIA;
    QString PRCNCM, PRCSUF, PRCDUN, PRCECA, PRCESM, PRCEUN, PRCSUN, PRCSCA, PRCCRC, PRCLAP;
};
struct Country {
    QString id;
    QString name;
};

// The current shipment's row with the row order `tag`; none when there is no such row. Throws.
std::optional<Article> load(SharedState &state, const QString &tag);
// The country list in the order of its description. Throws.
QVector<Country> countries(SharedState &state);

// A position found in the nomenclator.
struct Position {
    QString unit;  // statistical unit, "00"
    QString found; // the position as the nomenclator spells it
    bool lapi = false;
};
// Looks a pointed position up by its three key parts; none when the nomenclator lacks it. Throws.
std::optional<Position> findPosition(SharedState &state, const QString &position);

// A corrected row as the editor holds it before saving.
struct Draft {
    QString position;          // as typed
    QString processedPosition; // the position the statistical unit was taken for
    QString unit;              // that statistical unit; empty before a position was processed
    QString declaredUnit;
    QString statisticalQuantity;
    QString quantity;
    QString goodsState;
    QString suffixes;
    QString lapi; // "S" or "N"
    bool hasSpecificDuty = false;
    QString specificUnit;
    QString specificQuantity;
    QString descripcionMaria;
    std::optional<QString> country; // the chosen country's code; none keeps the stored origin
};

// The editor's checks, each refusal shown with its message. When the declared unit is the
// statistical one and no statistical quantity was typed, the quantity fills it. Shows its own
// failure message; false then too.
bool verify(SharedState &state, Draft &draft);
// Writes the draft into the row `tag` as corrected (PRCEST "M", PRCCRC "OK"); true when a row
// changed. Throws.
bool save(SharedState &state, const Draft &draft, const QString &tag);

} // namespace recordedit
