#include "ui/import/SheetGridStyle.h"

#include <QBrush>
#include <QColor>
#include <QPalette>

QVariant SheetGridStyle::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows() || index.column() >= cols())
        return {};
    switch (role) {
    case Qt::ForegroundRole:
        if (const std::optional<quint32> rgb = rowForeground(index.row()))
            return QBrush(QColor::fromRgb(QRgb(*rgb)));
        return {};
    case Qt::BackgroundRole:
        if (index.row() < fixedRows())
            return QPalette().brush(QPalette::Button);
        return {};
    default:
        return SheetGridModel::data(index, role);
    }
}
