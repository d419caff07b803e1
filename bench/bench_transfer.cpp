// The transfer of a 10,000-item shipment into Calvera on SQLite, compared with a floor measured in
// the same run: the same reads of the work database and the same inserts and updates in Calvera's
// tables, written against SQLite's C API (prepared statements, bound values, one transaction).
// Seven items in ten are already in the catalogue (updated), the rest are new (inserted); a few new
// codes come twice (inserted, then updated). Both runs start from the same Calvera file, and the rows
// they leave are compared, so the floor is known to do the same work.
//
//   bench_transfer [--small] [--items N] [--runs N]
// --small runs 300 items once, without goals (for CI).
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "shared/Startup.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const char *const kShipment = "B1";
const char *const kCatalogue = "001";

double cpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

[[noreturn]] void die(const std::string &what)
{
    std::fprintf(stderr, "bench_transfer: %s\n", what.c_str());
    std::exit(1);
}

void check(sqlite3 *db, int rc, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        die(std::string(what) + ": " + sqlite3_errmsg(db));
}

sqlite3 *openDb(const QString &file)
{
    sqlite3 *db = nullptr;
    const QByteArray path = QFile::encodeName(file);
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        die("cannot open " + path.toStdString());
    sqlite3_busy_timeout(db, 5000);
    return db;
}

void execSql(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) die(std::string(sql) + ": " + error);
}

sqlite3_stmt *prepare(sqlite3 *db, const std::string &sql)
{
    sqlite3_stmt *st = nullptr;
    check(db, sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &st, nullptr), sql.c_str());
    return st;
}

// Accepts every question (the replacement of an earlier copy) and keeps the messages.
class RecordingInteraction : public Interaction {
  public:
    QStringList messages;
    Answer message(const QString &text, Icon, Buttons buttons, const QString &) override
    {
        messages << text;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return {}; }
    void setBusy(bool) override {}
};

QString code(int item)
{
    // Seven in ten are catalogue articles; of the new ones, every third code comes twice.
    if (item % 10 < 7) return QString::asprintf("A%06d", item);
    return QString::asprintf("NEW%06d", item % 10 == 9 ? item - 1 : item);
}

// The shipment's items in the work database, processed and reviewed, and the catalogue articles
// they find in Calvera.
void generate(const QString &workFile, const QString &calveraFile, int items)
{
    sqlite3 *work = openDb(workFile);
    execSql(work, "begin");
    execSql(work, "insert or ignore into INTN (INTNRO, INTDSC) values ('B1', 'BENCH')");
    sqlite3_stmt *art = prepare(
        work, "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, MARCA, DESCRIPCION_MARIA, ARTTKG, ARTKGB, "
              "ARTCAN, ARTUNI, ARTTOT, ARTORG, PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCSUN, "
              "PRCSCA, PRCESM, PRCORI, PRCEST, PRCCRC) values "
              "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    const auto text = [&](int i, const QString &value) {
        if (value.isNull())
            sqlite3_bind_null(art, i);
        else
            sqlite3_bind_text(art, i, value.toUtf8().constData(), -1, SQLITE_TRANSIENT);
    };
    const auto number = [&](int i, bool present, double value) {
        if (present)
            sqlite3_bind_double(art, i, value);
        else
            sqlite3_bind_null(art, i);
    };
    for (int r = 0; r < items; ++r) {
        const QString c = code(r);
        const int quantity = 1 + r % 37;
        const double unit = std::round((0.37 + (r % 401) * 0.23) * 100) / 100;
        const double total = std::round(unit * quantity * 100) / 100;
        text(1, QString::fromLatin1(kShipment));
        sqlite3_bind_int(art, 2, r + 1);
        text(3, c);
        text(4, r % 3 == 0    ? QString()
                : r % 11 == 0 ? QStringLiteral("   ")
                              : QStringLiteral("ARTICULO %1 O'NEIL").arg(c));
        text(5, QStringLiteral("ACME"));
        text(6, r % 2 ? QStringLiteral("DESCRIPCION MARIA ") + c : QString());
        number(7, r % 4 != 0, 0.1 * (1 + r % 50));
        number(8, r % 5 != 0, 0.15 * (1 + r % 40));
        number(9, true, quantity);
        number(10, r % 13 != 0, unit);
        number(11, true, total);
        text(12, r % 3 ? QStringLiteral("310") : QStringLiteral("203"));
        text(13, QString::asprintf("%02d%02d.%02d.%02d.%03d%c", 10 + r % 89, (r / 89) % 100, r % 7, r % 5,
                                   (r % 3) * 100, 'A' + r % 26));
        text(14, r % 6 ? QStringLiteral("AA(ACME)-AB(") + c + QLatin1Char(')') : QString());
        text(15, r % 4 == 0 ? QStringLiteral("S") : r % 4 == 1 ? QStringLiteral("N") : QString());
        text(16, QStringLiteral("07"));
        text(17, r % 8 ? QStringLiteral("07") : QStringLiteral("01"));
        number(18, r % 5 != 0, 1.5 + r % 3);
        text(19, r % 6 ? QStringLiteral("07") : QString());
        number(20, r % 7 != 0, 2.25);
        text(21, QStringLiteral("1"));
        text(22, r % 9 ? QStringLiteral("311") : QString());
        text(23, QStringLiteral("A"));
        text(24, QStringLiteral("OK"));
        check(work, sqlite3_step(art), "ART");
        sqlite3_reset(art);
    }
    sqlite3_finalize(art);
    execSql(work, "commit");
    sqlite3_close(work);

    sqlite3 *cal = openDb(calveraFile);
    execSql(cal, "begin");
    sqlite3_stmt *cat =
        prepare(cal, "insert or ignore into catarticulos (idcatalogo, idarticulo, descripcion, idpais, ncm, "
                     "lapi, sufijos, idunidad, estadistica, estadomerc, deresp, usuario) values "
                     "('001',?,'VIEJO','310','8205.20.00.000K','N','AA(X)','07','07','1','','otro')");
    for (int r = 0; r < items; ++r) {
        if (r % 10 >= 7) continue;
        const QByteArray c = code(r).toUtf8();
        sqlite3_bind_text(cat, 1, c.constData(), -1, SQLITE_TRANSIENT);
        check(cal, sqlite3_step(cat), "catarticulos");
        sqlite3_reset(cat);
    }
    sqlite3_finalize(cat);
    execSql(cal, "commit");
    sqlite3_close(cal);
}

// ---- The floor: the transfer's statements written against SQLite's C API ----

// The work database's row, read by position.
struct Columns {
    int ARTNRO, ARTDSC, DESCRIPCION_MARIA, ARTTKG, ARTKGB, ARTCAN, ARTUNI, ARTTOT, ARTORG, PRCNCM, PRCSUF,
        PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCSUN, PRCSCA, PRCESM, PRCORI;
};

Columns columnsOf(sqlite3_stmt *st)
{
    std::unordered_map<std::string, int> byName;
    for (int i = 0; i < sqlite3_column_count(st); ++i)
        byName[sqlite3_column_name(st, i)] = i;
    const auto at = [&](const char *name) {
        const auto it = byName.find(name);
        if (it == byName.end()) die(std::string("no column ") + name);
        return it->second;
    };
    return {at("ARTNRO"), at("ARTDSC"), at("DESCRIPCION_MARIA"),
            at("ARTTKG"), at("ARTKGB"), at("ARTCAN"),
            at("ARTUNI"), at("ARTTOT"), at("ARTORG"),
            at("PRCNCM"), at("PRCSUF"), at("PRCLAP"),
            at("PRCDUN"), at("PRCEUN"), at("PRCECA"),
            at("PRCSUN"), at("PRCSCA"), at("PRCESM"),
            at("PRCORI")};
}

bool isNull(sqlite3_stmt *st, int c)
{
    return sqlite3_column_type(st, c) == SQLITE_NULL;
}

// A text column bound as the transfer writes it: Null as ''.
void bindText(sqlite3_stmt *to, int i, sqlite3_stmt *from, int c)
{
    const unsigned char *t = sqlite3_column_text(from, c);
    sqlite3_bind_text(to, i, t ? reinterpret_cast<const char *>(t) : "",
                      t ? sqlite3_column_bytes(from, c) : 0, SQLITE_TRANSIENT);
}

double value(sqlite3_stmt *st, int c)
{
    return sqlite3_column_double(st, c); // Null reads 0, as EsNumero gives it
}

double roundTo(double v, double scale)
{
    return std::round(v * scale) / scale;
}

// The total rounded to cents over the quantity, rounded to four decimals; 0 when either is Null.
double unitPrice(sqlite3_stmt *st, const Columns &c)
{
    if (isNull(st, c.ARTTOT) || isNull(st, c.ARTCAN)) return 0;
    const double quantity = value(st, c.ARTCAN);
    if (quantity == 0) die("zero quantity in the generated data");
    return roundTo(roundTo(value(st, c.ARTTOT), 100) / quantity, 10000);
}

bool blank(sqlite3_stmt *st, int c)
{
    const unsigned char *t = sqlite3_column_text(st, c);
    if (!t) return true;
    for (; *t; ++t)
        if (*t != ' ') return false;
    return true;
}

void stepWrite(sqlite3 *db, sqlite3_stmt *st, const char *what)
{
    if (sqlite3_step(st) != SQLITE_DONE) die(std::string(what) + ": " + sqlite3_errmsg(db));
    if (sqlite3_changes(db) == 0) die(std::string(what) + ": no row");
    sqlite3_reset(st);
}

int floorTransfer(sqlite3 *work, sqlite3 *cal, const std::string &signature)
{
    // Pre-check.
    sqlite3_stmt *count = prepare(work, "select count(INTNRO) as Cant from ART where INTNRO = ? and "
                                        "(PRCCRC <> 'OK' or PRCCRC is null)");
    sqlite3_bind_text(count, 1, kShipment, -1, SQLITE_STATIC);
    if (sqlite3_step(count) != SQLITE_ROW || sqlite3_column_int(count, 0) != 0) die("pre-check");
    sqlite3_finalize(count);

    execSql(cal, "begin");
    sqlite3_stmt *exists = prepare(cal, "select interno from caratula where interno = ?");
    sqlite3_bind_text(exists, 1, kShipment, -1, SQLITE_STATIC);
    if (sqlite3_step(exists) == SQLITE_ROW) die("the shipment is already in Calvera");
    sqlite3_finalize(exists);
    sqlite3_stmt *header = prepare(cal, "insert into caratula (interno) values (?)");
    sqlite3_bind_text(header, 1, kShipment, -1, SQLITE_STATIC);
    stepWrite(cal, header, "caratula");
    sqlite3_finalize(header);

    // Items.
    sqlite3_stmt *rows =
        prepare(work, "select * from ART where INTNRO = ? and PRCCRC = 'OK' order by ARTORD");
    sqlite3_bind_text(rows, 1, kShipment, -1, SQLITE_STATIC);
    sqlite3_stmt *item = prepare(
        cal, "insert into subitems (idarticulo,idcatalogo,descripcion,Descripcion_Maria,interno,ncm,IdUnidad,"
             "Cantidad,Preciounitario,IdPais,KGNETO,fob,EstadoMerc,estadistica,valorrelacionestadistica,"
             "sufijos,LAPI,valorderesp,kgbruto,biendeuso,deresp) values "
             "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int written = 0;
    Columns c{};
    bool named = false;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        if (!named) c = columnsOf(rows), named = true;
        bindText(item, 1, rows, c.ARTNRO);
        sqlite3_bind_text(item, 2, kCatalogue, -1, SQLITE_STATIC);
        bindText(item, 3, rows, c.ARTDSC);
        bindText(item, 4, rows, c.DESCRIPCION_MARIA);
        sqlite3_bind_text(item, 5, kShipment, -1, SQLITE_STATIC);
        bindText(item, 6, rows, c.PRCNCM);
        bindText(item, 7, rows, c.PRCDUN);
        sqlite3_bind_double(item, 8, value(rows, c.ARTCAN));
        sqlite3_bind_double(item, 9, unitPrice(rows, c));
        bindText(item, 10, rows, c.ARTORG);
        sqlite3_bind_double(item, 11, roundTo(value(rows, c.ARTTKG), 100));
        sqlite3_bind_double(item, 12, roundTo(value(rows, c.ARTTOT), 100));
        bindText(item, 13, rows, c.PRCESM);
        bindText(item, 14, rows, c.PRCEUN);
        sqlite3_bind_double(item, 15, value(rows, c.PRCECA));
        bindText(item, 16, rows, c.PRCSUF);
        bindText(item, 17, rows, c.PRCLAP);
        sqlite3_bind_double(item, 18, value(rows, c.PRCSCA));
        sqlite3_bind_double(item, 19, value(rows, c.ARTKGB));
        sqlite3_bind_text(item, 20, "N", 1, SQLITE_STATIC);
        bindText(item, 21, rows, c.PRCSUN);
        stepWrite(cal, item, "subitems");
        ++written;
    }
    sqlite3_finalize(item);
    sqlite3_finalize(rows);

    // Catalogue: an update of the optional columns that are not blank, or an insert.
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    rows = prepare(work, "select * from ART where INTNRO = ? order by ARTORD");
    sqlite3_bind_text(rows, 1, kShipment, -1, SQLITE_STATIC);
    sqlite3_stmt *lookup =
        prepare(cal, "select idarticulo from catarticulos where idcatalogo = ? and idarticulo = ?");
    sqlite3_stmt *insert =
        prepare(cal, "insert into CATARTICULOS (idcatalogo, idarticulo, descripcion, idpais, cantidad, "
                     "Preciounitario, ncm, lapi, sufijos, idunidad, estadistica, valorrelacionestadistica, "
                     "estadomerc, deresp, valorderesp) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    struct Optional {
        const char *column;
        int Columns::*field;
        bool number;
    };
    const Optional optional[] = {
        {"ncm", &Columns::PRCNCM, false},         {"lapi", &Columns::PRCLAP, false},
        {"sufijos", &Columns::PRCSUF, false},     {"idunidad", &Columns::PRCDUN, false},
        {"estadistica", &Columns::PRCEUN, false}, {"valorrelacionestadistica", &Columns::PRCECA, true},
        {"EstadoMerc", &Columns::PRCESM, false},  {"deresp", &Columns::PRCSUN, false},
        {"valorderesp", &Columns::PRCSCA, true},  {"descripcion_maria", &Columns::DESCRIPCION_MARIA, false},
        {"idpais", &Columns::ARTORG, false},
    };
    constexpr int kOptional = sizeof optional / sizeof optional[0];
    std::unordered_map<unsigned, sqlite3_stmt *> updates; // by the set of assignments present
    named = false;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        if (!named) c = columnsOf(rows), named = true;
        sqlite3_bind_text(lookup, 1, kCatalogue, -1, SQLITE_STATIC);
        bindText(lookup, 2, rows, c.ARTNRO);
        const bool found = sqlite3_step(lookup) == SQLITE_ROW;
        sqlite3_reset(lookup);
        if (found) {
            unsigned mask = blank(rows, c.ARTDSC) ? 0 : 1u << kOptional;
            for (int i = 0; i < kOptional; ++i)
                if (!blank(rows, c.*optional[i].field)) mask |= 1u << i;
            sqlite3_stmt *&update = updates[mask];
            if (!update) {
                std::string sql = "update CATARTICULOS set ";
                if (mask & (1u << kOptional)) sql += "descripcion = ?,";
                sql += "cantidad = 0,Preciounitario = ?,";
                for (int i = 0; i < kOptional; ++i)
                    if (mask & (1u << i)) sql += std::string(optional[i].column) + " = ?,";
                sql += "usuario = ?,fecha = ? where idcatalogo = ? and idarticulo = ?";
                update = prepare(cal, sql);
            }
            int p = 1;
            if (mask & (1u << kOptional)) bindText(update, p++, rows, c.ARTDSC);
            sqlite3_bind_double(update, p++, value(rows, c.ARTUNI));
            for (int i = 0; i < kOptional; ++i) {
                if (!(mask & (1u << i))) continue;
                if (optional[i].number)
                    sqlite3_bind_double(update, p++, value(rows, c.*optional[i].field));
                else
                    bindText(update, p++, rows, c.*optional[i].field);
            }
            sqlite3_bind_text(update, p++, signature.data(), int(signature.size()), SQLITE_STATIC);
            sqlite3_bind_text(update, p++, now.constData(), int(now.size()), SQLITE_STATIC);
            sqlite3_bind_text(update, p++, kCatalogue, -1, SQLITE_STATIC);
            bindText(update, p++, rows, c.ARTNRO);
            stepWrite(cal, update, "update CATARTICULOS");
        } else {
            sqlite3_bind_text(insert, 1, kCatalogue, -1, SQLITE_STATIC);
            bindText(insert, 2, rows, c.ARTNRO);
            bindText(insert, 3, rows, c.ARTDSC);
            bindText(insert, 4, rows, c.PRCORI);
            sqlite3_bind_int(insert, 5, 0);
            sqlite3_bind_double(insert, 6, unitPrice(rows, c));
            bindText(insert, 7, rows, c.PRCNCM);
            bindText(insert, 8, rows, c.PRCLAP);
            bindText(insert, 9, rows, c.PRCSUF);
            bindText(insert, 10, rows, c.PRCDUN);
            bindText(insert, 11, rows, c.PRCEUN);
            sqlite3_bind_double(insert, 12, value(rows, c.PRCECA));
            bindText(insert, 13, rows, c.PRCESM);
            bindText(insert, 14, rows, c.PRCSUN);
            sqlite3_bind_double(insert, 15, value(rows, c.PRCSCA));
            stepWrite(cal, insert, "insert into CATARTICULOS");
        }
    }
    for (auto &[mask, update] : updates)
        sqlite3_finalize(update);
    sqlite3_finalize(insert);
    sqlite3_finalize(lookup);
    sqlite3_finalize(rows);

    sqlite3_stmt *total = prepare(cal, "select count(interno) as Total from subitems where interno = ?");
    sqlite3_bind_text(total, 1, kShipment, -1, SQLITE_STATIC);
    if (sqlite3_step(total) != SQLITE_ROW || sqlite3_column_int(total, 0) != written) die("final count");
    sqlite3_finalize(total);
    execSql(cal, "commit");
    return written;
}

// What a run left in Calvera, every value with its type (the catalogue's date excepted: it is the
// time of the run).
std::string contents(const QString &calveraFile)
{
    sqlite3 *db = openDb(calveraFile);
    std::string out;
    for (const char *query :
         {"select * from caratula order by interno", "select * from subitems order by id",
          "select idcatalogo, idarticulo, descripcion, idpais, cantidad, preciounitario, ncm, lapi, "
          "sufijos, idunidad, estadistica, valorrelacionestadistica, estadomerc, deresp, valorderesp, "
          "descripcion_maria, usuario, fecha is null from catarticulos order by idcatalogo, idarticulo"}) {
        sqlite3_stmt *st = prepare(db, query);
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const int type = sqlite3_column_type(st, i);
                out += char('0' + type);
                if (type != SQLITE_NULL) out += reinterpret_cast<const char *>(sqlite3_column_text(st, i));
                out += '|';
            }
            out += '\n';
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

struct Times {
    double cpu = 1e300, wall = 1e300;
    void keepBest(double c, double w)
    {
        cpu = std::min(cpu, c);
        wall = std::min(wall, w);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool small = args.contains(QStringLiteral("--small"));
    const auto option = [&](const char *name, int fallback) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
    };
    const int items = option("--items", small ? 300 : 10000);
    const int runs = std::max(1, option("--runs", small ? 1 : 5));

    QTemporaryDir dir;
    if (!dir.isValid()) die("no temporary folder");
    const QString folder = dir.path();
    QDir(folder).mkpath(QStringLiteral("db"));
    const QDir built(QStringLiteral(PLANEXO_BUILD_DB_DIR));
    for (const QString &name : built.entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}))
        if (!QFile::copy(built.filePath(name), folder + QStringLiteral("/db/") + name))
            die("cannot copy " + name.toStdString());
    const QString workFile = folder + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite");
    const QString calveraFile = folder + QStringLiteral("/db/calvera_internos.sqlite");
    const QString pristine = folder + QStringLiteral("/calvera_internos.pristine");
    generate(workFile, calveraFile, items);
    QFile::copy(calveraFile, pristine);
    const auto restore = [&] {
        QFile::remove(calveraFile);
        QFile::remove(calveraFile + QStringLiteral("-journal"));
        if (!QFile::copy(pristine, calveraFile)) die("cannot restore Calvera");
    };
    const std::string signature = TransferDriver::signature().toStdString();
    const QString expected = QStringLiteral("Se transfirio %1 articulos en el interno %2")
                                 .arg(items)
                                 .arg(QLatin1String(kShipment));

    Times product, floor;
    std::string productRows, floorRows;
    for (int run = 0; run < runs; ++run) {
        // The program's way, as the batch command runs it: connections opened beforehand.
        restore();
        {
            SharedState &s = shared();
            int step = 0;
            startup::openComponents(s, folder, step);
            s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
            s.sInternoActual = QString::fromLatin1(kShipment);
            s.INTCAT = QString::fromLatin1(kCatalogue);
            RecordingInteraction recorder;
            setInteraction(&recorder);
            QuietProgress progress;
            TransferDriver driver(s, progress);
            QElapsedTimer wall;
            const double cpu0 = cpuMilliseconds();
            wall.start();
            driver.FRM3_Tranferir();
            product.keepBest(cpuMilliseconds() - cpu0, wall.nsecsElapsed() / 1e6);
            setInteraction(nullptr);
            resetShared();
            if (recorder.messages != QStringList{expected})
                die("the transfer did not complete: " +
                    recorder.messages.join(QLatin1Char('\n')).toStdString());
        }
        if (run == 0) productRows = contents(calveraFile);

        restore();
        {
            sqlite3 *work = openDb(workFile);
            sqlite3 *cal = openDb(calveraFile);
            QElapsedTimer wall;
            const double cpu0 = cpuMilliseconds();
            wall.start();
            const int written = floorTransfer(work, cal, signature);
            floor.keepBest(cpuMilliseconds() - cpu0, wall.nsecsElapsed() / 1e6);
            sqlite3_close(cal);
            sqlite3_close(work);
            if (written != items) die("the floor wrote " + std::to_string(written) + " items");
        }
        if (run == 0) floorRows = contents(calveraFile);
    }
    if (productRows != floorRows) {
        QFile a(folder + QStringLiteral("/../bench_transfer.product.txt")),
            b(folder + QStringLiteral("/../bench_transfer.floor.txt"));
        if (a.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly)) {
            a.write(productRows.data(), qint64(productRows.size()));
            b.write(floorRows.data(), qint64(floorRows.size()));
        }
        die("the floor left other rows in Calvera than the transfer (see bench_transfer.*.txt beside the "
            "temporary folder)");
    }

    std::printf("transfer of %d items into Calvera on SQLite (%d%% already in the catalogue), best of %d; "
                "rows left identical: yes\n",
                items, 70, runs);
    std::printf("  transfer (TransferDriver)  cpu %8.1f ms  wall %8.1f ms\n", product.cpu, product.wall);
    std::printf("  floor (SQLite C API)       cpu %8.1f ms  wall %8.1f ms\n", floor.cpu, floor.wall);
    const double ratio = product.cpu / floor.cpu;
    std::printf("  ratio transfer/floor       cpu %8.2f     wall %8.2f", ratio, product.wall / floor.wall);
    if (small)
        std::printf("\n");
    else
        std::printf("  | goal cpu ratio <= 2: %s\n", ratio <= 2.0 ? "met" : "MISSED");
    return 0;
}
