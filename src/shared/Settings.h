#pragma once

#include <QString>

// The per-user settings store: organisation and application "Planexo", group "CONFIG".
namespace settings {

QString read(const QString &key, const QString &defaultValue = QString());
void write(const QString &key, const QString &value);

} // namespace settings
