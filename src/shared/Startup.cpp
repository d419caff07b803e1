#include "shared/Startup.h"

#include "data/VbFormat.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"

#include <QCoreApplication>

namespace startup {

void openComponents(SharedState &s, const QString &programFolder, int &step)
{
    step = 20;
    // The components hold Qt SQL connections, which must close while the application and Qt's
    // registry of connections still exist: they go with the application, not with the statics
    // that outlive it.
    static bool releasedWithApplication = false;
    if (!releasedWithApplication && QCoreApplication::instance()) {
        qAddPostRoutine(resetShared);
        releasedWithApplication = true;
    }
    s.programFolder = programFolder;
    s.gestor = std::make_unique<oAlm::clGestor>();
    step = 30;
    s.fmt = std::make_unique<cFMTX::PRINC>();
    step = 40;
    s.entorno = std::make_unique<oENTX::clEntorno>();
    step = 41;
    s.enlace = std::make_unique<EnlaceDatos::EDMain>(programFolder);
    step = 70;
    s.enlace->LoadParameters();
    step = 80;
    s.gestor->CadenaConexion = oAlm::clGestor::connectionStringFor(programFolder);
    step = 90;
    s.gestor->Conectar();
}

void readDefaults(SharedState &s, int &step)
{
    step = 110;
    s.INTDUN = settings::read(QStringLiteral("INTDUN"));
    step = 120;
    s.INTCAT = settings::read(QStringLiteral("INTCAT"));
    step = 130;
    s.PRCESM = settings::read(QStringLiteral("PRCESM"));
    step = 135;
    s.AA_MARCA = settings::read(QStringLiteral("AA_MARCA"));
    step = 140;
    s.PRECIO_UNITARIO = vb::cdbl(settings::read(QStringLiteral("PRECIO_UNITARIO"), QStringLiteral("0")));
}

} // namespace startup
