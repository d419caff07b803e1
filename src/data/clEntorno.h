#pragma once

#include <QString>

namespace oENTX {

// The file-system component.
class clEntorno {
public:
    bool ExisteArchivo(const QString &path) const;
};

} // namespace oENTX
