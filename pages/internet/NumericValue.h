// The number at the start of a text, read as the system's Val reads it, and the texts the
// tuning page's numeric fields are given back.
#pragma once

#include <QString>

// The numeric value of a text: blanks, tabs and line feeds anywhere in it are ignored; "&H" or
// "&O" introduces a hexadecimal or octal number; otherwise an optional sign, digits, an optional
// decimal point with digits and an optional exponent (E or D) are read, up to the first
// character that cannot continue the number. A text without a number, or with one too large for
// a double, has the value 0.
double Val(const QString &text);

// The canonical decimal form of a value: whole numbers below 10^15 as plain digits ("1360",
// "-25"), others with up to 15 significant digits ("1.5", "1E+20").
QString CanonicalNumber(double value);

// True when the text is a whole number that the network stack can read from the registry:
// decimal digits only, at most 4294967295.
bool IsStorableNumber(const QString &text);
