#pragma once

#include "data/EDMain.h"
#include "data/PRINC.h"
#include "data/clEntorno.h"
#include "data/clGestor.h"

#include <QString>
#include <memory>

// The shared values of the run, in one place.
struct SharedState {
    // Long-lived components, created at start-up.
    std::unique_ptr<oAlm::clGestor> gestor;
    std::unique_ptr<cFMTX::PRINC> fmt;
    std::unique_ptr<oENTX::clEntorno> entorno;
    std::unique_ptr<EnlaceDatos::EDMain> enlace;

    // Process defaults from the settings store.
    QString INTDUN;
    QString INTCAT;
    QString PRCESM;
    QString AA_MARCA;
    double PRECIO_UNITARIO = 0;

    QString sInternoActual;
    qint16 iPaso = 0;
    QString sRetorno;
    bool bInternoNuevo = false;
    int iModoLista = 0;
    QString sChooserSelection;   // the suffix chooser's answer
    QString sNewRuleNcm;         // the declared-unit rule just saved
    QString sNewRuleUnit;

    // The program folder: db/ lies below it.
    QString programFolder;
};

// The one instance of the shared values.
SharedState &shared();
// Drops the components and resets every value (tests start each case from here).
void resetShared();
