#pragma once

#include "workbook/common/SheetInfo.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

// "Hoja del libro": the workbook's worksheets in order, hidden ones marked "(oculta)". Enter or
// "Aceptar" takes the selected sheet, Escape leaves. The answer (the sheet's index from 0) goes
// back through the shared sRetorno.
class frmHoja : public QDialog {
    Q_OBJECT
  public:
    frmHoja(const WorkbookSheetList &sheets, int current, QWidget *parent = nullptr);

    QListWidget *hojas() const { return lstHojas; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void aceptar();

    QLabel *lblHojas = nullptr;
    QListWidget *lstHojas = nullptr;
    QLabel *lblAyuda = nullptr;
    QPushButton *cmdAceptar = nullptr;
};
