#include "FrmPosicion.h"

FrmPosicion::FrmPosicion(QLineEdit *editorPosition, QWidget *parent)
    : QDialog(parent), m_editorPosition(editorPosition)
{
    setObjectName(QStringLiteral("FrmPosicion"));
    setWindowTitle(QStringLiteral("Buscar Posición"));
}
