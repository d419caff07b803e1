#pragma once

#include <QString>

namespace workbook {

// Turns each UTF-16 surrogate without its partner (legacy strings, _xHHHH_ escapes and UTF-16
// parts can hold them) from `from` on into U+FFFD; valid pairs and every other character stay.
inline void replaceLoneSurrogates(QString &text, qsizetype from = 0)
{
    const qsizetype size = text.size();
    const QChar *in = text.constData();
    qsizetype i = from;
    while (i < size && !in[i].isSurrogate())
        ++i;
    if (i == size) return;
    QChar *out = text.data();
    for (; i < size; ++i) {
        if (!out[i].isSurrogate()) continue;
        if (out[i].isHighSurrogate() && i + 1 < size && out[i + 1].isLowSurrogate())
            ++i;
        else
            out[i] = QChar::ReplacementCharacter;
    }
}

} // namespace workbook
