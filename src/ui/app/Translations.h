#pragma once

#include <QLocale>

// Qt's own texts (standard dialogs and buttons) in the language of a locale, from the translations
// installed with Qt. Replaces the one installed before; true when one was found for the locale.
bool installQtTranslations(const QLocale &locale);
