#pragma once

#include "shared/Interaction.h"

#include <QString>
#include <QVector>
#include <optional>

struct SharedState;
namespace oCHKX {
class clPRINC;
}

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

// The message that refuses a draft, as the editor shows it.
struct Refusal {
    QString text;
    Interaction::Icon icon = Interaction::Icon::Exclamation;
};
// The editor's checks in their order, through a suffix-validation component already given the
// data-access manager; the first failing rule's message, or none. When the declared unit is the
// statistical one and no statistical quantity was typed, the quantity fills it. A failure of the
// checks themselves refuses with the standard message.
std::optional<Refusal> check(SharedState &state, Draft &draft, oCHKX::clPRINC &checker);
// The editor's checks with a component of their own, each refusal shown with its message.
bool verify(SharedState &state, Draft &draft);
// Writes the draft into the row `tag` as corrected (PRCEST "M", PRCCRC "OK") with the editor's
// statement, and adds to the history each column the statement changed, as made by `origin`; true
// when a row changed. Throws.
bool save(SharedState &state, const Draft &draft, const QString &tag, const QString &origin);
// A column of ART by the caption the editor shows beside its field (the lists' headings for the
// states, which the editor shows without one); any other column by its own name.
QString fieldCaption(const QString &column);

} // namespace recordedit
