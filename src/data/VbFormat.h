#pragma once

#include <QString>
#include <QVariant>

// VB's number conversions and Format patterns in the user's locale (QLocale()).
// Nothing else in the program formats or parses numbers for display or storage.
namespace vb {

QChar decimalSeparator();

// Trim: removes blanks at both ends; tabs and other white space stay.
QString trim(const QString &text);

// IsNumeric: optional blanks, sign, digits with group separators, the decimal separator and an exponent.
bool isNumeric(const QString &text);
bool isNumeric(const QVariant &value);

// CDbl: the number a text stands for; error 13 when it is not numeric.
double cdbl(const QString &text);
double cdbl(const QVariant &value);

// CStr of a number: decimal separator of the locale, no grouping, at most 15 significant digits.
QString str(double value);

// Format with a digit-placeholder pattern such as "0000", "00.00" or "00.0000". Halves round away
// from zero. A text that is not numeric passes through unchanged; a numeric text is formatted.
QString format(double value, const QString &pattern);
QString format(const QString &text, const QString &pattern);
QString format(const QVariant &value, const QString &pattern);

// Rounds half away from zero to the given number of decimals.
double roundHalfAway(double value, int decimals);

// A number as an SQL literal (point as decimal separator, no grouping, at most 15 significant digits).
QString sqlNumberLiteral(double value);

// Lays out k significant digits (k <= 24) with decimal exponent x as %g does with 15 digits: plain
// from 1E-04 up to below 1E+15, else d.ddd, the exponent mark, its sign and two or three digits.
// Writes at most 32 characters to out and returns how many.
int layoutDigits(char *out, bool negative, const char *digits, int k, int x, char exponentMark);

} // namespace vb
