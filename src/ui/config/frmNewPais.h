#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

// Adds one declared-unit rule (NCMDEC). A saved rule is handed back through the shared values
// sNewRuleNcm and sNewRuleUnit; both stay empty otherwise.
class frmNewPais : public QDialog {
    Q_OBJECT
  public:
    explicit frmNewPais(QWidget *parent = nullptr);

    void AgregarRelacionPaisOrigen();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void Form_Load();
    bool handleKey(int key);

    QLabel *lblNCM = nullptr;
    QLineEdit *txtNCM = nullptr;
    QLabel *lblUnidad = nullptr;
    QComboBox *cboUnidad = nullptr;
    QComboBox *cboIdUnidad = nullptr;
    QLabel *lblHint = nullptr;
};
