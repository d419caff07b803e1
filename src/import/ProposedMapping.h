#pragma once

#include "import/SavedMapping.h"

#include <QHash>
#include <QString>

class SheetGridModel;

// A column mapping proposed for headings no mapping was remembered for: each heading is looked up
// among the headings of every mapping the office has stored, then in a built-in list of heading
// words per field in Spanish, English and Portuguese.
namespace proposedmapping {

// Headings compared without case, accents, dots and blanks: "N.W." and "nw", "Posición" and
// "POSICION" are the same heading.
QString normalized(const QString &heading);
// Normalised heading -> field label, from the built-in list (the chooser's fields only).
const QHash<QString, QString> &builtInWords();
// Normalised heading -> field label learned from the stored mappings; where layouts disagree the
// label most of them give wins.
QHash<QString, QString> learned(const QVector<savedmapping::Layout> &layouts);
// The proposal for the grid's headings: learned words first, then built-in ones; a heading with a
// trailing "(...)" ("Amount (USD)") is also tried without it, and one under a group heading by the
// words after the group's note ("PRECIO (USD) Total" as "Total"). A field goes to its first column
// only.
savedmapping::Mapping propose(const SheetGridModel &grid, const QHash<QString, QString> &learnedWords);

} // namespace proposedmapping
