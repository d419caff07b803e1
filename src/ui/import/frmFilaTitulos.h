#pragma once

#include "import/SheetPreview.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;

// "Fila de títulos": the first rows of the loaded sheet with their spreadsheet numbers; the operator
// picks the row that holds the headings. Enter or "Aceptar" takes the selected row, Escape leaves.
// The answer (the row number) goes back through the shared sRetorno.
class frmFilaTitulos : public QDialog {
    Q_OBJECT
  public:
    // `proposed` is selected on opening (row 1 when it is 0 or beyond the rows shown).
    frmFilaTitulos(const SheetPreview &preview, int proposed, QWidget *parent = nullptr);

    QTableView *filas() const { return grdFilas; }
    // The spreadsheet row selected, 0 for none.
    int filaSeleccionada() const;

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
