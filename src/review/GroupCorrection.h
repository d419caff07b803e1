#pragma once

#include "review/RecordEdit.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

struct SharedState;

// A correction applied to many article rows at once: each row gets the fields the operator set,
// keeps its own values elsewhere, and passes the record editor's own checks and save statement, so
// that a row saved here equals the row corrected alone in the editor.
namespace groupcorrection {

// What the operator set; a field left none keeps each row's own value.
struct Changes {
    // A position as the editor holds it after Enter: the text typed, the position processed, its
    // statistical unit ("" when not processed) and LAPI mark.
    struct Position {
        QString text, processed, unit, lapi;
    };
    std::optional<Position> position;
    std::optional<QString> suffixes;
    std::optional<QString> declaredUnit;
    std::optional<QString> statisticalQuantity;
    std::optional<QString> goodsState;
    std::optional<QString> descripcionMaria;
    std::optional<QString> country; // a country code
    bool isEmpty() const
    {
        return !position && !suffixes && !declaredUnit && !statisticalQuantity && !goodsState &&
               !descripcionMaria && !country;
    }
};

struct Refused {
    QString tag;     // "0007"
    QString article; // ARTNRO
    recordedit::Refusal refusal;
};
struct Result {
    int total = 0;
    QStringList saved; // tags
    QVector<Refused> refused;
};

// The draft the editor holds for a row just loaded, before the operator changes anything.
recordedit::Draft draftOf(const recordedit::Article &article);
// The row's draft with the changes over it.
recordedit::Draft applied(const recordedit::Article &article, const Changes &changes);

// Loads, checks and saves each row of the current shipment (tags as the list shows them) in one
// batch of writes; a row refused stays as it was. The history names `origin`.
Result apply(SharedState &state, const QStringList &tags, const Changes &changes, const QString &origin);

// The closing message: how many were saved and each refused row with its message.
QString report(const Result &result);

} // namespace groupcorrection
