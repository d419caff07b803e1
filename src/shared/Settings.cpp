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

QString lastFolder()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    return s.value(QStringLiteral("RECIENTES/CarpetaFacturas")).toString();
}

void setLastFolder(const QString &folder)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    s.setValue(QStringLiteral("RECIENTES/CarpetaFacturas"), folder);
    s.sync();
}

QString lastPdfFolder()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"),
                QStringLiteral("Planexo"));
    return s.value(QStringLiteral("RECIENTES/CarpetaPdf")).toString();
}

void setLastPdfFolder(const QString &folder)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"),
                QStringLiteral("Planexo"));
    s.setValue(QStringLiteral("RECIENTES/CarpetaPdf"), folder);
    s.sync();
}

} // namespace settings
