#include "VbFormat.h"

#include "PlanexoError.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace vb {

QString trim(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QChar decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.at(0);
}

static QChar groupSeparator()
{
    const QString group = QLocale().groupSeparator();
    return group.isEmpty() ? QChar(0) : group.at(0);
}

// Normalises a locale number text to C form ("-1234.5e3"); returns false when it is not numeric.
static bool normalise(const QString &text, QString *out)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    const QChar dec = decimalSeparator();
    QChar group = groupSeparator();
    if (group == dec) group = QChar(0);
    QString c;
    c.reserve(t.size());
    int i = 0;
    if (t[i] == '+' || t[i] == '-') {
        if (t[i] == '-') c += '-';
        ++i;
    }
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        const QChar ch = t[i];
        if (ch >= '0' && ch <= '9') {
            c += ch;
            digits = true;
        } else if (ch == dec && !point) {
            c += '.';
            point = true;
        } else if (!group.isNull() && ch == group && !point) {
            // VB accepts group separators anywhere in the integer part.
        } else {
            break;
        }
    }
    if (!digits) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        QString exp = QStringLiteral("e");
        int j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) exp += t[j++];
        bool expDigits = false;
        for (; j < t.size() && t[j] >= '0' && t[j] <= '9'; ++j) {
            exp += t[j];
            expDigits = true;
        }
        if (!expDigits) return false;
        c += exp;
        i = j;
    }
    if (i != t.size()) return false;
    if (out) *out = c;
    return true;
}

// A normalised text's value: from_chars where it reads the whole text to a normal number or zero
// (both round correctly, so they agree), else as QString reads it. False when it is no finite number.
static bool normalisedValue(const QString &c, double &v)
{
    char buffer[64];
    const qsizetype n = c.size();
    bool plain = n > 0 && n < qsizetype(sizeof buffer);
    for (qsizetype i = 0; plain && i < n; ++i) {
        const char16_t u = c[i].unicode();
        plain = u < 128;
        buffer[i] = char(u);
    }
    if (plain) {
        const auto r = std::from_chars(buffer, buffer + n, v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == buffer + n && (v == 0 || std::isnormal(v))) return true;
    }
    bool ok = false;
    v = c.toDouble(&ok);
    return ok && std::isfinite(v);
}

bool isNumeric(const QString &text)
{
    QString c;
    if (!normalise(text, &c)) return false;
    double v = 0;
    return normalisedValue(c, v);
}

static bool isNumberType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isNumeric(const QVariant &value)
{
    if (value.isNull() || !value.isValid()) return false;
    if (isNumberType(value)) return true;
    return isNumeric(value.toString());
}

double cdbl(const QString &text)
{
    QString c;
    double v = 0;
    if (!normalise(text, &c) || !normalisedValue(c, v)) throw PlanexoError::typeMismatch();
    return v;
}

double cdbl(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        throw PlanexoError(94, QStringLiteral("Uso no válido de Null"), QStringLiteral("Planexo"));
    if (isNumberType(value)) return value.toDouble();
    return cdbl(value.toString());
}

// Decimal digits of |value| to 15 significant digits: digits "d1d2...", exponent e so that the
// value is 0.d1d2... * 10^e. Working on decimal digits keeps 2.675 a 2.675 when rounding.
struct Decimal {
    QString digits;
    int exponent = 0;
};

static Decimal toDecimal(double value)
{
    Decimal d;
    if (value == 0) {
        d.digits = QStringLiteral("0");
        d.exponent = 1;
        return d;
    }
    const QString e = QString::number(std::fabs(value), 'e', 14); // d.dddddddddddddde+XX
    const int ePos = e.indexOf('e');
    d.digits = e.left(ePos).remove('.');
    d.exponent = e.mid(ePos + 1).toInt() + 1;
    while (d.digits.size() > 1 && d.digits.endsWith('0'))
        d.digits.chop(1);
    return d;
}

// Fixed notation with exactly `decimals` decimals, halves rounded away from zero, no sign: the
// reference for the values that fixedDigits does not take itself.
static void fixedDigitsSlow(double value, int decimals, QString *intPart, QString *fracPart)
{
    Decimal d = toDecimal(value);
    // Digits kept: those before the point (exponent) plus the decimals.
    const int keep = d.exponent + decimals;
    QString digits = d.digits;
    int exponent = d.exponent;
    if (keep < 0) {
        digits = QStringLiteral("0");
        exponent = 1;
    } else if (keep < digits.size()) {
        const bool roundUp = digits[keep] >= '5';
        digits.truncate(keep);
        if (roundUp) {
            int i = digits.size() - 1;
            while (i >= 0 && digits[i] == '9') {
                digits[i] = '0';
                --i;
            }
            if (i >= 0)
                digits[i] = QChar(digits[i].unicode() + 1);
            else {
                digits.prepend('1');
                ++exponent;
            }
        }
        if (digits.isEmpty()) {
            digits = QStringLiteral("0");
            exponent = 1;
        }
    }
    QString ip, fp;
    if (exponent <= 0) {
        ip = QStringLiteral("0");
        fp = QString(-exponent, '0') + digits;
    } else if (exponent >= digits.size()) {
        ip = digits + QString(exponent - digits.size(), '0');
    } else {
        ip = digits.left(exponent);
        fp = digits.mid(exponent);
    }
    fp = fp.left(decimals);
    fp += QString(decimals - fp.size(), '0');
    while (ip.size() > 1 && ip.startsWith('0'))
        ip.remove(0, 1);
    *intPart = ip;
    *fracPart = fp;
}

// The digits of a fixed notation: the integer part without leading zeros ("0" at least) and
// exactly `decimals` decimals.
struct Fixed {
    std::string intPart;
    std::string fracPart;
};

// fixedDigitsSlow without its texts. A finite normal value whose shortest round-trip digits number
// 15 or fewer has them as its 15 significant digits (stripped of trailing zeros): a double is finer
// than the 15-digit grid, so they are the nearest 15-digit decimal and no tie is possible. Every
// other value goes through the reference.
static Fixed fixedDigits(double value, int decimals)
{
    char digits[24];
    int count = 0;
    int exponent = 0;
    const double a = std::fabs(value);
    bool fast = false;
    if (a == 0) {
        digits[0] = '0';
        count = 1;
        exponent = 1;
        fast = true;
    } else if (std::isfinite(a) && a >= std::numeric_limits<double>::min()) {
        char sci[40];
        const auto r = std::to_chars(sci, sci + sizeof sci, a, std::chars_format::scientific);
        const char *e = r.ec == std::errc() ? std::find(sci, r.ptr, 'e') : r.ptr;
        if (e < r.ptr) {
            for (const char *p = sci; p < e && count <= 15; ++p)
                if (*p != '.') digits[count++] = *p;
            int x = 0;
            if (count <= 15 && std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, x).ec == std::errc()) {
                exponent = x + 1;
                fast = true;
            }
        }
    }
    Fixed out;
    if (!fast) {
        QString ip, fp;
        fixedDigitsSlow(value, decimals, &ip, &fp);
        out.intPart = ip.toStdString();
        out.fracPart = fp.toStdString();
        return out;
    }
    const int keep = exponent + decimals;
    if (keep < 0) {
        digits[0] = '0';
        count = 1;
        exponent = 1;
    } else if (keep < count) {
        const bool roundUp = digits[keep] >= '5';
        count = keep;
        if (roundUp) {
            int i = count - 1;
            while (i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                // All nines (or none kept): a one in front.
                std::memmove(digits + 1, digits, size_t(count));
                digits[0] = '1';
                ++count;
                ++exponent;
            }
        }
        if (count == 0) {
            digits[0] = '0';
            count = 1;
            exponent = 1;
        }
    }
    std::string &ip = out.intPart;
    std::string &fp = out.fracPart;
    if (exponent <= 0) {
        ip.assign(1, '0');
        fp.assign(size_t(-exponent), '0');
        fp.append(digits, size_t(count));
    } else if (exponent >= count) {
        ip.assign(digits, size_t(count));
        ip.append(size_t(exponent - count), '0');
    } else {
        ip.assign(digits, size_t(exponent));
        fp.assign(digits + exponent, size_t(count - exponent));
    }
    if (fp.size() > size_t(decimals)) fp.resize(size_t(decimals));
    fp.append(size_t(decimals) - fp.size(), '0');
    const size_t first = std::min(ip.find_first_not_of('0'), ip.size() - 1);
    ip.erase(0, first);
    return out;
}

double roundHalfAway(double value, int decimals)
{
    if (!std::isfinite(value)) return value;
    // The decimal digits rounded (at most 15 significant) lie within 1e-13 relative of the value; so
    // below 1e7, a value times the power of ten that is farther than 1e-5 from a half rounds as the
    // nearest whole number does, and that number over the exact power of ten is the double that its
    // text reads as (one correctly rounded division).
    static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                        1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (decimals >= 0 && decimals <= 15) {
        const double scaled = value * kScale[decimals];
        if (std::fabs(scaled) < 1e7) {
            const double whole = std::nearbyint(scaled);
            if (std::fabs(scaled - whole) < 0.5 - 1e-5) {
                if (whole == 0) return value < 0 ? -0.0 : 0.0;
                return whole / kScale[decimals];
            }
        }
    }
    const Fixed f = fixedDigits(value, decimals);
    const std::string text = f.intPart + '.' + (f.fracPart.empty() ? std::string("0") : f.fracPart);
    double r = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), r).ec != std::errc())
        r = QString::fromStdString(text).toDouble(); // out of range: as QString reads it
    return value < 0 ? -r : r;
}

QString format(double value, const QString &pattern)
{
    // Zeros before the first point are the integer digits, zeros after it the decimals.
    int intZeros = 0;
    int decimals = 0;
    bool afterPoint = false;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('.'))
            afterPoint = true;
        else if (c == QLatin1Char('0'))
            ++(afterPoint ? decimals : intZeros);
    }
    const Fixed f = fixedDigits(value, decimals);
    std::string_view ip = f.intPart;
    if (ip == "0" && intZeros == 0) ip = {};
    const qsizetype pad = std::max<qsizetype>(0, intZeros - qsizetype(ip.size()));
    const auto nonZero = [](std::string_view digits) {
        return std::any_of(digits.begin(), digits.end(), [](char c) { return c >= '1' && c <= '9'; });
    };
    const bool negative = value < 0 && (nonZero(ip) || nonZero(f.fracPart));
    QString out(qsizetype(negative) + pad + qsizetype(ip.size()) + (decimals > 0 ? 1 + decimals : 0),
                Qt::Uninitialized);
    QChar *o = out.data();
    if (negative) *o++ = QLatin1Char('-');
    for (qsizetype i = 0; i < pad; ++i)
        *o++ = QLatin1Char('0');
    for (const char c : ip)
        *o++ = QLatin1Char(c);
    if (decimals > 0) {
        *o++ = decimalSeparator();
        for (const char c : f.fracPart)
            *o++ = QLatin1Char(c);
    }
    return out;
}

QString format(const QString &text, const QString &pattern)
{
    if (!isNumeric(text)) return text;
    return format(cdbl(text), pattern);
}

QString format(const QVariant &value, const QString &pattern)
{
    if (value.isNull() || !value.isValid()) return QString();
    if (isNumberType(value)) return format(value.toDouble(), pattern);
    return format(value.toString(), pattern);
}

// printf's %.15g of a finite value. When the shortest digits that read back as a normal value
// number 15 or fewer they are exactly the digits %.15g keeps (a tie at the 15th digit takes 16),
// so only their placement is left to do; that is several times faster than rounding to 15
// digits, which stays for the other values.
int layoutDigits(char *out, bool negative, const char *digits, int k, int x, char exponentMark)
{
    int n = 0;
    if (negative) out[n++] = '-';
    if (x < -4 || x >= 15) {
        out[n++] = digits[0];
        if (k > 1) {
            out[n++] = '.';
            for (int i = 1; i < k; ++i)
                out[n++] = digits[i];
        }
        out[n++] = exponentMark;
        out[n++] = x < 0 ? '-' : '+';
        const int ax = x < 0 ? -x : x;
        if (ax >= 100) out[n++] = char('0' + ax / 100);
        out[n++] = char('0' + ax / 10 % 10);
        out[n++] = char('0' + ax % 10);
    } else if (x >= 0) {
        for (int i = 0; i <= x; ++i)
            out[n++] = i < k ? digits[i] : '0';
        if (k > x + 1) {
            out[n++] = '.';
            for (int i = x + 1; i < k; ++i)
                out[n++] = digits[i];
        }
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = 0; i < -x - 1; ++i)
            out[n++] = '0';
        for (int i = 0; i < k; ++i)
            out[n++] = digits[i];
    }
    return n;
}

static QString general15(double value)
{
    char sci[48];
    const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    if (r.ec == std::errc() && std::fabs(value) >= std::numeric_limits<double>::min()) {
        const char *p = sci;
        const bool negative = *p == '-';
        if (negative) ++p;
        const char *end = r.ptr;
        const char *e = std::find(p, end, 'e');
        char digits[24];
        int k = 0;
        for (const char *q = p; q < e && k < 24; ++q)
            if (*q != '.') digits[k++] = *q;
        int x = 0;
        if (k <= 15 && e < end && std::from_chars(e + (e[1] == '+' ? 2 : 1), end, x).ec == std::errc()) {
            char out[48];
            return QString::fromLatin1(out, vb::layoutDigits(out, negative, digits, k, x, 'e'));
        }
    }
    return QString::number(value, 'g', 15);
}

static QString cNumber(double value)
{
    if (value == 0) return QStringLiteral("0");
    QString s = general15(value);
    const int e = s.indexOf('e');
    if (e >= 0) {
        QString mantissa = s.left(e);
        QString exponent = s.mid(e + 1);
        const QChar sign = exponent.startsWith('-') ? QChar('-') : QChar('+');
        exponent.remove(0, 1);
        while (exponent.size() < 2)
            exponent.prepend('0');
        s = mantissa + 'E' + sign + exponent;
    }
    return s;
}

QString str(double value)
{
    QString s = cNumber(value);
    s.replace('.', decimalSeparator());
    return s;
}

QString sqlNumberLiteral(double value)
{
    if (!std::isfinite(value)) throw PlanexoError::divisionByZero();
    return cNumber(value);
}

} // namespace vb
