#pragma once

#include <QDialog>
#include <QStringList>

class ClCntrl;
class QGroupBox;
class QListWidget;

// The suffix chooser ("Carga de Sufijos"): one option of an option code. Enter or a double click
// hands the selected line back through shared().sChooserSelection and closes; closing the window
// otherwise leaves the selection as the caller left it (empty).
class FrmCargaSufijos : public QDialog {
    Q_OBJECT
  public:
    explicit FrmCargaSufijos(QWidget *parent = nullptr);

    // Shows the list frame and replaces the list's lines.
    void CargarOpciones(const QStringList &lines);
    // The input-control helper linked to LstOpcion.
    ClCntrl *cntrl() const { return m_cntrl; }
    QListWidget *list() const { return LstOpcion; }

    // Selects the first line when the list has lines and none is selected.
    void Form_Activate();

  protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    void ElegirOpcion();

    QGroupBox *FrmList = nullptr;
    QListWidget *LstOpcion = nullptr;
    ClCntrl *m_cntrl = nullptr;
};
