#include "shared/Settings.h"

#include <QSettings>

namespace settings {

static QString groupKey(const QString &key)
{
    return QStringLiteral("CONFIG/") + key;
}

QString read(const QString &key, const QString &defaultValue)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    return store.value(groupKey(key), defaultValue).toString();
}

void write(const QString &key, const QString &value)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    store.setValue(groupKey(key), value);
    store.sync();
}

} // namespace settings
