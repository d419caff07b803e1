#include "review/RecordFilter.h"

namespace recordfilter {

QString fold(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            out += c.toLower();
        } else {
            // The letter of an accented character, without its marks.
            for (const QChar d : QString(c).normalized(QString::NormalizationForm_D))
                if (d.category() != QChar::Mark_NonSpacing) out += d.toLower();
        }
    }
    return out;
}

void Filter::setText(const QString &text)
{
    m_words = fold(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace recordfilter
