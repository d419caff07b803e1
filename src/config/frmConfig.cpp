#include "frmConfig.h"

frmConfig::frmConfig(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configuración"));
}
