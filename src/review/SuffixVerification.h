#pragma once

#include <QString>

// The suffix verification of the record editor: builds the suffix text of one article for one
// position with the operator (input boxes for value codes, the chooser for option codes).
// Returns the new suffix text, "SIN SUFIJOS" for a position without suffixes, or empty text when
// the operator cancelled.
QString VerificarSufijos(const QString &NCM, QString &SufijoAnt, int Modificar, QString &p_Articulo);

// Cleans what the operator typed: trimmed, upper case, at most 40 characters, characters outside
// the allowed set turned into blanks.
QString m_sVALCADENA(const QString &text);
// The character itself when allowed (A-Z, digits, Ñ, & , / * [ ]), otherwise a blank.
QChar m_sVALCHAR(QChar c);
