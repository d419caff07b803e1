#pragma once

#include "shared/Progress.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class ShipmentList;
class SheetPanel;
class ResultsPanel;

// The main window: start-up and the three-step wizard.
class frmMain : public QWidget, public Progress {
    Q_OBJECT
public:
    // programFolder holds db/; the program passes its own folder.
    explicit frmMain(const QString &programFolder, QWidget *parent = nullptr);

    // The start-up sequence; run once before the window is shown.
    void Form_Load();
    void MAIN_CambiarPaso();
    bool FRAM2_GuardarDatosToBase();
    void FRM3_Tranferir();

    ShipmentList *fram1() const { return FRAM1; }
    SheetPanel *fram2() const { return FRAM2; }
    ResultsPanel *fram3() const { return FRAM3; }
    // The already-processed mark held in the Tag of cmdSiguiente.
    QString siguienteTag() const;

    // Progress
    void setCaption(const QString &caption) override;
    QString caption() const override;
    void setMinimum(int minimum) override;
    void setMaximum(int maximum) override;
    int maximum() const override;
    void setValue(int value) override;
    int value() const override;
    void setBarVisible(bool visible) override;
    bool barVisible() const override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showStep(QWidget *frame, const QString &number, const QString &description);
    void onWorkbookLoaded();
    void cmdConfig_Click();

    QString m_programFolder;
    QLabel *Label1 = nullptr;
    QLabel *lbPasoNro = nullptr;
    QLabel *lbPasoDesc = nullptr;
    QLabel *lbVersion = nullptr;
    QLabel *Main_lbMensaje = nullptr;
    QProgressBar *Main_PrB = nullptr;
    QPushButton *cmdConfig = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *cmdSiguiente = nullptr;
    QStackedWidget *m_frames = nullptr;
    ShipmentList *FRAM1 = nullptr;
    SheetPanel *FRAM2 = nullptr;
    ResultsPanel *FRAM3 = nullptr;
};
