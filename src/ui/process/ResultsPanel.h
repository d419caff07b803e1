#pragma once

#include <QFrame>
#include <QPointer>

class QLabel;
class QPushButton;
class frmDEP;

// Step 3 of the wizard (FRAM3): the six counts, the record lists and the control printouts.
class ResultsPanel : public QFrame {
    Q_OBJECT
public:
    explicit ResultsPanel(QWidget *parent = nullptr);

    // Fills the six counts of the current shipment. Errors reach the caller.
    void FRAM3_CargarEstadisticas();

    // The record lists window while it is open; null once the operator closes it.
    frmDEP *recordList() const;

private:
    QLabel *countLabel(const char *name, const QString &caption, int row);
    void showRecordList(int mode);
    // After the record editor closed: the counts again when it saved.
    void refreshAfterSave();

    QLabel *Label6 = nullptr;
    QLabel *FRAM3_lbTotal = nullptr;
    QLabel *FRAM3_lbErroneos = nullptr;
    QLabel *FRAM3_lbErrPos = nullptr;
    QLabel *FRAM3_lbErrSuf = nullptr;
    QLabel *FRAM3_lbEnCatalogo = nullptr;
    QLabel *FRAM3_lbNuevos = nullptr;
    QLabel *Label5 = nullptr;
    QPushButton *FRAM3_cmdRegErr = nullptr;
    QPushButton *FRAM3_cmdRegOk = nullptr;
    QLabel *Label19 = nullptr;
    QPushButton *FRAM3_cmdRepErr = nullptr;
    QPushButton *FRAM3_cmdRepOK = nullptr;

    QPointer<frmDEP> m_frmDEP;
};
