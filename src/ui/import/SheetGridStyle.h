#pragma once

#include "import/SheetGridModel.h"

// The preview grid's cells as the window draws them: the row colours the loader set and the
// fixed rows on the button face.
class SheetGridStyle : public SheetGridModel {
    Q_OBJECT
public:
    using SheetGridModel::SheetGridModel;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};
