#pragma once

#include <QString>
#include <QStringList>

// The filter of the record lists: a row is shown when its searchable text contains every word
// typed, with case and accents ignored.
namespace recordfilter {

// A text for matching: lower case, accents, tildes and other combining marks dropped ("Posición"
// gives "posicion", "Año" gives "ano").
QString fold(const QString &text);

class Filter {
public:
    // The words of a typed filter text; an empty text shows every row.
    void setText(const QString &text);
    bool isEmpty() const { return m_words.isEmpty(); }
    // Whether a row's folded text contains every word.
    bool matches(const QString &folded) const
    {
        for (const QString &word : m_words)
            if (!folded.contains(word)) return false;
        return true;
    }

private:
    QStringList m_words;
};

} // namespace recordfilter
