#pragma once

#include "review/GroupCorrection.h"
#include "review/RecordEdit.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The record editor: corrects one article row of the current shipment. Its Tag is the row order
// as the record list shows it ("0007"). F11 validates and saves, Escape leaves, Enter in the
// position box checks the position, F6 there opens the position lookup.
// The position Tag, the LAPI Tag and the specific-duty Tag are kept as the "Tag" property of
// txtPRCNCM, lbPRCLAP and txtPRCSCA.
class frmModificar : public QDialog {
    Q_OBJECT
  public:
    using SuffixVerifier =
        std::function<QString(const QString &NCM, QString &SufijoAnt, int Modificar, QString &p_Articulo)>;

    explicit frmModificar(QWidget *parent = nullptr);

    void setTag(const QString &tag) { m_tag = tag; }
    QString tag() const { return m_tag; }
    // Two or more rows make a group correction ("Modificar (N registros)"); one row is the editor
    // as setTag opens it.
    void setTags(const QStringList &tags);
    bool isGroup() const { return m_tags.size() > 1; }
    // What the operator set in a group correction: the fields changed since loading, the position
    // (with its unit, LAPI mark and suffixes) once processed.
    groupcorrection::Changes changes() const;

    void CargarDatos();
    bool VerificarDatos();
    void GrabarDatos();
    QString ProcesarNCM(QString &p_NCM, const QString &p_Articulo);
    // The group's F11: the changes applied to every row through the editor's checks and save, then
    // one message with the rows saved and refused.
    void GrabarGrupo();
    // F8: the history of the row (the first of a group), newest first.
    void MostrarHistorial();

    // The suffix verification run when a position is processed; replaceable for tests.
    SuffixVerifier verificarSufijos;

  protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    // The row as the controls hold it now.
    recordedit::Draft draft() const;
    bool handleWindowKey(int key);
    void loadOnce();
    void CargarGrupo();
    void abrirPosicion();
    QLabel *label(const QString &caption, QWidget *buddy, int x, int y, int w, QWidget *parent);
    QLineEdit *lineEdit(const char *name, int x, int y, int w, QWidget *parent);

    QString m_tag;
    bool m_loaded = false;
    // The position (commas read as points) that txtPRCNCM's Tag belongs to.
    QString m_tagPosition;

    QStringList m_tags;
    // The group's article code when every row shares it, for the suffix prompts; else empty.
    QString m_groupArticle;
    bool m_groupProcessed = false;
    // The editable fields as loaded, so that only what the operator changes is applied.
    struct Initial {
        QString position, statisticalQuantity, declaredUnit, goodsState, descripcionMaria;
        int country = -1;
    } m_initial;
    QLabel *lbRegistros = nullptr;

    QGroupBox *Frame1 = nullptr;
    QLineEdit *txtARTNRO = nullptr;
    QLineEdit *txtARTDSC = nullptr;
    QLineEdit *txtARTORG = nullptr;
    QLineEdit *txtARTCAN = nullptr;
    QLineEdit *txtARTUNI = nullptr;
    QLineEdit *txtARTTOT = nullptr;
    QLabel *lbEstado = nullptr;

    QGroupBox *Frame2 = nullptr;
    QLineEdit *txtPRCNCM = nullptr;
    QLabel *lbPRCEUN = nullptr;
    QLineEdit *txtPRCECA = nullptr;
    QLabel *lbPRCSUN = nullptr;
    QLineEdit *txtPRCSCA = nullptr;
    QLineEdit *txtPRCDUN = nullptr;
    QLineEdit *txtPRCESM = nullptr;
    QComboBox *cboPRCORI = nullptr;
    QComboBox *cboidPRCORI = nullptr;
    QPlainTextEdit *txtPRCSUF = nullptr;
    QLineEdit *txtARTDSCMARIA = nullptr;
    QLabel *lbPRCLAP = nullptr;
    QLabel *Label17 = nullptr;
    int m_labelCount = 0;
};
