#pragma once

#include "data/History.h"

#include <QDialog>

class QTreeWidget;

// The history of one article row, newest first: when, which column, the value before and after,
// what made the change, who and where. Esc closes it.
class FrmHistorial : public QDialog {
    Q_OBJECT
  public:
    enum Column { colFecha, colColumna, colAntes, colDespues, colOrigen, colUsuario, colPuesto, columnCount };

    FrmHistorial(const QString &caption, const QVector<history::Entry> &entries, QWidget *parent = nullptr);
    QTreeWidget *list() const { return lstHistorial; }

    // F8 of the editor and of the record lists: the history of the current shipment's row `tag`
    // ("0007") of article `article`, over `parent`; a failing read shows the standard message with
    // the location `section`.
    static void showRecord(QWidget *parent, const QString &tag, const QString &article,
                           const QString &section);

  private:
    QTreeWidget *lstHistorial = nullptr;
};
