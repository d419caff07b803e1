#pragma once

#include <QDialog>

class ClCntrl;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

// The tariff position lookup ("Buscar Posición"), opened by the record editor with F6. Enter on a
// found position writes it into the editor's position box and closes the window.
class FrmPosicion : public QDialog {
    Q_OBJECT
  public:
    // editorPosition: the editor's position box; its first 10 characters start the search text.
    explicit FrmPosicion(QLineEdit *editorPosition, QWidget *parent = nullptr);

    // Lists the positions whose [001] begins with the search text (points match any run).
    void Buscar();
    // Shows the descriptions and the suffixes of a position text.
    void MostrarDatos(const QString &position);
    // Gives the list the focus when it has lines, else the search box.
    void Form_Activate();

  protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    // The window's own keys (Esc, Ctrl+C); true when the key was taken.
    bool windowKey(const QKeyEvent *key);
    void ElegirPosicion();

    QLineEdit *m_editorPosition = nullptr;
    QLabel *lbNCMF = nullptr;
    QLineEdit *TxtNCMF = nullptr;
    QLabel *lbNCM = nullptr;
    QListWidget *LstNCM = nullptr;
    QLabel *lbDescripcionTitulo = nullptr;
    QPlainTextEdit *LbDescripcion = nullptr;
    QLabel *lbSufijos = nullptr;
    QListWidget *LstSufijos = nullptr;
    ClCntrl *m_cntrl = nullptr;
};
