#pragma once

#include <QLocale>

// Qt's own texts (standard dialogs and buttons) in the language of a locale, from the translations
// installed with Qt. Replaces the ones installed before; true when a translation was loaded (none
// is needed, and none is loaded, for English).
bool installQtTranslations(const QLocale &locale);
