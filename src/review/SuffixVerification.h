#pragma once

#include <QString>

// The suffix verification of the record editor: builds the suffix text of one article for one
// position with the operator (input boxes for value codes, the chooser for option codes).
// Returns the new suffix text, "SIN SUFIJOS" for a position without suffixes, or empty text when
// the operator cancelled.
//
// A value code whose first letter is neither "A" nor "Z" has no kind of its own: it takes the kind
// of the value code handled before it in the same call and, when there was none, its answers are
// asked again until the operator cancels.
QString VerificarSufijos(const QString &NCM, QString &SufijoAnt, int Modificar, QString &p_Articulo);

// Cleans what the operator typed: trimmed, upper case, at most 40 characters, characters outside
// the allowed set turned into blanks.
QString m_sVALCADENA(const QString &text);
// The character itself when allowed (A-Z, digits, Ñ, & , / * [ ]), otherwise a blank.
QChar m_sVALCHAR(QChar c);

// The sim values of sufidos that apply to a position text, as an SQL list of its chapter, heading,
// subheading and full position: ('82  .  .  .   ','8252.  .  .   ','8252.00.  .   ','8252.00.00.000').
QString positionLevelList(const QString &position);
