// Storage that fails under the program: a work database on a network folder, and the sweep that
// breaks every write, sync, truncate and open of the demo road (process, editor saves, transfer,
// replacing transfer) one at a time, and checks what each failure keeps; with Calvera on a
// PostgreSQL server (the _pg run), the link cut at each round trip instead.
//
// PLANEXO_FAULT_SWEEP=full breaks every call; without it a sample of each kind's calls.
// PLANEXO_FAULT_DIFF=1 prints the rows by which a run's end differs from the clean run's.
#include "DelayProxy.h"
#include "common/FaultVfs.h"
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/FileSystemKind.h"
#include "data/History.h"
#include "data/DataConnection.h"
#include "data/clGestor.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "lote/Lote.h"
#include "process/ProcessDriver.h"
#include "review/RecordEdit.h"
#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "transfer/TransferDriver.h"
#include "ui/review/frmModificar.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextStream>
#include <QtTest>

#include <unistd.h>

#include <set>

using faultvfs::Fault;
using faultvfs::Op;

namespace {

const QString kShipment = QStringLiteral("F1");
const QString kWork = QStringLiteral("PlanexoGenericoOstrova.sqlite");
const QStringList kDatabases = {kWork, QStringLiteral("calvera_internos.sqlite"),
                                QStringLiteral("calvera_ncm.sqlite")};

// Records every message; answers the replacement question with yes.
struct RecordingInteraction : Interaction {
    struct Shown {
        QString text;
        Icon icon;
    };
    QList<Shown> shown;
    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &) override
    {
        shown << Shown{text, icon};
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return {}; }
    void setBusy(bool) override {}
};

// Standard error of this process while it lives, read back by text().
class StderrCapture {
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        QFile f(m_file.fileName());
        f.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(f.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0) return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

void configure()
{
    SharedState &s = shared();
    s.INTCAT = QStringLiteral("001");
    s.PRCESM = QStringLiteral("1");
    s.INTDUN = QStringLiteral("07");
    s.AA_MARCA = QStringLiteral("GENERICA");
    s.sInternoActual = kShipment;
}

// The demo-sized invoice: 40 rows, a third of them catalogue articles (valid, wrong position,
// wrong suffixes), the rest new.
void fillInvoice(SheetGridModel &grid)
{
    namespace fl = fieldlabels;
    const QStringList found = {QStringLiteral("MT-500"), QStringLiteral("DS-PH2"), QStringLiteral("TL-13"),
                               QStringLiteral("LL-10"),  QStringLiteral("MT-300"), QStringLiteral("CB-2X15")};
    QVector<QStringList> cells;
    cells << QStringList{"Codigo", "Descripcion", "Cantidad", "Total", "Origen", "Kg"};
    cells << QStringList{fl::CodArticulo, fl::DescrModelo, fl::Cantidad, fl::PTotal, fl::Origen, fl::KgNeto};
    for (int r = 0; r < 40; ++r) {
        const QString code = r % 3 == 0 ? found[(r / 3) % found.size()] : QString::asprintf("NEW-%02d", r);
        cells << QStringList{code, QStringLiteral("ARTICULO %1").arg(r), QString::number(1 + r % 7),
                             QString::number(10.5 + r * 3.25, 'f', 2), QStringLiteral("310"),
                             QString::number(0.5 + r % 5, 'f', 1)};
    }
    grid.resize(int(cells.size()), int(cells.first().size()));
    grid.paste(0, cells);
}

// A query's column names and rows, on the work database or on Calvera's INTERNOS.
using Reader = std::function<bool(bool calvera, const QString &query, QStringList &names,
                                  QVector<QVector<QVariant>> &rows)>;

// Every row of the tables the road writes, both databases, sorted and without surrogate ids: two
// states are the same exactly when these texts are. Empty when a read fails.
QString snapshotWith(const Reader &read)
{
    QString out;
    auto dump = [&](bool calvera, const QString &table, const QString &condition) {
        QStringList rows;
        QStringList names;
        QVector<QVector<QVariant>> values;
        if (!read(calvera, QStringLiteral("select * from %1 %2").arg(table, condition), names, values))
            return false;
        for (const auto &row : values) {
            QStringList cells;
            for (int i = 0; i < row.size(); ++i)
                if (names.value(i).compare(QLatin1String("id"), Qt::CaseInsensitive) != 0)
                    cells << (row[i].isNull() ? QStringLiteral("<null>") : row[i].toString());
            rows << table + QLatin1Char(':') + cells.join(QLatin1Char('|'));
        }
        rows.sort();
        out += table + QStringLiteral("\n") + rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
        return true;
    };
    bool ok = dump(false, QStringLiteral("INTN"), {}) && dump(false, QStringLiteral("ART"), {}) &&
              dump(false, QStringLiteral("ORG"), {});
    for (const char *table : {"caratula", "subitems", "facturas"})
        ok = ok && dump(true, QLatin1String(table), QStringLiteral("where interno = 'F1'"));
    ok = ok && dump(true, QStringLiteral("catarticulos"), QStringLiteral("where idcatalogo = '001'"));
    return ok ? out : QString();
}

// Through the program's own connections (inside their transactions).
QString snapshot()
{
    return snapshotWith([](bool calvera, const QString &query, QStringList &names,
                           QVector<QVector<QVariant>> &rows) {
        SharedState &s = shared();
        DataConnection &c =
            calvera ? s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS")) : *s.gestor;
        c.Sql = query;
        try {
            c.CrearFilas(names, rows);
        } catch (const PlanexoError &) {
            return false;
        }
        return true;
    });
}

// Connections of their own to both files, which see only what was committed.
class Watcher {
public:
    explicit Watcher(const TestEnv &env)
    {
        open(QStringLiteral("watch-work"), env.dbFile(kWork));
        open(QStringLiteral("watch-cal"), env.dbFile(QStringLiteral("calvera_internos.sqlite")));
        committed(); // opens the files (and a log) before any call is counted
    }
    ~Watcher()
    {
        for (const char *name : {"watch-work", "watch-cal"}) {
            QSqlDatabase::database(QLatin1String(name), false).close();
            QSqlDatabase::removeDatabase(QLatin1String(name));
        }
    }
    QString committed()
    {
        return snapshotWith([](bool calvera, const QString &query, QStringList &names,
                               QVector<QVector<QVariant>> &rows) {
            QSqlQuery q(QSqlDatabase::database(calvera ? QStringLiteral("watch-cal") : QStringLiteral("watch-work"), false));
            if (!q.exec(query)) return false;
            for (int i = 0; i < q.record().count(); ++i)
                names << q.record().fieldName(i);
            while (q.next()) {
                QVector<QVariant> row;
                for (int i = 0; i < names.size(); ++i)
                    row << q.value(i);
                rows << row;
            }
            return !q.lastError().isValid();
        });
    }

private:
    static void open(const QString &name, const QString &file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        db.open();
    }
};

// The rows of one table's section of a snapshot.
QStringList section(const QString &state, const QString &table)
{
    QStringList rows;
    for (const QString &line : state.split(QLatin1Char('\n')))
        if (line.startsWith(table + QLatin1Char(':'))) rows << line;
    return rows;
}

// PRAGMA integrity_check of a database file, through a connection of its own.
QString integrity(const QString &file)
{
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("integrity"));
        db.setDatabaseName(file);
        if (!db.open()) return db.lastError().text();
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA integrity_check"))) result = q.lastError().text();
        while (q.next())
            result += q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("integrity"));
    return result;
}

// Texts SQLite gives for storage that fails; on a server, any failure the program names the server in.
bool storageText(const QString &description)
{
    if (TestEnv::onServer() && description.contains(QLatin1String(" [entidad "))) return true;
    return description.contains(QLatin1String("disk I/O error")) ||
           description.contains(QLatin1String("database or disk is full")) ||
           description.contains(QLatin1String("unable to open database file"));
}

enum class Step { Process, Editor, Transfer, Replace };
const char *stepName(Step step)
{
    static const char *names[] = {"process", "editor", "transfer", "replacing transfer"};
    return names[int(step)];
}

struct Outcome {
    bool failed = false;   // the step reported a failure
    QString problem;       // a message that is not the Part's, or a failure without one
};

// The rows the editor corrects: those the clean process leaves without an OK grade.
QList<int> g_editorRows;

recordedit::Draft draftFor(int row)
{
    recordedit::Draft d;
    d.position = d.processedPosition = QStringLiteral("8205.20.00.000K");
    d.unit = d.declaredUnit = QStringLiteral("07");
    d.quantity = d.statisticalQuantity = QString::number(1 + (row - 1) % 7);
    d.goodsState = QStringLiteral("1");
    d.suffixes = QStringLiteral("AA(GENERICA)-AB(ROW %1)-JD01-").arg(row);
    d.lapi = QStringLiteral("N");
    d.descripcionMaria = QStringLiteral("CORREGIDO %1").arg(row);
    return d;
}

// True while the statement about to run is one of the process's stage 1, whose delete and inserts
// are one transaction: a failure there undoes them all, the rows written before it included.
bool g_inStageOne = false;

// Runs one step of the road; `observe` sees the state before each statement.
Outcome runStep(Step step, const std::function<void()> &observe)
{
    SharedState &s = shared();
    RecordingInteraction ui;
    Interaction *previous = setInteraction(&ui);
    RecordingProgress progress;
    Outcome o;
    g_inStageOne = false;
    auto observer = [&](const QString &statement) {
        g_inStageOne = step == Step::Process && (statement.startsWith(QLatin1String("delete from ART ")) ||
                                                 statement.startsWith(QLatin1String("insert into ART ")));
        if (observe) observe();
    };
    static const QRegularExpression processReport(
        QStringLiteral("^(.*)\r\n\r\n-?\\d+ - seccion \\[Planexo\\.frmMain\\.FRAM2_GuardarDatosToBase\\]:: \\d+"),
        QRegularExpression::DotMatchesEverythingOption);
    switch (step) {
    case Step::Process: {
        SheetGridModel grid;
        fillInvoice(grid);
        ProcessDriver driver(s, progress);
        driver.setStatementObserver(observer);
        o.failed = !driver.FRAM2_GuardarDatosToBase(grid);
        if (o.failed) {
            const auto m = ui.shown.size() == 1 ? processReport.match(ui.shown[0].text)
                                                : QRegularExpressionMatch();
            if (!m.hasMatch() || ui.shown[0].icon != Interaction::Icon::Critical || !storageText(m.captured(1)))
                o.problem = QStringLiteral("message: ") +
                            (ui.shown.isEmpty() ? QStringLiteral("(none)") : ui.shown.last().text);
        } else if (!ui.shown.isEmpty()) {
            o.problem = QStringLiteral("unexpected message: ") + ui.shown.first().text;
        }
        break;
    }
    case Step::Editor:
        for (int row : g_editorRows) {
            if (observe) observe();
            try {
                if (!recordedit::save(s, draftFor(row), QString::number(row), history::kEditor))
                    o.problem = QStringLiteral("row %1 not saved").arg(row);
            } catch (const PlanexoError &e) {
                o.failed = true;
                if (!storageText(e.description())) o.problem = QStringLiteral("error: ") + e.description();
                break;
            }
        }
        break;
    case Step::Transfer:
    case Step::Replace: {
        TransferDriver driver(s, progress);
        driver.setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(23, 0, 0)); });
        driver.setStatementObserver(observer);
        driver.FRM3_Tranferir();
        const QString done = QStringLiteral("Se transfirio 40 articulos en el interno F1");
        o.failed = ui.shown.isEmpty() || ui.shown.last().text != done;
        if (o.failed) {
            static const QStringList locations = {
                QStringLiteral(" - seccion [Planexo.FRAM3_Transferir]"),
                QStringLiteral(" - seccion [Planexo.frmMain_FRAM3_Transfer_A_Validar]"),
                QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]"),
                QStringLiteral(" - seccion [Planexo.frmMain_FRAM3_Transfer_C_ActualCAT] L")};
            bool reported = false;
            for (const auto &m : ui.shown)
                for (const QString &l : locations)
                    if (m.text.contains(l) && storageText(m.text.section(QStringLiteral("\r\n\r\n"), 0, 0)))
                        reported = true;
            if (!reported)
                o.problem = QStringLiteral("message: ") +
                            (ui.shown.isEmpty() ? QStringLiteral("(none)") : ui.shown.last().text);
        }
        break;
    }
    }
    setInteraction(previous);
    return o;
}

struct Kind {
    Op op;
    Fault fault;
};
const QList<Kind> kKinds = {{Op::Write, Fault::IoError},    {Op::Write, Fault::Full},
                            {Op::Write, Fault::PowerCut},   {Op::Write, Fault::TornPowerCut},
                            {Op::Sync, Fault::IoError},     {Op::Sync, Fault::Full},
                            {Op::Sync, Fault::PowerCut},    {Op::Sync, Fault::TornPowerCut},
                            {Op::Truncate, Fault::IoError}, {Op::Truncate, Fault::Full},
                            {Op::Open, Fault::IoError},     {Op::Open, Fault::Full}};

// The k to try out of 1..K: all of them, or a sample spread over the range.
QList<int> pick(int K, bool full, int sample)
{
    QList<int> ks;
    if (K <= 0) return ks;
    if (full || K <= sample) {
        for (int k = 1; k <= K; ++k)
            ks << k;
        return ks;
    }
    std::set<int> chosen;
    for (int i = 0; i < sample; ++i)
        chosen.insert(1 + int(qint64(i) * (K - 1) / (sample - 1)));
    for (int k : chosen)
        ks << k;
    return ks;
}

// With PLANEXO_FAULT_DIFF set, the rows that only one of two states holds.
void showDifference(const QString &clean, const QString &other)
{
    if (!qEnvironmentVariableIsSet("PLANEXO_FAULT_DIFF")) return;
    const QStringList a = clean.split(QLatin1Char('\n')), b = other.split(QLatin1Char('\n'));
    for (const QString &line : a)
        if (!b.contains(line)) qInfo("clean run only: %s", qPrintable(line));
    for (const QString &line : b)
        if (!a.contains(line)) qInfo("this run only: %s", qPrintable(line));
}

// Whether a step run again ended as the clean run did. A transfer run again updates the catalogue
// rows that its broken run had inserted, as the replacing transfer updates them all: those rows may
// read as either run left them.
bool sameEnd(Step step, const QString &end, const QStringList &finals)
{
    if (end == finals[int(step)]) return true;
    if (step != Step::Transfer) return false;
    for (const char *table : {"INTN", "ART", "ORG", "caratula", "subitems", "facturas"})
        if (section(end, QLatin1String(table)) != section(finals[int(step)], QLatin1String(table)))
            return false;
    const QStringList rows = section(end, QStringLiteral("catarticulos"));
    const QStringList inserted = section(finals[int(Step::Transfer)], QStringLiteral("catarticulos"));
    const QStringList updated = section(finals[int(Step::Replace)], QStringLiteral("catarticulos"));
    if (rows.size() != inserted.size()) return false;
    for (const QString &row : rows)
        if (!inserted.contains(row) && !updated.contains(row)) return false;
    return true;
}

void copyDatabases(const QString &from, const QString &to)
{
    for (const QString &name : kDatabases) {
        QFile::remove(to + QLatin1Char('/') + name);
        QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    }
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { faultvfs::install(); }
    void cleanup()
    {
        filesystem::setProbe({});
        faultvfs::reset();
        QLocale::setDefault(QLocale::c());
    }

    // Said once on standard error however often the work database opens, and in the batch
    // command's output; the file gets the rollback journal and no -wal beside it.
    void networkFolderOpensWithRollbackJournal()
    {
        TestEnv env;
        QStringList asked;
        filesystem::setProbe([&](const QString &path) {
            asked << path;
            return filesystem::Info{filesystem::Kind::Network, QStringLiteral("nfs")};
        });
        const QString file = env.dbFile(kWork);
        StderrCapture err;
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2); // FULL
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('N1', 'red')"));
        QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
        const QString notice =
            QStringLiteral("La base de datos de trabajo '%1' está en una carpeta de red (nfs): se abre con el "
                           "diario de reversión (journal_mode=DELETE) en lugar del registro WAL, que no es "
                           "seguro en una carpeta compartida.")
                .arg(QDir::toNativeSeparators(file));
        QCOMPARE(shared().gestor->notice(), notice);
        shared().gestor->Conectar();
        QCOMPARE(err.text(), notice + QLatin1Char('\n'));
        // Asked about the database's folder; Calvera's files are never asked about or tuned.
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.first(), QFileInfo(file).absolutePath());
        QCOMPARE(env.scalarCalvera(QStringLiteral("NCM"), QStringLiteral("PRAGMA journal_mode")).toString(),
                 QStringLiteral("delete"));
        resetShared();

        // The batch command prints it in its output too.
        QString out, errors;
        QTextStream outStream(&out), errStream(&errors);
        env.setSetting(QStringLiteral("INTCAT"), QStringLiteral("001"));
        Lote lote(outStream, errStream);
        QCOMPARE(lote.run({QStringLiteral("listar"), QStringLiteral("--carpeta"), env.programFolder()}),
                 int(Lote::Ok));
        outStream.flush();
        QVERIFY2(out.startsWith(notice + QLatin1Char('\n')), qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("N1\tred")));
    }

    // A database that earlier runs left in WAL mode goes back to the rollback journal; a local disk
    // keeps (or gets) the write-ahead log and says nothing.
    void localDiskKeepsWalAndNetworkLeavesIt()
    {
        TestEnv env;
        filesystem::setProbe([](const QString &) { return filesystem::Info{}; });
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        QVERIFY(shared().gestor->notice().isEmpty());
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('W1', 'local')"));
        resetShared();

        filesystem::setProbe([](const QString &) {
            return filesystem::Info{filesystem::Kind::Network, QStringLiteral("cifs")};
        });
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
        QCOMPARE(env.scalar(QStringLiteral("select INTDSC from INTN where INTNRO = 'W1'")).toString(),
                 QStringLiteral("local"));
        QVERIFY(shared().gestor->notice().contains(QStringLiteral("(cifs)")));
    }

    // Another program holding the file open in WAL mode keeps it so: opening it from a network
    // folder is refused with a message that says why, rather than run on an unsafe log.
    void networkFolderHeldInWalElsewhereIsRefused()
    {
        TestEnv env;
        const QString file = env.dbFile(kWork);
        filesystem::setProbe([](const QString &) { return filesystem::Info{}; });
        oAlm::clGestor other;
        other.CadenaConexion = oAlm::clGestor::connectionStringFor(env.programFolder());
        other.Conectar();
        other.Sql = QStringLiteral("select count(*) from INTN");
        Recordset rs;
        other.CrearRs(rs);
        filesystem::setProbe([](const QString &) {
            return filesystem::Info{filesystem::Kind::Network, QStringLiteral("nfs")};
        });
        oAlm::clGestor mine;
        mine.CadenaConexion = other.CadenaConexion;
        try {
            mine.Conectar();
            QFAIL("a WAL database held elsewhere opened from a network folder");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(),
                     QStringLiteral("La base de datos de trabajo '%1' está en una carpeta de red (nfs) y otro "
                                    "programa la tiene abierta con el registro WAL, que allí no es seguro: "
                                    "cierre los demás programas que la usan y vuelva a intentarlo.")
                         .arg(QDir::toNativeSeparators(file)));
            QCOMPARE(e.source(), QStringLiteral("oAlm.clGestor.Conectar"));
        }
        QVERIFY(!mine.isOpen());
    }

    // The real probe: the test folder is on a local disk here (or the test says where it is not).
    void realProbeOnTheTestFolder()
    {
        QTemporaryDir dir;
        const filesystem::Info info = filesystem::of(dir.path());
        if (info.kind == filesystem::Kind::Network)
            QSKIP(qPrintable(QStringLiteral("the temporary folder is on %1").arg(info.name)));
        QVERIFY(info.name.isEmpty());
    }

    // The injecting layer itself: a power cut undoes exactly the writes since the last sync.
    void powerCutDropsWhatWasNotSynced()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("t.sqlite"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cut"));
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))); // commits never sync the log
            QVERIFY(q.exec(QStringLiteral("create table t (v)")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
            QVERIFY(q.exec(QStringLiteral("insert into t values (1)")));
            QVERIFY(q.exec(QStringLiteral("insert into t values (2)")));
            faultvfs::arm(Op::Sync, 1, Fault::PowerCut);
            QVERIFY(!q.exec(QStringLiteral("PRAGMA wal_checkpoint(FULL)")) || faultvfs::struck());
            QVERIFY(faultvfs::struck());
            QVERIFY(faultvfs::poweredOff());
            QVERIFY(!q.exec(QStringLiteral("insert into t values (3)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cut"));
        faultvfs::restart();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cut"));
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("select count(*) from t")) && q.next());
            QCOMPARE(q.value(0).toInt(), 0); // the table survived its synced checkpoint, the rows did not
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cut"));
        QCOMPARE(integrity(file), QStringLiteral("ok"));
    }

    // The engine drops a transaction whose commit failed: the work database's batch runs its
    // writes again, each on its own, so that nothing written before the failure is lost; Calvera's
    // connections are left to their own callers.
    void batchOfTheWorkDatabaseSurvivesAFailedCommit()
    {
        TestEnv env;
        env.connect();
        oAlm::clGestor &db = *shared().gestor;
        db.beginBatch();
        for (const char *n : {"B1", "B2", "B3"}) {
            db.Sql = QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('%1', 'lote')").arg(QLatin1String(n));
            db.Ejecutar();
        }
        faultvfs::arm(Op::Sync, 1, Fault::Full);
        db.commitBatch();
        QVERIFY(faultvfs::struck());
        resetShared();
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select group_concat(INTNRO) from INTN where INTDSC = 'lote'")).toString(),
                 QStringLiteral("B1,B2,B3"));

        // Without the log, as on Calvera: the commit's failure is the caller's.
        DataConnection &cal = shared().enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
        cal.beginBatch();
        cal.Sql = QStringLiteral("insert into unidades (id, descripcion) values ('99', 'PRUEBA')");
        cal.Ejecutar();
        faultvfs::arm(Op::Sync, 1, Fault::IoError);
        try {
            cal.commitBatch();
            QFAIL("the commit did not fail");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(), QStringLiteral("disk I/O error"));
        }
        cal.rollbackBatch();
        faultvfs::reset();
        QVERIFY(env.scalarCalvera(QStringLiteral("INTERNOS"), QStringLiteral("select id from unidades where id = '99'"))
                    .isNull());
    }

    // Calvera on a PostgreSQL server, its link cut at each round trip of the process and the
    // transfer (before the request reaches the server, or after, losing only the answer): the same
    // checks as the sweep's.
    void serverLinkCut()
    {
        if (!TestEnv::onServer()) QSKIP("Calvera on a PostgreSQL server only (the _pg run)");
        const bool full = qEnvironmentVariable("PLANEXO_FAULT_SWEEP") == QLatin1String("full");
        DelayProxy proxy(qEnvironmentVariable("PLANEXO_PG_HOST").toStdString(),
                         qEnvironmentVariable("PLANEXO_PG_PORT").toInt(), std::chrono::milliseconds(0));
        const int port = proxy.start();
        auto throughProxy = [&](TestEnv &env) {
            QFile ini(env.dbFile(QStringLiteral("calvera.ini")));
            QVERIFY(ini.open(QIODevice::ReadOnly));
            QString text = QString::fromUtf8(ini.readAll());
            ini.close();
            text.replace(QRegularExpression(QStringLiteral("port=\\d+")), QStringLiteral("port=%1").arg(port));
            QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ini.write(text.toUtf8());
        };
        const QList<Step> steps = {Step::Process, Step::Transfer, Step::Replace};
        QTemporaryDir before[4];
        QList<QStringList> allowed;
        QStringList finals;
        QMap<int, long> K;
        {
            TestEnv env;
            throughProxy(env);
            env.connect();
            configure();
            env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('F1', 'Fallas')"));
            shared().gestor->close(); // the log folded into the file, which is then copied whole
            copyDatabases(env.dbFile({}), before[0].path());
            shared().gestor->Conectar();
            for (Step step : {Step::Process, Step::Editor, Step::Transfer, Step::Replace}) {
                QStringList states{snapshot()};
                proxy.resetCounts();
                long watching = 0; // the snapshots' own round trips
                const Outcome o = runStep(step, [&] {
                    const long trips = proxy.roundTrips();
                    const QString now = snapshot();
                    watching += proxy.roundTrips() - trips;
                    if (states.last() != now) states << now;
                });
                QVERIFY2(!o.failed && o.problem.isEmpty(), qPrintable(QString(stepName(step)) + ": " + o.problem));
                K[int(step)] = proxy.roundTrips() - watching;
                if (step == Step::Process) {
                    g_editorRows.clear();
                    for (const auto &r : shared().gestor->selectRows(QStringLiteral(
                             "select ARTORD from ART where INTNRO = 'F1' and (PRCCRC <> 'OK' or PRCCRC is null)")))
                        g_editorRows << r[0].toInt();
                }
                states << snapshot();
                states.removeDuplicates();
                allowed << states;
                finals << states.last();
                // The work database as the next step finds it; Calvera is rebuilt by replaying.
                if (int(step) < 3) {
                    shared().gestor->close();
                    copyDatabases(env.dbFile({}), before[int(step) + 1].path());
                    shared().gestor->Conectar();
                }
            }
        }
        // Calvera as each step finds it: the steps before it run again on a fresh server copy.
        int runs = 0, drops = 0;
        QStringList failures;
        for (Step step : steps) {
            const int i = int(step);
            for (DelayProxy::Drop drop : {DelayProxy::Drop::Request, DelayProxy::Drop::Answer}) {
                for (int k : pick(int(K[i]), full, 5)) {
                    ++runs;
                    const QString where =
                        QStringLiteral("%1, link cut %2 at round trip %3")
                            .arg(stepName(step),
                                 drop == DelayProxy::Drop::Request ? QStringLiteral("before the request")
                                                                   : QStringLiteral("before the answer"))
                            .arg(k);
                    TestEnv env;
                    throughProxy(env);
                    copyDatabases(before[i].path(), env.dbFile({}));
                    env.connect();
                    configure();
                    if (step == Step::Replace) {
                        const Outcome first = runStep(Step::Transfer, {});
                        QVERIFY2(!first.failed, qPrintable(first.problem));
                        shared().gestor->close();
                        copyDatabases(before[i].path(), env.dbFile({}));
                        shared().gestor->Conectar();
                    }
                    proxy.dropAtRoundTrip(k, drop);
                    const Outcome o = runStep(step, {});
                    if (proxy.dropped()) ++drops;
                    proxy.dropAtRoundTrip(0);
                    resetShared();
                    env.connect();
                    configure();
                    if (!o.problem.isEmpty())
                        failures << where + QStringLiteral(": ") + o.problem;
                    const QString state = snapshot();
                    if (!allowed[i].contains(state))
                        failures << where + QStringLiteral(": a state the clean run never committed");
                    if (!o.failed && state != finals[i])
                        failures << where + QStringLiteral(": reported done without the clean run's rows");
                    const Outcome again = runStep(step, {});
                    if (again.failed || !again.problem.isEmpty()) {
                        failures << where + QStringLiteral(": the step again failed: ") + again.problem;
                    } else if (const QString end = snapshot(); !sameEnd(step, end, finals)) {
                        failures << where + QStringLiteral(": the step again ended with other rows");
                        showDifference(finals[i], end);
                    }
                    resetShared();
                }
            }
        }
        qInfo("round trips: process %ld, transfer %ld, replacing transfer %ld; %d runs, %d cut, %lld faults",
              K[int(Step::Process)], K[int(Step::Transfer)], K[int(Step::Replace)], runs, drops,
              qint64(failures.size()));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 15).join(QLatin1Char('\n'))));
    }

    // The editor's save on a full disk: the window says so with its own message, the row keeps its
    // values, and the same F11 saves it once there is room again.
    void editorSaveOnAFullDisk()
    {
        TestEnv env;
        env.connect();
        TestEnv::usePoint();
        shared().sInternoActual = QStringLiteral("T1");
        env.exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, PRCNCM, PRCDUN, "
            "PRCESM, PRCEST, PRCCRC) values ('T1', 2, 'ZP-2', 'Pinza', '310', 4, 10, 40, '8252.00.00.000C', "
            "'07', '1', 'E', 'POS')"));
        ScriptedInteraction script;
        frmModificar w;
        w.verificarSufijos = [](const QString &, QString &, int, QString &) {
            return QStringLiteral("AA(MARCA)-AB(MODELO)-");
        };
        w.setTag(QStringLiteral("0002"));
        w.show();
        QLineEdit *ncm = w.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM"));
        ncm->clear();
        QTest::keyClicks(ncm, QStringLiteral("8252.00.00.000B"));
        QTest::keyClick(ncm, Qt::Key_Return);
        VERIFY_SCRIPT(script);

        faultvfs::arm(Op::Write, 1, Fault::Full);
        script.expectMessage(QStringLiteral("database or disk is full\r\n\r\n%1 - seccion "
                                            "[Planexo.frmModificar_GrabarDatos]")
                                 .arg(-2147221504L + 13),
                             Interaction::Icon::Critical);
        QTest::keyClick(ncm, Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(faultvfs::struck());
        QVERIFY(w.isVisible());
        QCOMPARE(env.scalar(QStringLiteral("select PRCEST || PRCCRC || PRCNCM from ART where ARTORD = 2")).toString(),
                 QStringLiteral("EPOS8252.00.00.000C"));

        faultvfs::reset();
        QTest::keyClick(ncm, Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QCOMPARE(env.scalar(QStringLiteral("select PRCEST || PRCCRC || PRCNCM from ART where ARTORD = 2")).toString(),
                 QStringLiteral("MOK8252.00.00.000B"));
    }

    // The road broken at each write point: see the head of the file.
    void sweep()
    {
        const bool full = qEnvironmentVariable("PLANEXO_FAULT_SWEEP") == QLatin1String("full");
        const int sample = full ? 0 : 4;
        QElapsedTimer timer;
        timer.start();

        // The states before each step, kept as files.
        QTemporaryDir before[4];
        QList<QStringList> allowed; // per step: every state the clean run passed through
        QStringList finals;
        QMap<QString, int> K;
        {
            TestEnv env;
            env.connect();
            env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('F1', 'Fallas')"));
            resetShared();
            copyDatabases(env.dbFile({}), before[0].path());
        }
        for (Step step : {Step::Process, Step::Editor, Step::Transfer, Step::Replace}) {
            const int i = int(step);
            TestEnv env;
            copyDatabases(before[i].path(), env.dbFile({}));
            env.connect();
            configure();
            QStringList states{snapshot()};
            faultvfs::reset();
            const Outcome o = runStep(step, [&] {
                const QString now = snapshot();
                if (states.last() != now) states << now;
            });
            QVERIFY2(!o.failed && o.problem.isEmpty(), qPrintable(QString(stepName(step)) + ": " + o.problem));
            for (Op op : {Op::Write, Op::Sync, Op::Truncate, Op::Open})
                K[QStringLiteral("%1/%2").arg(stepName(step), faultvfs::name(op))] = faultvfs::count(op);
            if (step == Step::Process) {
                SharedState &s = shared();
                const auto rows = s.gestor->selectRows(
                    QStringLiteral("select ARTORD from ART where INTNRO = 'F1' and "
                                   "(PRCCRC <> 'OK' or PRCCRC is null) order by ARTORD"));
                g_editorRows.clear();
                for (const auto &r : rows)
                    g_editorRows << r[0].toInt();
                QVERIFY(g_editorRows.size() > 20);
            }
            states << snapshot();
            states.removeDuplicates();
            allowed << states;
            finals << states.last();
            resetShared();
            if (i < 3) copyDatabases(env.dbFile({}), before[i + 1].path());
        }

        int runs = 0, struckRuns = 0, reported = 0;
        QStringList failures;
        for (Step step : {Step::Process, Step::Editor, Step::Transfer, Step::Replace}) {
            const int i = int(step);
            for (const Kind &kind : kKinds) {
                const int points = K[QStringLiteral("%1/%2").arg(stepName(step), faultvfs::name(kind.op))];
                for (int k : pick(points, full, sample)) {
                    ++runs;
                    const QString where = QStringLiteral("%1, %2 at %3 #%4")
                                              .arg(stepName(step), faultvfs::name(kind.fault),
                                                   faultvfs::name(kind.op))
                                              .arg(k);
                    TestEnv env;
                    copyDatabases(before[i].path(), env.dbFile({}));
                    env.connect();
                    configure();
                    // Before a power cut, what was committed at each statement: none of it may be lost.
                    const bool power = kind.fault == Fault::PowerCut || kind.fault == Fault::TornPowerCut;
                    std::unique_ptr<Watcher> watcher;
                    if (power) watcher = std::make_unique<Watcher>(env);
                    QString lastCommitted;
                    faultvfs::arm(kind.op, k, kind.fault, std::uint32_t(k));
                    // Before an error, the state each statement met: the rows written before the
                    // failing one stay, as if each had been committed on its own (those of the
                    // process's stage 1 only with the whole stage).
                    QString lastSeen;
                    const Outcome o = runStep(step, [&] {
                        if (!power && !faultvfs::struck() && !g_inStageOne) lastSeen = snapshot();
                        if (!watcher || faultvfs::poweredOff()) return;
                        if (const QString c = watcher->committed(); !c.isEmpty() && !faultvfs::poweredOff())
                            lastCommitted = c;
                    });
                    const bool cut = faultvfs::poweredOff();
                    if (faultvfs::struck()) ++struckRuns;
                    watcher.reset();
                    resetShared();
                    faultvfs::restart();
                    faultvfs::reset();

                    for (const QString &name : kDatabases)
                        if (const QString r = integrity(env.dbFile(name)); r != QLatin1String("ok"))
                            failures << where + QStringLiteral(": integrity of ") + name + QStringLiteral(": ") + r;
                    if (!cut && !o.problem.isEmpty()) failures << where + QStringLiteral(": ") + o.problem;

                    env.connect();
                    configure();
                    const QString state = snapshot();
                    if (!allowed[i].contains(state))
                        failures << where + QStringLiteral(": a state the clean run never committed");
                    else if (!lastCommitted.isEmpty() &&
                             allowed[i].indexOf(state) < allowed[i].indexOf(lastCommitted))
                        failures << where + QStringLiteral(": the power cut lost committed rows");
                    if (o.failed && !power && !lastSeen.isEmpty() && allowed[i].contains(state) &&
                        allowed[i].indexOf(state) < allowed[i].indexOf(lastSeen))
                        failures << where + QStringLiteral(": rows written before the failure were lost");
                    if (o.failed) ++reported;
                    if (!o.failed && !cut && state != finals[i])
                        failures << where + QStringLiteral(": reported done without the clean run's rows");
                    // Again from there, without faults: exactly the clean run's rows.
                    const Outcome again = runStep(step, {});
                    if (again.failed || !again.problem.isEmpty())
                        failures << where + QStringLiteral(": the step again failed: ") + again.problem;
                    else if (const QString end = snapshot(); !sameEnd(step, end, finals)) {
                        failures << where + QStringLiteral(": the step again ended with other rows");
                        showDifference(finals[i], end);
                    }
                    resetShared();
                }
            }
        }
        QStringList figures;
        for (auto it = K.cbegin(); it != K.cend(); ++it)
            figures << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
        qInfo("write points K: %s", qPrintable(figures.join(QStringLiteral(", "))));
        qInfo("%d runs (%s), %d struck, %d steps that failed, %lld faults found, %.1f s", runs,
              full ? "full" : "sample", struckRuns, reported, qint64(failures.size()), timer.elapsed() / 1000.0);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 15).join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
