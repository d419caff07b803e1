#include "workbook/common/DateFormats.h"

#include <algorithm>

namespace workbook {

bool isDateFormatId(int id)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the East Asian locales' date forms.
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) ||
           (id >= 50 && id <= 58);
}

bool isDateFormatCode(const QString &code)
{
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        switch (ch.unicode()) {
        case '"': {
            const qsizetype end = code.indexOf('"', i + 1);
            if (end < 0) return false;
            i = end;
            break;
        }
        case '[': {
            const qsizetype end = code.indexOf(']', i + 1);
            if (end < 0) return false;
            // Elapsed-time brackets ([h], [mm], [ss]) are times; colours, conditions and locales are not.
            const QString inside = code.mid(i + 1, end - i - 1).toLower();
            if (!inside.isEmpty() &&
                std::all_of(inside.begin(), inside.end(), [&](QChar c) { return c == inside[0]; }) &&
                (inside[0] == 'h' || inside[0] == 'm' || inside[0] == 's'))
                return true;
            i = end;
            break;
        }
        case '\\':
        case '_':
        case '*':
            ++i; // the next character is literal, or a fill or spacing width
            break;
        case 'd':
        case 'D':
        case 'm':
        case 'M':
        case 'y':
        case 'Y':
        case 'h':
        case 'H':
        case 's':
        case 'S':
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace workbook
