#pragma once

#include <QDialog>

class ClCntrl;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

// The configuration window: process defaults and declared-unit rules. It loads itself when
// created and closes only through GrabarySalir (Escape or the close box).
class frmConfig : public QDialog {
    Q_OBJECT
  public:
    explicit frmConfig(QWidget *parent = nullptr);

    void GrabarySalir();
    void Cargar_Pais();
    void Agregar_PaisRel();
    void Eliminar_PaisRel();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void Form_Load();
    void loadUnits(class DataConnection &calvera);
    void loadCatalogues(class DataConnection &calvera);
    bool handleKey(QObject *watched, int key);

    ClCntrl *m_cntrl = nullptr;

    QLabel *lblUnidad = nullptr;
    QComboBox *cboUnidad = nullptr;
    QComboBox *cboIdUnidad = nullptr;
    QLabel *lblCatalogo = nullptr;
    QComboBox *cboCatalogo = nullptr;
    QComboBox *cboIdCatalogo = nullptr;
    QLabel *lblEstado = nullptr;
    QLabel *lblEstadoValor = nullptr;
    QLineEdit *txtEstadoMerc = nullptr;
    QLabel *lblRango = nullptr;
    QLineEdit *txtPRECIO_RANGO = nullptr;
    QLabel *lblRangoUnidad = nullptr;
    QLabel *Lbl_Marca = nullptr;
    QLineEdit *txt_Marca = nullptr;
    QLabel *lblReglas = nullptr;
    QTableWidget *GridUnidDecl = nullptr;
    QLabel *lblReglasHint = nullptr;
    QLabel *lblHint = nullptr;

    bool m_closing = false; // GrabarySalir running for the close box

    // What a list that could not be read saves: the value stored before, untouched.
    bool m_unitsRead = false;
    bool m_cataloguesRead = false;
    QString m_storedUnit;
    QString m_storedCatalogue;
};
