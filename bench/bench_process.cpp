// The automatic process on 10,000- and 100,000-row invoices against a 100,000-article catalogue and
// a 10,000-position nomenclator, compared with floors measured in the same run: the same inserts,
// lookups and updates as prepared statements with bound values, one transaction per database,
// written against SQLite's C API (the limit) and through QtSql.
// Options: --small (a few hundred rows, no goals), --rows N (that size only), a first bare number
// for the runs of each size (best of them is kept).
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <sqlite3.h>

namespace {

// Smaller with --small, which only shows that the benchmark still runs.
int kArticles = 100000;
int kPositions = 10000;
int kRows = 10000; // set per size measured
constexpr double kFoundShare = 0.7;
const QString kShipment = QStringLiteral("B1");

// CPU time of this thread, which other processes on a shared machine do not inflate.
double cpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The main window's way: a label and a bar repainted at every change (with --bar).
class WidgetProgress : public Progress {
  public:
    WidgetProgress()
    {
        m_window.resize(640, 60);
        m_label = new QLabel(&m_window);
        m_label->setGeometry(4, 4, 630, 18);
        m_bar = new QProgressBar(&m_window);
        m_bar->setGeometry(4, 26, 630, 10);
        m_window.show();
    }
    void setCaption(const QString &c) override
    {
        m_label->setText(c);
        m_label->repaint();
    }
    QString caption() const override { return m_label->text(); }
    void setMinimum(int v) override { m_bar->setMinimum(v); }
    void setMaximum(int v) override { m_bar->setMaximum(v); }
    int maximum() const override { return m_bar->maximum(); }
    void setValue(int v) override
    {
        m_bar->setValue(v);
        m_bar->repaint();
    }
    int value() const override { return m_bar->value(); }
    void setBarVisible(bool v) override { m_bar->setVisible(v); }
    bool barVisible() const override { return m_bar->isVisible(); }

  private:
    QWidget m_window;
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
};

// No prompt is expected: every origin resolves and the settings are complete.
class SilentInteraction : public Interaction {
  public:
    int messages = 0;
    Answer message(const QString &text, Icon, Buttons, const QString &) override
    {
        ++messages;
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString openFile(const QString &, const QString &) override { return QString(); }
    void setBusy(bool) override {}
};

void check(bool ok, const QSqlQuery &q, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", what, qPrintable(q.lastError().text()));
        std::exit(1);
    }
}

struct PositionData {
    QString ncm8, opening, letter;
    bool jd = false, za = false;
    QString text() const { return ncm8 + QLatin1Char('.') + opening + letter; }
};

QVector<PositionData> makePositions()
{
    QVector<PositionData> positions;
    positions.reserve(kPositions);
    for (int i = 0; i < kPositions; ++i) {
        const int chapter = 10 + i % 89;
        const int rest = i / 89;
        PositionData p;
        p.ncm8 = QString::asprintf("%02d%02d.%02d.%02d", chapter, rest % 100, rest / 100, i % 7);
        p.opening = QString::asprintf("%03d", (i % 3) * 100);
        p.letter = QChar('A' + i % 26);
        p.jd = (rest % 3) == 0;
        p.za = i % 7 == 0;
        positions << p;
    }
    return positions;
}

QSqlDatabase openRaw(const QString &name, const QString &file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    if (!db.open()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        std::exit(1);
    }
    QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size=268435456")); // as the program's connections
    return db;
}

void generateCalvera(const QString &folder, const QVector<PositionData> &positions)
{
    {
        QSqlDatabase ncm =
            openRaw(QStringLiteral("gen-ncm"), folder + QStringLiteral("/db/calvera_ncm.sqlite"));
        ncm.transaction();
        QSqlQuery row(ncm);
        row.prepare(QStringLiteral(
            "insert into ncm ([001],[002],[003],[010],[012],[020],[059]) values (?,?,?,?,?,?,?)"));
        QSqlQuery suffix(ncm);
        suffix.prepare(QStringLiteral("insert into sufidos (sim, sufijo, detalle) values (?,?,?)"));
        auto addSuffix = [&](const QString &sim, const QString &code, const QString &detail) {
            suffix.addBindValue(sim);
            suffix.addBindValue(code);
            suffix.addBindValue(detail);
            check(suffix.exec(), suffix, "sufidos");
        };
        QSet<QString> chapters, headings;
        for (int i = 0; i < positions.size(); ++i) {
            const PositionData &p = positions[i];
            row.addBindValue(p.ncm8);
            row.addBindValue(p.opening);
            row.addBindValue(p.letter);
            row.addBindValue(QStringLiteral("POSICION %1").arg(i));
            row.addBindValue(i % 2 ? QStringLiteral("07") : QStringLiteral("01"));
            row.addBindValue(i % 10 == 0 ? QStringLiteral("08") : QString(""));
            row.addBindValue(i % 5 == 0 ? QStringLiteral("*") : QString(""));
            check(row.exec(), row, "ncm");
            const QString text = p.text();
            if (!chapters.contains(text.left(2))) {
                chapters.insert(text.left(2));
                addSuffix(text.left(2) + QStringLiteral("  .  .  .   "), QStringLiteral("AA"),
                          QStringLiteral("MARCA"));
                addSuffix(text.left(2) + QStringLiteral("  .  .  .   "), QStringLiteral("AB"),
                          QStringLiteral("MODELO"));
            }
            if (p.jd && !headings.contains(text.left(4))) {
                headings.insert(text.left(4));
                for (const char *option : {"JD01", "JD02", "JD03"})
                    addSuffix(text.left(4) + QStringLiteral(".  .  .   "), QLatin1String(option),
                              QStringLiteral("MANGO"));
            }
            if (p.za) addSuffix(text.left(14), QStringLiteral("ZA"), QStringLiteral("POTENCIA"));
        }
        ncm.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen-ncm"));
    {
        QSqlDatabase internos =
            openRaw(QStringLiteral("gen-internos"), folder + QStringLiteral("/db/calvera_internos.sqlite"));
        internos.transaction();
        QSqlQuery q(internos);
        q.prepare(QStringLiteral(
            "insert into catarticulos (idcatalogo, idarticulo, descripcion, idpais, ncm, lapi, "
            "sufijos, idunidad, estadistica, estadomerc, deresp, descripcion_maria) values "
            "('001',?,?,?,?,?,?,'07','07',?,'',?)"));
        for (int k = 0; k < kArticles; ++k) {
            const PositionData &p = positions[k % positions.size()];
            const QString code = QString::asprintf("A%06d", k);
            QString position = p.text();
            if (k % 50 == 0) position = QStringLiteral("9999.99.99.999Z"); // not in the nomenclator
            QString suffixes = QStringLiteral("AA(ACME)-AB(") + code + QLatin1Char(')');
            if (p.jd && k % 20 != 0) suffixes += QStringLiteral("-JD01");
            if (p.za) suffixes += QStringLiteral("-ZA(000750)");
            q.addBindValue(code);
            q.addBindValue(QStringLiteral("ARTICULO ") + code);
            q.addBindValue(QStringLiteral("310"));
            q.addBindValue(position);
            q.addBindValue(k % 4 == 0 ? QStringLiteral("S") : QString(""));
            q.addBindValue(suffixes);
            q.addBindValue(k % 3 == 0 ? QString("") : QStringLiteral("1"));
            q.addBindValue(k % 2 ? QStringLiteral("DESCRIPCION MARIA ") + code : QString(""));
            check(q.exec(), q, "catarticulos");
        }
        internos.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen-internos"));
    {
        QSqlDatabase work =
            openRaw(QStringLiteral("gen-work"), folder + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite"));
        work.transaction();
        QSqlQuery q(work);
        q.prepare(QStringLiteral("insert into NCMDEC (NCM, DECLARADA) values (?, '22')"));
        for (int i = 0; i < positions.size(); i += 97) {
            q.addBindValue(positions[i].text());
            check(q.exec(), q, "NCMDEC");
        }
        QSqlQuery(work).exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('B1', 'BENCH')"));
        work.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen-work"));
}

const QStringList kOrigins = {QStringLiteral("CHINA"), QStringLiteral("310"),    QStringLiteral("PRC"),
                              QStringLiteral("USA"),   QStringLiteral("BRASIL"), QStringLiteral("ALEMANIA")};

void fillGrid(SheetGridModel &grid)
{
    namespace fl = fieldlabels;
    const QStringList labels = {fl::CodArticulo, fl::DescrModelo, fl::Marca,  fl::Cantidad,
                                fl::PUnitario,   fl::PTotal,      fl::Origen, fl::KgNeto};
    std::mt19937 random(20261207);
    QVector<int> articles(kArticles);
    for (int i = 0; i < kArticles; ++i)
        articles[i] = i;
    std::shuffle(articles.begin(), articles.end(), random);

    QVector<QStringList> cells;
    cells.reserve(kRows + 2);
    cells << QStringList{"Codigo", "Descripcion", "Marca", "Cantidad", "Unitario", "Total", "Origen", "Kg"};
    cells << labels;
    for (int r = 0; r < kRows; ++r) {
        const bool found = r < int(kRows * kFoundShare);
        const QString code =
            found ? QString::asprintf("A%06d", articles[r]) : QString::asprintf("NEW%06d", r);
        const int quantity = 1 + r % 37;
        const double price = 0.5 + (r % 401) * 0.25;
        cells << QStringList{code,
                             r % 3 ? QString() : QStringLiteral("DESCRIPCION ") + code,
                             r % 5 ? QStringLiteral("ACME") : QString(),
                             QString::number(quantity),
                             QString::number(price, 'f', 2),
                             QString::number(price * quantity, 'f', 2),
                             kOrigins[r % kOrigins.size()],
                             QString::number(0.1 * (1 + r % 50), 'f', 1)};
    }
    // Interleave new and found rows as an invoice would.
    std::shuffle(cells.begin() + 2, cells.end(), random);
    grid.resize(int(cells.size()), int(labels.size()));
    grid.paste(0, cells);
}

// The floor: the process's work as prepared statements with bound values, one transaction per
// database, with the same per-run caches (origins, nomenclator rows of a position).
double runFloor(const QString &folder, const SheetGridModel &grid)
{
    QElapsedTimer timer;
    timer.start();
    QSqlDatabase work =
        openRaw(QStringLiteral("floor-work"), folder + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite"));
    QSqlDatabase internos =
        openRaw(QStringLiteral("floor-internos"), folder + QStringLiteral("/db/calvera_internos.sqlite"));
    QSqlDatabase ncm =
        openRaw(QStringLiteral("floor-ncm"), folder + QStringLiteral("/db/calvera_ncm.sqlite"));
    const QString shipment = QStringLiteral("F1");
    work.transaction();
    internos.transaction();
    ncm.transaction();
    {
        QSqlQuery del(work);
        del.prepare(QStringLiteral("delete from ART where INTNRO = ?"));
        del.addBindValue(shipment);
        check(del.exec(), del, "floor delete");

        // Stage 1
        QSqlQuery byId(work), byName(work), byRelation(work), insert(work);
        byId.prepare(QStringLiteral("select id from PAIS where id = ?"));
        byName.prepare(QStringLiteral("select id from PAIS where descripcion = ?"));
        byRelation.prepare(QStringLiteral("select ORI from ORG where PAI = ?"));
        insert.prepare(
            QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, ARTCAN, ARTUNI, ARTTOT, "
                           "PRCNCM, PRCDUN, ARTORG, ARTKGB, MARCA, DESCRIPCION_MARIA, PRCSUF) values "
                           "(?,?,?,?,?,?,?,?,'','07',?,0,?,'',?)"));
        QHash<QString, QString> origins;
        for (int row = 2; row < grid.rows(); ++row) {
            const QString origin = grid.text(row, 6);
            auto it = origins.find(origin);
            if (it == origins.end()) {
                QString code;
                for (QSqlQuery *q : {&byId, &byName, &byRelation}) {
                    q->addBindValue(origin);
                    check(q->exec(), *q, "floor origin");
                    if (q->next()) {
                        code = q->value(0).toString();
                        break;
                    }
                }
                it = origins.insert(origin, code);
            }
            const double quantity = grid.text(row, 3).toDouble();
            const double total = grid.text(row, 5).toDouble();
            const QString brand = grid.text(row, 2);
            insert.addBindValue(shipment);
            insert.addBindValue(row - 1);
            insert.addBindValue(grid.text(row, 0).trimmed());
            insert.addBindValue(grid.text(row, 1).trimmed());
            insert.addBindValue(grid.text(row, 7).toDouble());
            insert.addBindValue(quantity);
            insert.addBindValue(total / quantity);
            insert.addBindValue(total);
            insert.addBindValue(*it);
            insert.addBindValue(brand);
            insert.addBindValue(QStringLiteral("AA(") + brand + QStringLiteral(")-AB(") + grid.text(row, 0) +
                                QLatin1Char(')'));
            check(insert.exec(), insert, "floor insert");
        }

        // Stage 2
        QSqlQuery rows(work), catalogue(internos), nomenclator(ncm), update(work);
        rows.prepare(
            QStringLiteral("select ARTNRO, ARTORD, MARCA from ART where INTNRO = ? order by ARTNRO"));
        catalogue.prepare(
            QStringLiteral("select ncm, lapi, sufijos, estadomerc, descripcion, idpais, descripcion_maria "
                           "from catarticulos where idcatalogo = '001' and idarticulo = ?"));
        nomenclator.prepare(
            QStringLiteral("select [059], [012], [020] from ncm where [001] = ? and [002] = ?"));
        update.prepare(QStringLiteral(
            "update ART set PRCNCM = ?, PRCLAP = ?, DESCRIPCION_MARIA = ?, PRCSUF = ?, "
            "ARTDSC = ?, PRCEUN = ?, PRCESM = ?, PRCEST = 'A' where INTNRO = ? and ARTORD = ?"));
        struct Units {
            bool found;
            QString lapi, eun;
        };
        QHash<QString, Units> units;
        rows.addBindValue(shipment);
        check(rows.exec(), rows, "floor rows");
        while (rows.next()) {
            catalogue.addBindValue(rows.value(0));
            check(catalogue.exec(), catalogue, "floor catalogue");
            if (!catalogue.next()) continue;
            const QString position = catalogue.value(0).toString();
            auto u = units.find(position);
            if (u == units.end()) {
                nomenclator.addBindValue(position.left(10));
                nomenclator.addBindValue(position.mid(11, 3));
                check(nomenclator.exec(), nomenclator, "floor nomenclator");
                Units found{false, {}, {}};
                if (nomenclator.next())
                    found = {true, nomenclator.value(0).toString(), nomenclator.value(1).toString()};
                u = units.insert(position, found);
            }
            update.addBindValue(position);
            update.addBindValue(catalogue.value(1).toString().isEmpty() ? (u->lapi == "*" ? "S" : "N")
                                                                        : catalogue.value(1).toString());
            update.addBindValue(catalogue.value(6));
            update.addBindValue(catalogue.value(2));
            update.addBindValue(catalogue.value(4));
            update.addBindValue(u->eun);
            update.addBindValue(catalogue.value(3).toString().isEmpty() ? QStringLiteral("1")
                                                                        : catalogue.value(3));
            update.addBindValue(shipment);
            update.addBindValue(rows.value(1));
            check(update.exec(), update, "floor update");
        }

        // Stage 3
        QSqlQuery common(work);
        for (const char *statement :
             {"update ART set PRCORI = ORG.ORI from ORG where ORG.PAI = ART.ARTORG and ART.INTNRO = ?",
              "update ART set PRCDUN = NCMDEC.DECLARADA from NCMDEC where NCMDEC.NCM = ART.PRCNCM and "
              "ART.INTNRO = ?",
              "update ART set PRCESM = '1' where INTNRO = ? and (PRCESM is null or PRCESM = '')"}) {
            common.prepare(QLatin1String(statement));
            common.addBindValue(shipment);
            check(common.exec(), common, "floor common");
        }

        // Stage 4
        QSqlQuery found(work), exists(ncm), codes(ncm), grade(work), statistics(work);
        found.prepare(
            QStringLiteral("select PRCNCM, PRCSUF, ARTORD from ART where INTNRO = ? and PRCEST = 'A'"));
        exists.prepare(QStringLiteral("select [001] from ncm where [001] = ? and [002] = ? and [003] = ?"));
        codes.prepare(QStringLiteral("select sufijo from sufidos where sim in (?,?,?,?)"));
        grade.prepare(
            QStringLiteral("update ART set PRCCRC = ?, PRCEST = ? where INTNRO = ? and ARTORD = ?"));
        QHash<QString, QStringList> positions;
        found.addBindValue(shipment);
        check(found.exec(), found, "floor found");
        while (found.next()) {
            const QString p = found.value(0).toString();
            auto it = positions.find(p);
            if (it == positions.end()) {
                QStringList list;
                exists.addBindValue(p.left(10));
                exists.addBindValue(p.mid(11, 3));
                exists.addBindValue(p.mid(14, 1));
                check(exists.exec(), exists, "floor exists");
                if (exists.next()) {
                    list << QStringLiteral("exists");
                    codes.addBindValue(p.left(2) + QStringLiteral("  .  .  .   "));
                    codes.addBindValue(p.left(4) + QStringLiteral(".  .  .   "));
                    codes.addBindValue(p.left(7) + QStringLiteral(".  .   "));
                    codes.addBindValue(p.left(14));
                    check(codes.exec(), codes, "floor codes");
                    while (codes.next())
                        list << codes.value(0).toString();
                }
                it = positions.insert(p, list);
            }
            const QString suffixes = found.value(1).toString();
            bool ok = !it->isEmpty();
            for (int i = 1; ok && i < it->size(); ++i)
                ok = suffixes.contains(it->at(i).left(2));
            grade.addBindValue(it->isEmpty() ? "POS" : ok ? "OK" : "SUF");
            grade.addBindValue(ok ? "A" : "E");
            grade.addBindValue(shipment);
            grade.addBindValue(found.value(2));
            check(grade.exec(), grade, "floor grade");
        }
        statistics.prepare(
            QStringLiteral("update ART set PRCECA = ARTCAN where INTNRO = ? and PRCDUN = PRCEUN and "
                           "PRCCRC = 'OK'"));
        statistics.addBindValue(shipment);
        check(statistics.exec(), statistics, "floor statistics");
    }
    work.commit();
    internos.commit();
    ncm.commit();
    const double ms = timer.nsecsElapsed() / 1e6;
    work = internos = ncm = QSqlDatabase();
    for (const char *name : {"floor-work", "floor-internos", "floor-ncm"})
        QSqlDatabase::removeDatabase(QLatin1String(name));
    return ms;
}

// The limit: the floor's work written against SQLite's C API, values bound straight from the grid's
// texts (UTF-16, as Qt holds them).
class CStatement {
  public:
    CStatement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK) die(sql);
    }
    ~CStatement() { sqlite3_finalize(m_st); }
    CStatement(const CStatement &) = delete;
    CStatement &operator=(const CStatement &) = delete;

    CStatement &text(int i, const QString &v)
    {
        sqlite3_bind_text16(m_st, i, v.utf16(), int(v.size() * 2), SQLITE_TRANSIENT);
        return *this;
    }
    CStatement &text(int i, const char *v)
    {
        sqlite3_bind_text(m_st, i, v, -1, SQLITE_STATIC);
        return *this;
    }
    CStatement &real(int i, double v)
    {
        sqlite3_bind_double(m_st, i, v);
        return *this;
    }
    CStatement &integer(int i, qint64 v)
    {
        sqlite3_bind_int64(m_st, i, v);
        return *this;
    }
    // Steps once: true on a row.
    bool step()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) die("step");
        return false;
    }
    void run()
    {
        step();
        reset();
    }
    void reset() { sqlite3_reset(m_st); }
    QString column(int i) const
    {
        const void *p = sqlite3_column_text16(m_st, i);
        return p ? QString(static_cast<const QChar *>(p), sqlite3_column_bytes16(m_st, i) / 2) : QString();
    }
    qint64 integerColumn(int i) const { return sqlite3_column_int64(m_st, i); }

  private:
    [[noreturn]] void die(const char *what)
    {
        std::fprintf(stderr, "C floor %s: %s\n", what, sqlite3_errmsg(m_db));
        std::exit(1);
    }
    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
};

sqlite3 *openC(const QString &file)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        std::exit(1);
    }
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    return db;
}

// Fills stageMs with each stage's time, as the driver measures its stages.
double runCFloor(const QString &folder, const SheetGridModel &grid, double *stageMs)
{
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer stage;
    sqlite3 *work = openC(folder + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite"));
    sqlite3 *internos = openC(folder + QStringLiteral("/db/calvera_internos.sqlite"));
    sqlite3 *ncm = openC(folder + QStringLiteral("/db/calvera_ncm.sqlite"));
    for (sqlite3 *db : {work, internos, ncm})
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    const QString shipment = QStringLiteral("F1");
    {
        stage.start();
        CStatement del(work, "delete from ART where INTNRO = ?");
        del.text(1, shipment).run();

        // Stage 1
        CStatement byId(work, "select id from PAIS where id = ?");
        CStatement byName(work, "select id from PAIS where descripcion = ?");
        CStatement byRelation(work, "select ORI from ORG where PAI = ?");
        CStatement insert(work,
                          "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, ARTCAN, ARTUNI, ARTTOT, "
                          "PRCNCM, PRCDUN, ARTORG, ARTKGB, MARCA, DESCRIPCION_MARIA, PRCSUF) values "
                          "(?,?,?,?,?,?,?,?,'','07',?,0,?,'',?)");
        QHash<QString, QString> origins;
        for (int row = 2; row < grid.rows(); ++row) {
            const QString origin = grid.text(row, 6);
            auto it = origins.find(origin);
            if (it == origins.end()) {
                QString code;
                for (CStatement *q : {&byId, &byName, &byRelation}) {
                    const bool found = q->text(1, origin).step();
                    if (found) code = q->column(0);
                    q->reset();
                    if (found) break;
                }
                it = origins.insert(origin, code);
            }
            const double quantity = grid.text(row, 3).toDouble();
            const double total = grid.text(row, 5).toDouble();
            const QString brand = grid.text(row, 2);
            insert.text(1, shipment)
                .integer(2, row - 1)
                .text(3, grid.text(row, 0).trimmed())
                .text(4, grid.text(row, 1).trimmed())
                .real(5, grid.text(row, 7).toDouble())
                .real(6, quantity)
                .real(7, total / quantity)
                .real(8, total)
                .text(9, *it)
                .text(10, brand)
                .text(11, QStringLiteral("AA(") + brand + QStringLiteral(")-AB(") + grid.text(row, 0) +
                              QLatin1Char(')'))
                .run();
        }

        stageMs[0] = stage.nsecsElapsed() / 1e6;
        stage.restart();

        // Stage 2
        CStatement rows(work, "select ARTNRO, ARTORD, MARCA from ART where INTNRO = ? order by ARTNRO");
        CStatement catalogue(internos,
                             "select ncm, lapi, sufijos, estadomerc, descripcion, idpais, descripcion_maria "
                             "from catarticulos where idcatalogo = '001' and idarticulo = ?");
        CStatement nomenclator(ncm, "select [059], [012], [020] from ncm where [001] = ? and [002] = ?");
        CStatement update(work, "update ART set PRCNCM = ?, PRCLAP = ?, DESCRIPCION_MARIA = ?, PRCSUF = ?, "
                                "ARTDSC = ?, PRCEUN = ?, PRCESM = ?, PRCEST = 'A' where INTNRO = ? and "
                                "ARTORD = ?");
        struct Units {
            bool found;
            QString lapi, eun;
        };
        QHash<QString, Units> units;
        rows.text(1, shipment);
        while (rows.step()) {
            if (!catalogue.text(1, rows.column(0)).step()) {
                catalogue.reset();
                continue;
            }
            const QString position = catalogue.column(0);
            auto u = units.find(position);
            if (u == units.end()) {
                Units found{false, {}, {}};
                if (nomenclator.text(1, position.left(10)).text(2, position.mid(11, 3)).step())
                    found = {true, nomenclator.column(0), nomenclator.column(1)};
                nomenclator.reset();
                u = units.insert(position, found);
            }
            const QString lapi = catalogue.column(1);
            const QString state = catalogue.column(3);
            update.text(1, position)
                .text(2, lapi.isEmpty() ? QString(u->lapi == QLatin1String("*") ? "S" : "N") : lapi)
                .text(3, catalogue.column(6))
                .text(4, catalogue.column(2))
                .text(5, catalogue.column(4))
                .text(6, u->eun)
                .text(7, state.isEmpty() ? QStringLiteral("1") : state)
                .text(8, shipment)
                .integer(9, rows.integerColumn(1))
                .run();
            catalogue.reset();
        }
        rows.reset();
        stageMs[1] = stage.nsecsElapsed() / 1e6;
        stage.restart();

        // Stage 3
        for (const char *statement :
             {"update ART set PRCORI = ORG.ORI from ORG where ORG.PAI = ART.ARTORG and ART.INTNRO = ?",
              "update ART set PRCDUN = NCMDEC.DECLARADA from NCMDEC where NCMDEC.NCM = ART.PRCNCM and "
              "ART.INTNRO = ?",
              "update ART set PRCESM = '1' where INTNRO = ? and (PRCESM is null or PRCESM = '')"})
            CStatement(work, statement).text(1, shipment).run();
        stageMs[2] = stage.nsecsElapsed() / 1e6;
        stage.restart();

        // Stage 4
        CStatement found(work, "select PRCNCM, PRCSUF, ARTORD from ART where INTNRO = ? and PRCEST = 'A'");
        CStatement exists(ncm, "select [001] from ncm where [001] = ? and [002] = ? and [003] = ?");
        CStatement codes(ncm, "select sufijo from sufidos where sim in (?,?,?,?)");
        CStatement grade(work, "update ART set PRCCRC = ?, PRCEST = ? where INTNRO = ? and ARTORD = ?");
        QHash<QString, QStringList> positions;
        found.text(1, shipment);
        while (found.step()) {
            const QString p = found.column(0);
            auto it = positions.find(p);
            if (it == positions.end()) {
                QStringList list;
                if (exists.text(1, p.left(10)).text(2, p.mid(11, 3)).text(3, p.mid(14, 1)).step()) {
                    list << QStringLiteral("exists");
                    codes.text(1, p.left(2) + QStringLiteral("  .  .  .   "))
                        .text(2, p.left(4) + QStringLiteral(".  .  .   "))
                        .text(3, p.left(7) + QStringLiteral(".  .   "))
                        .text(4, p.left(14));
                    while (codes.step())
                        list << codes.column(0);
                    codes.reset();
                }
                exists.reset();
                it = positions.insert(p, list);
            }
            const QString suffixes = found.column(1);
            bool ok = !it->isEmpty();
            for (int i = 1; ok && i < it->size(); ++i)
                ok = suffixes.contains(it->at(i).left(2));
            grade.text(1, it->isEmpty() ? "POS"
                          : ok          ? "OK"
                                        : "SUF")
                .text(2, ok ? "A" : "E")
                .text(3, shipment)
                .integer(4, found.integerColumn(2))
                .run();
        }
        found.reset();
        CStatement(work, "update ART set PRCECA = ARTCAN where INTNRO = ? and PRCDUN = PRCEUN and "
                         "PRCCRC = 'OK'")
            .text(1, shipment)
            .run();
        stageMs[3] = stage.nsecsElapsed() / 1e6;
    }
    for (sqlite3 *db : {work, internos, ncm}) {
        if (sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "C floor commit: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    for (sqlite3 *db : {work, internos, ncm})
        sqlite3_close(db);
    return ms;
}

} // namespace

// The figures of one size: best of the runs, wall and CPU.
struct Figures {
    int rows = 0;
    double wall = 0, cpu = 0, cFloorWall = 0, cFloorCpu = 0, qtFloorWall = 0, qtFloorCpu = 0;
    double stages[4] = {0, 0, 0, 0};
    double cFloorStages[4] = {0, 0, 0, 0};
};

template <typename F> void keepBest(double &wall, double &cpu, bool first, F &&work)
{
    const double c0 = cpuMilliseconds();
    const double w = work();
    const double c = cpuMilliseconds() - c0;
    if (first || w < wall) wall = w;
    if (first || c < cpu) cpu = c;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool small = args.contains(QStringLiteral("--small"));
    QList<int> sizes = {10000, 100000};
    if (small) {
        kArticles = 2000;
        kPositions = 500;
        sizes = {300};
    }
    const qsizetype rowsOption = args.indexOf(QStringLiteral("--rows"));
    if (rowsOption > 0 && rowsOption + 1 < args.size()) sizes = {std::max(1, args[rowsOption + 1].toInt())};
    for (int size : sizes)
        if (size * kFoundShare > kArticles) {
            std::fprintf(stderr, "at most %d rows\n", int(kArticles / kFoundShare));
            return 2;
        }

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("db"));
    const QDir source(QStringLiteral(PLANEXO_BUILD_DB_DIR));
    for (const QString &name :
         source.entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}, QDir::Files))
        QFile::copy(source.filePath(name), dir.filePath(QStringLiteral("db/") + name));

    QElapsedTimer timer;
    timer.start();
    const QVector<PositionData> positions = makePositions();
    generateCalvera(dir.path(), positions);
    std::printf("data: %d articles, %d positions, generated in %.0f ms\n", kArticles, kPositions,
                timer.nsecsElapsed() / 1e6);

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

    SilentInteraction silent;
    setInteraction(&silent);
    const bool widgets = args.contains(QStringLiteral("--bar"));
    QuietProgress nullProgress;
    std::unique_ptr<WidgetProgress> widgetProgress;
    if (widgets) widgetProgress = std::make_unique<WidgetProgress>();
    Progress &progress = widgets ? static_cast<Progress &>(*widgetProgress) : nullProgress;

    auto count = [&](const char *condition) {
        QSqlQuery q(QSqlDatabase::database(s.gestor->connectionName()));
        q.exec(QStringLiteral("select count(*) from ART where INTNRO = 'B1'") + QLatin1String(condition));
        return q.next() ? q.value(0).toInt() : -1;
    };

    // Each run of a size: the process, then the C floor, then (at the first size) the QtSql floor,
    // so that all see the machine alike. The first run also warms the files and the engine's caches.
    const int runs = argc > 1 && argv[1][0] != '-' ? std::max(1, std::atoi(argv[1])) : 3;
    QList<Figures> results;
    for (int size : sizes) {
        kRows = size;
        SheetGridModel grid;
        fillGrid(grid);
        Figures f;
        f.rows = size;
        const bool qtFloor = results.isEmpty();
        for (int run = 0; run < runs; ++run) {
            ProcessDriver driver(s, progress);
            bool ok = true;
            const double before = f.wall;
            keepBest(f.wall, f.cpu, run == 0, [&] {
                QElapsedTimer t;
                t.start();
                ok = driver.FRAM2_GuardarDatosToBase(grid) && silent.messages == 0;
                return t.nsecsElapsed() / 1e6;
            });
            if (!ok) {
                std::fprintf(stderr, "the process did not complete\n");
                return 1;
            }
            if (run == 0 || f.wall < before)
                for (int i = 0; i < 4; ++i)
                    f.stages[i] = driver.stageMilliseconds(i + 1);
            double cStages[4];
            const double cBefore = f.cFloorWall;
            keepBest(f.cFloorWall, f.cFloorCpu, run == 0,
                     [&] { return runCFloor(dir.path(), grid, cStages); });
            if (run == 0 || f.cFloorWall < cBefore) std::copy(cStages, cStages + 4, f.cFloorStages);
            if (qtFloor)
                keepBest(f.qtFloorWall, f.qtFloorCpu, run == 0, [&] { return runFloor(dir.path(), grid); });
        }
        std::printf("\n%d grid rows (%.0f%% in the catalogue)\n", size, kFoundShare * 100);
        std::printf("rows: %d stored, %d found, %d OK, %d POS, %d SUF, %d ERR\n", count(""),
                    count(" and PRCEST in ('A','E')"), count(" and PRCCRC = 'OK'"),
                    count(" and PRCCRC = 'POS'"), count(" and PRCCRC = 'SUF'"), count(" and PRCCRC = 'ERR'"));
        const char *names[4] = {"stage 1 storing    ", "stage 2 catalogue  ", "stage 3 common data",
                                "stage 4 check      "};
        for (int i = 0; i < 4; ++i)
            std::printf("%s  %8.1f ms (C floor %.1f ms: %.2fx)\n", names[i], f.stages[i], f.cFloorStages[i],
                        f.stages[i] / f.cFloorStages[i]);
        std::printf("whole process        %8.1f ms (best of %d; %.1f ms CPU)%s\n", f.wall, runs, f.cpu,
                    widgets ? " with a repainted progress bar" : "");
        std::printf("floor (SQLite C API) %8.1f ms (%.1f ms CPU)\n", f.cFloorWall, f.cFloorCpu);
        if (qtFloor)
            std::printf("floor (QtSql)        %8.1f ms (%.1f ms CPU; %.2fx the C floor)\n", f.qtFloorWall,
                        f.qtFloorCpu, f.qtFloorCpu / f.cFloorCpu);
        std::printf("ratio to the C floor %8.2f (CPU %.2f)\n", f.wall / f.cFloorWall, f.cpu / f.cFloorCpu);
        std::printf("per row              %8.4f ms (CPU %.4f; C floor %.4f)\n", f.wall / size, f.cpu / size,
                    f.cFloorCpu / size);
        results << f;
    }

    if (!small) {
        std::printf("\ngoals (CPU time, which other processes on the machine inflate least):\n");
        for (const Figures &f : std::as_const(results)) {
            const double ratio = f.cpu / f.cFloorCpu;
            std::printf("  %6d rows: within 2x the C floor: %.2f %s\n", f.rows, ratio,
                        ratio <= 2 ? "met" : "NOT met");
            if (f.rows == 10000)
                std::printf("  %6d rows: under 300 ms: %.1f ms CPU, %.1f ms wall %s\n", f.rows, f.cpu, f.wall,
                            f.cpu < 300 ? "met" : "NOT met");
        }
        if (results.size() > 1) {
            const double growth =
                (results.last().cpu / results.last().rows) / (results.first().cpu / results.first().rows);
            const double floorGrowth = (results.last().cFloorCpu / results.last().rows) /
                                       (results.first().cFloorCpu / results.first().rows);
            std::printf("  linear: CPU per row at %d over %d rows: %.2f (the C floor's: %.2f) %s\n",
                        results.last().rows, results.first().rows, growth, floorGrowth,
                        growth <= std::max(1.25, floorGrowth * 1.1) ? "met" : "NOT met");
        }
    }
    setInteraction(nullptr);
    resetShared();
    return 0;
}
