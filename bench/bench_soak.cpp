// Soak: one program instance processes and transfers a 1,000-row invoice 200 times (the transfer
// replacing the shipment from the second cycle on). Resident memory at the last cycle is compared
// with cycle 20 (the baseline, once caches and files have reached their working size); open file
// descriptors and database connections must not grow.
//
//   bench_soak [--small] [--cycles N] [--rows N]
//
// --small: 8 cycles of 200 rows, baseline at cycle 4, figures printed without a goal.
#include "data/EDMain.h"
#include "data/PRINC.h"
#include "data/clEntorno.h"
#include "data/clGestor.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>

namespace {

const QString kShipment = QStringLiteral("S1");

struct Quiet : Interaction {
    int messages = 0;
    QString last;
    Answer message(const QString &text, Icon, Buttons buttons, const QString &) override
    {
        ++messages;
        last = text;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return {}; }
    void setBusy(bool) override {}
};

struct NoProgress : Progress {
    void setCaption(const QString &c) override { m_caption = c; }
    QString caption() const override { return m_caption; }
    void setMinimum(int) override {}
    void setMaximum(int v) override { m_max = v; }
    int maximum() const override { return m_max; }
    void setValue(int v) override { m_value = v; }
    int value() const override { return m_value; }
    void setBarVisible(bool v) override { m_visible = v; }
    bool barVisible() const override { return m_visible; }
    int m_value = 0;
    bool m_visible = false;
    QString m_caption;
    int m_max = 0;
};

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Catalogue articles that grade OK: a position of the demo nomenclator with its valid suffixes.
bool generateCatalogue(const QString &file, int rows)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gen"));
        db.setDatabaseName(file);
        ok = db.open();
        QSqlQuery q(db);
        db.transaction();
        q.prepare(QStringLiteral(
            "insert into catarticulos (idcatalogo, idarticulo, descripcion, idpais, ncm, lapi, sufijos, "
            "idunidad, estadistica, estadomerc, deresp, descripcion_maria) values "
            "('001', ?, ?, '310', '8205.20.00.000K', '', ?, '07', '07', '1', '', ?)"));
        for (int r = 0; ok && r < rows; ++r) {
            const QString code = QString::asprintf("SK%05d", r);
            q.addBindValue(code);
            q.addBindValue(QStringLiteral("MARTILLO ") + code);
            q.addBindValue(QStringLiteral("AA(ACME)-AB(%1)-JD01").arg(code));
            q.addBindValue(QStringLiteral("MARTILLO DE ACERO ") + code);
            ok = q.exec();
            if (!ok) std::fprintf(stderr, "catarticulos: %s\n", qPrintable(q.lastError().text()));
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen"));
    return ok;
}

void fillGrid(SheetGridModel &grid, int rows)
{
    namespace fl = fieldlabels;
    QVector<QStringList> cells;
    cells << QStringList{"Codigo", "Descripcion", "Cantidad", "Total", "Origen", "Kg"};
    cells << QStringList{fl::CodArticulo, fl::DescrModelo, fl::Cantidad, fl::PTotal, fl::Origen, fl::KgNeto};
    for (int r = 0; r < rows; ++r)
        cells << QStringList{QString::asprintf("SK%05d", r), QString(), QString::number(1 + r % 9),
                             QString::number(5.5 + r * 0.75, 'f', 2), QStringLiteral("310"),
                             QString::number(0.25 * (1 + r % 8), 'f', 2)};
    grid.resize(int(cells.size()), int(cells.first().size()));
    grid.paste(0, cells);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool small = args.contains(QStringLiteral("--small"));
    int cycles = small ? 8 : 200;
    int rows = small ? 200 : 1000;
    const qsizetype c = args.indexOf(QStringLiteral("--cycles"));
    if (c > 0 && c + 1 < args.size()) cycles = std::max(2, args[c + 1].toInt());
    const qsizetype r = args.indexOf(QStringLiteral("--rows"));
    if (r > 0 && r + 1 < args.size()) rows = std::max(1, args[r + 1].toInt());
    const int baseline = small ? std::max(1, cycles / 2) : std::min(20, cycles);

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("db"));
    const QDir source(QStringLiteral(PLANEXO_PRISTINE_DB_DIR));
    for (const QString &name : source.entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}, QDir::Files))
        QFile::copy(source.filePath(name), dir.filePath(QStringLiteral("db/") + name));
    if (!generateCatalogue(dir.filePath(QStringLiteral("db/calvera_internos.sqlite")), rows)) return 1;

    SharedState &s = shared();
    s.programFolder = dir.path();
    s.gestor = std::make_unique<oAlm::clGestor>();
    s.fmt = std::make_unique<cFMTX::PRINC>();
    s.entorno = std::make_unique<oENTX::clEntorno>();
    s.enlace = std::make_unique<EnlaceDatos::EDMain>(dir.path());
    s.enlace->LoadParameters();
    s.gestor->CadenaConexion = oAlm::clGestor::connectionStringFor(dir.path());
    s.gestor->Conectar();
    s.PRCESM = QStringLiteral("1");
    s.INTCAT = QStringLiteral("001");
    s.INTDUN = QStringLiteral("07");
    s.AA_MARCA = QStringLiteral("GENERICA");
    s.sInternoActual = kShipment;
    s.gestor->Sql = QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('S1', 'SOAK')");
    s.gestor->Ejecutar();

    Quiet quiet;
    setInteraction(&quiet);
    NoProgress progress;
    SheetGridModel grid;
    fillGrid(grid, rows);
    const QString done = QStringLiteral("Se transfirio %1 articulos en el interno S1").arg(rows);

    std::printf("soak: %d cycles of process and transfer, %d rows\n", cycles, rows);
    std::printf("%6s %10s %6s %6s %9s\n", "cycle", "RSS KiB", "fds", "conns", "ms/cycle");
    long rssBase = 0, rssLast = 0;
    int fdsBase = 0, fdsLast = 0, connsBase = 0, connsLast = 0;
    QElapsedTimer timer;
    timer.start();
    qint64 lastMark = 0;
    int lastShown = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        {
            ProcessDriver driver(s, progress);
            quiet.messages = 0;
            if (!driver.FRAM2_GuardarDatosToBase(grid) || quiet.messages != 0) {
                std::fprintf(stderr, "cycle %d: the process did not complete: %s\n", cycle, qPrintable(quiet.last));
                return 1;
            }
        }
        // Stands for the editor: every row the check did not pass is saved as corrected.
        s.gestor->Sql = QStringLiteral(
            "update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'S1' and (PRCCRC <> 'OK' or PRCCRC is null)");
        s.gestor->Ejecutar();
        {
            TransferDriver transfer(s, progress);
            transfer.FRM3_Tranferir();
            if (quiet.last != done) {
                std::fprintf(stderr, "cycle %d: the transfer did not complete: %s\n", cycle, qPrintable(quiet.last));
                return 1;
            }
        }
        const long rss = residentKiB();
        const int fds = openFiles();
        const int conns = int(QSqlDatabase::connectionNames().size());
        if (cycle == baseline) {
            rssBase = rss;
            fdsBase = fds;
            connsBase = conns;
        }
        rssLast = rss;
        fdsLast = fds;
        connsLast = conns;
        const bool show = cycle == 1 || cycle == baseline || cycle == cycles || cycle % 20 == 0;
        if (show) {
            const qint64 now = timer.elapsed();
            std::printf("%6d %10ld %6d %6d %9.0f\n", cycle, rss, fds, conns,
                        double(now - lastMark) / (cycle - lastShown));
            lastMark = now;
            lastShown = cycle;
        }
        std::fflush(stdout);
    }
    const double growth = rssBase > 0 ? double(rssLast) / double(rssBase) : 0;
    std::printf("RSS cycle %d / cycle %d: %.3f (%+ld KiB); fds %d -> %d; connections %d -> %d; %.1f s\n", cycles,
                baseline, growth, rssLast - rssBase, fdsBase, fdsLast, connsBase, connsLast,
                timer.elapsed() / 1000.0);
    setInteraction(nullptr);
    resetShared();
    if (small) return 0;
    const bool ok = growth <= 1.05 && fdsLast <= fdsBase && connsLast <= connsBase;
    std::printf("%s\n", ok ? "ok" : "GROWS");
    return ok ? 0 : 3;
}
