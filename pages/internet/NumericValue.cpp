#include "NumericValue.h"

#include <QByteArray>
#include <QChar>
#include <cmath>
#include <string>
#include <string_view>

namespace
{

constexpr double kLargestPlainWholeNumber = 1e15;
constexpr int kSignificantDigits = 15;
constexpr unsigned long long kLargestStorable = 4294967295ULL;

bool IsIgnored(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

// The text as plain ASCII without the characters Val ignores; anything outside ASCII stops a
// number just as a letter does.
std::string Compact(const QString &text)
{
    std::string compact;
    compact.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        if (!IsIgnored(c))
            compact.push_back(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    return compact;
}

// The digit's value in `base`, or -1 when it is no digit of that base.
int DigitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

bool IsDigit(char c, int base)
{
    return DigitValue(c, base) >= 0;
}

double RadixValue(const std::string &digits, std::size_t from, int base)
{
    double value = 0;
    for (std::size_t i = from; i < digits.size() && IsDigit(digits[i], base); ++i)
        value = value * base + DigitValue(digits[i], base);
    return value;
}

// The longest prefix of `text` that reads as sign, digits, point, digits, exponent; the
// exponent letter D is given as E.
std::string DecimalPrefix(const std::string &text)
{
    std::string number;
    std::size_t i = 0;
    const auto take = [&](auto accepts) {
        while (i < text.size() && accepts(text[i]))
            number.push_back(text[i++]);
    };
    const auto isDigit = [](char c) { return IsDigit(c, 10); };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number.push_back(text[i++]);
    take(isDigit);
    if (i < text.size() && text[i] == '.') {
        number.push_back(text[i++]);
        take(isDigit);
    }
    // An exponent counts only with at least one digit after its letter and sign.
    if (i < text.size() && std::string_view("EeDd").find(text[i]) != std::string_view::npos) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            number.push_back('e');
            number.append(text, i + 1, j - i - 1);
            i = j;
            take(isDigit);
        }
    }
    return number;
}

} // namespace

double Val(const QString &text)
{
    const std::string compact = Compact(text);
    double value = 0;
    if (compact.size() >= 2 && compact[0] == '&' && (compact[1] == 'H' || compact[1] == 'h'))
        value = RadixValue(compact, 2, 16);
    else if (compact.size() >= 2 && compact[0] == '&' && (compact[1] == 'O' || compact[1] == 'o'))
        value = RadixValue(compact, 2, 8);
    else
        // Read in the C locale whatever the user's: the point is the decimal separator.
        value = QByteArray::fromStdString(DecimalPrefix(compact)).toDouble();
    return std::isfinite(value) ? value : 0;
}

QString CanonicalNumber(double value)
{
    if (value == std::trunc(value) && std::abs(value) < kLargestPlainWholeNumber)
        return QString::number(static_cast<long long>(value));
    return QString::number(value, 'g', kSignificantDigits).toUpper();
}

bool IsStorableNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return text.toULongLong() <= kLargestStorable;
}
