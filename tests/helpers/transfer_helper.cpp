// One workstation's transfer, for the tests that run two at once against one server:
//   planexo_transfer_helper PROGRAM_FOLDER SHIPMENT CATALOGUE [GO_FILE]
// connects as start-up does, waits until GO_FILE exists (so that two instances start together),
// transfers the shipment answering Yes to the replacement question, prints every message and the
// number of catalogue inserts and updates it ran, and exits 0 when the closing count was reported.
// Before its first catalogue lookup it creates GO_FILE.SHIPMENT and waits for GO_FILE.cat, so that
// the catalogue updates of two instances start together too.
#include "data/PlanexoError.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <cstdio>

namespace {

class PrintingInteraction : public Interaction {
  public:
    Answer message(const QString &text, Icon, Buttons buttons, const QString &) override
    {
        std::printf("message: %s\n",
                    qPrintable(QString(text).replace(QLatin1String("\r\n"), QLatin1String(" | "))));
        std::fflush(stdout);
        messages << text;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return {}; }
    void setBusy(bool) override {}
    QStringList messages;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: planexo_transfer_helper PROGRAM_FOLDER SHIPMENT CATALOGUE [GO_FILE]\n");
        return 2;
    }
    PrintingInteraction printing;
    setInteraction(&printing);
    SharedState &s = shared();
    try {
        s.programFolder = args[1];
        s.gestor = std::make_unique<oAlm::clGestor>();
        s.fmt = std::make_unique<cFMTX::PRINC>();
        s.entorno = std::make_unique<oENTX::clEntorno>();
        s.enlace = std::make_unique<EnlaceDatos::EDMain>(args[1]);
        s.enlace->LoadParameters();
        s.gestor->CadenaConexion = oAlm::clGestor::connectionStringFor(args[1]);
        s.gestor->Conectar();
        s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
    } catch (const PlanexoError &e) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(e.description()));
        return 1;
    }
    s.sInternoActual = args[2];
    s.INTCAT = args[3];
    if (args.size() > 4)
        while (!QFile::exists(args[4]))
            QThread::msleep(1);
    int inserts = 0, updates = 0;
    QuietProgress progress;
    TransferDriver driver(s, progress);
    const QString go = args.value(4);
    bool aligned = go.isEmpty();
    driver.setStatementObserver([&](const QString &statement) {
        if (!aligned && statement.startsWith(QLatin1String("select idarticulo from catarticulos"))) {
            QFile(go + QLatin1Char('.') + args[2]).open(QIODevice::WriteOnly);
            while (!QFile::exists(go + QStringLiteral(".cat")))
                QThread::msleep(1);
            aligned = true;
        }
        if (statement.startsWith(QLatin1String("insert into CATARTICULOS")))
            ++inserts;
        else if (statement.startsWith(QLatin1String("update CATARTICULOS")))
            ++updates;
    });
    driver.FRM3_Tranferir();
    std::printf("catalogue inserts: %d updates: %d\n", inserts, updates);
    setInteraction(nullptr);
    const bool done = progress.caption() == QLatin1String("Fin de proceso") &&
                      printing.messages.size() == 1 &&
                      printing.messages.first().startsWith(QLatin1String("Se transfirio "));
    resetShared();
    return done ? 0 : 1;
}
