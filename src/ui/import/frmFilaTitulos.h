#pragma once

#include "import/SheetPreview.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;

// "Fila de títulos": the first rows of the loaded sheet with their spreadsheet numbers and column
// letters; the operator picks the cell of the first heading (the arrows move by rows and columns).
// Enter or "Aceptar" takes the selected cell as the table's top-left heading, Escape leaves. The
// answer ("row,column", both from 1) goes back through the shared sRetorno.
class frmFilaTitulos : public QDialog {
    Q_OBJECT
  public:
    // The cell of row `proposed` and column `column` is selected on opening (row 1 when it is 0 or
    // beyond the rows shown).
    frmFilaTitulos(const SheetPreview &preview, int proposed, int column = 1, QWidget *parent = nullptr);

    QTableView *filas() const { return grdFilas; }
    // The spreadsheet row selected, 0 for none.
    int filaSeleccionada() const;
    // The spreadsheet column selected, from 1; 0 for none.
    int columnaSeleccionada() const;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void aceptar();

    SheetPreview m_preview;
    QLabel *lblFilas = nullptr;
    QTableView *grdFilas = nullptr;
    QLabel *lblAyuda = nullptr;
    QPushButton *cmdAceptar = nullptr;
};
