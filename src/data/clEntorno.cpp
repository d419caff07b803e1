#include "clEntorno.h"

#include <QFileInfo>

namespace oENTX {

bool clEntorno::ExisteArchivo(const QString &path) const
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isFile();
}

} // namespace oENTX
