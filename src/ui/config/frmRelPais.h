#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

// Relates an origin text of the invoices to a country of the MARIA system (a row of ORG).
// Driven by F11 (save) and Escape (leave); the caller sets sPaisProceso, calls Form_Load, shows
// it and reads sPaisMaria, which only a successful save sets.
class frmRelPais : public QDialog {
    Q_OBJECT
public:
    explicit frmRelPais(QWidget *parent = nullptr);

    QString sPaisProceso() const { return m_sPaisProceso; }
    void setsPaisProceso(const QString &text) { m_sPaisProceso = text; }
    QString sPaisMaria() const { return m_sPaisMaria; }
    void setsPaisMaria(const QString &code) { m_sPaisMaria = code; }

    void Form_Load();
    void f_Grabar();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool handleKey(int key);
    // The selected country's position; -1 when the combo's text is not a chosen entry.
    int chosenCountry() const;

    QString m_sPaisProceso;
    QString m_sPaisMaria;

    QLabel *Label1 = nullptr;
    QLineEdit *txtValor = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cboPais = nullptr;
    QComboBox *cboidPais = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtESM = nullptr;
    QLabel *Label4 = nullptr;
};
