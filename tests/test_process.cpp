// The automatic process end to end against real SQLite files: preconditions, the four stages,
// the error report, the suffix validation, the results panel and the country relation dialog.
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "ui/config/frmRelPais.h"
#include "data/PlanexoError.h"
#include "data/ShipmentLock.h"
#include "data/VbFormat.h"
#include "data/clPRINC.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/CatalogueLookup.h"
#include "process/CountryResolver.h"
#include "process/PositionCheck.h"
#include "process/ProcessDriver.h"
#include "process/ProcessRun.h"
#include "ui/process/ResultsPanel.h"
#include "process/Stage1Storing.h"
#include "process/SuffixText.h"
#include "transfer/TransferDriver.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <cstdio>

using Icon = Interaction::Icon;
namespace fl = fieldlabels;

namespace {

const QString kShipment = QStringLiteral("T1");
const QString kReportLocation = QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_GuardarDatosToBase]:: ");

// A grid as the import leaves it: headings in row 0, labels in row 1, data from row 2.
void fillGrid(SheetGridModel &grid, const QStringList &labels, const QVector<QStringList> &rows)
{
    grid.resize(2 + int(rows.size()), int(labels.size()));
    for (int c = 0; c < labels.size(); ++c) {
        grid.setText(0, c, QStringLiteral("Columna %1").arg(c + 1));
        grid.setText(1, c, labels[c]);
    }
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            grid.setText(2 + r, c, rows[r][c]);
}

void configure()
{
    SharedState &s = shared();
    s.PRCESM = QStringLiteral("1");
    s.INTCAT = QStringLiteral("001");
    s.INTDUN = QStringLiteral("07");
    s.AA_MARCA = QString();
    s.sInternoActual = kShipment;
}

QVariant art(TestEnv &env, int order, const QString &column)
{
    return env.scalar(
        QStringLiteral("select %1 from ART where INTNRO = 'T1' and ARTORD = %2").arg(column).arg(order));
}

int artCount(TestEnv &env, const QString &shipment = kShipment)
{
    return env.scalar(QStringLiteral("select count(*) from ART where INTNRO = '%1'").arg(shipment)).toInt();
}

// Reads the work database through a connection of its own, which sees only committed rows.
QVariant committed(TestEnv &env, const QString &query)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "committed-reader");
        db.setDatabaseName(env.dbFile("PlanexoGenericoOstrova.sqlite"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(query) && q.next()) value = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase("committed-reader");
    return value;
}

int artOrderOf(TestEnv &env, const QString &code)
{
    return env
        .scalar(QStringLiteral("select ARTORD from ART where INTNRO = 'T1' and ARTNRO = '%1'").arg(code))
        .toInt();
}

// The invoice of db/demo/factura_demo.xlsx, mapped.
const QStringList kDemoLabels = {fl::CodArticulo, fl::DescrModelo, fl::Cantidad, fl::PUnitario,
                                 fl::PTotal,      fl::Origen,      fl::KgNeto};
const QVector<QStringList> kDemoRows = {
    {"MT-500", "MARTILLO CARPINTERO 500G", "24", "4.25", "102", "CHINA", "12.5"},
    {"DS-PH2", "DESTORNILLADOR PHILLIPS PH2", "50", "1.1", "55", "CHINA", "5"},
    {"TL-13", "TALADRO PERCUTOR 13MM", "4", "38", "152", "P.R. CHINA", "10.2"},
    {"ZP-42", "ZAPATO DE SEGURIDAD T42", "12", "21.5", "258", "BRASIL", "9.6"},
    {"CB-2X15", "CABLE BIPOLAR 2X1.5MM", "3", "55", "165", "BRAZIL", "30"},
    {"LL-10", "LLAVE AJUSTABLE 10", "10", "6.8", "68", "CHINA", "4"},
    {"MT-300", "MARTILLO BOLITA 300G", "24", "3.9", "93.6", "CHINA", "7.2"},
    {"SR-01", "SIERRA MANUAL", "6", "9", "54", "CHINA", "3"},
    {"AM-DIG", "MULTIMETRO DIGITAL", "2", "15", "30", "REP. POPULAR CHINA", "0.8"},
    {"PZ-900", "PINZA UNIVERSAL 8", "20", "2.5", "50", "REP. POPULAR CHINA", "2"},
    {"LN-LED", "LINTERNA LED RECARGABLE", "15", "7.2", "108", "ESTADOS UNIDOS", "1.5"},
    {"TC-7", "TIJERA DE CHAPA", "5", "8", "40", "USA", "2.5"},
};

// Answers the relation dialog by choosing a country and pressing F11.
ScriptedInteraction::ModalDriver chooseCountry(const QString &entry, QString *shownOrigin = nullptr)
{
    return [entry, shownOrigin](QDialog &d) {
        if (shownOrigin) *shownOrigin = d.findChild<QLineEdit *>(QStringLiteral("txtValor"))->text();
        auto *combo = d.findChild<QComboBox *>(QStringLiteral("cboPais"));
        combo->setCurrentIndex(combo->findText(entry));
        QTest::keyClick(d.findChild<QLineEdit *>(QStringLiteral("txtValor")), Qt::Key_F11);
        return d.result();
    };
}

// The invoice used by the instances of the two-instance test.
const QVector<QStringList> kLockRows = {{"MT-500", "24", "102"}, {"NEW-9", "2", "10"}};
const QStringList kLockLabels = {fl::CodArticulo, fl::Cantidad, fl::PTotal};

// A progress display that stops its instance for good when stage 2 starts, after saying so.
class StallingProgress : public RecordingProgress {
  public:
    void setCaption(const QString &c) override
    {
        RecordingProgress::setCaption(c);
        if (!c.contains(QStringLiteral("Etapa 2"))) return;
        std::fputs("PROCESANDO\n", stdout);
        std::fflush(stdout);
        for (;;)
            QThread::sleep(60);
    }
};

// Another program instance: processes shipment T1 of the program folder given and stalls midway.
int runStalledInstance(const QString &programFolder)
{
    SharedState &s = shared();
    s.programFolder = programFolder;
    s.gestor = std::make_unique<oAlm::clGestor>();
    s.fmt = std::make_unique<cFMTX::PRINC>();
    s.entorno = std::make_unique<oENTX::clEntorno>();
    s.enlace = std::make_unique<EnlaceDatos::EDMain>(programFolder);
    s.enlace->LoadParameters();
    s.gestor->CadenaConexion = oAlm::clGestor::connectionStringFor(programFolder);
    s.gestor->Conectar();
    configure();
    ScriptedInteraction script;
    SheetGridModel grid;
    fillGrid(grid, kLockLabels, kLockRows);
    StallingProgress progress;
    ProcessDriver(s, progress).FRAM2_GuardarDatosToBase(grid);
    std::fputs(qPrintable(script.report() + QLatin1Char('\n')), stdout);
    return 1;
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TestEnv::usePoint(); }

    void preconditions_data();
    void preconditions();
    void columnRecognition();
    void stage1Values_data();
    void stage1Values();
    void stage1InsertStatement();
    void stage1BrandAndSuffixText();
    void stage1HostileCells();
    void stage1NoDataRows();
    void stage1Failures_data();
    void stage1Failures();
    void unitPrice();
    void countryResolution();
    void unknownOriginAsksOnce();
    void relationDialogRepeatsUntilChosen();
    void statementBuilder();
    void suffixText();
    void suffixTextError();
    void stage2Update();
    void stage2EdgeCases();
    void stage2QuotesFromCatalogue();
    void stage2FailureKeepsEarlierRows();
    void stage2UnreachableCatalogue();
    void stage3CommonData();
    void stage3FailureShowsStatementTwo();
    void stage4GradesAndStatistics();
    void stage4FailureKeepsGrades();
    void stage4ManyRowsAsRowByRow();
    void stage4ManyRowsFailureKeepsEarlierGrades();
    void progressAndCaptions();
    void validarSufijos_data();
    void validarSufijos();
    void validarSufijosCachesPerInstance();
    void validarSufijosReadAhead();
    void validarSufijosWithoutManager();
    void resultsPanelCounts();
    void resultsPanelEmptyAndFailure();
    void demoInvoiceEndToEnd_data();
    void demoInvoiceEndToEnd();
    void noSuffixMarkerWithBrandEndToEnd();
    void shipmentLockWithinOneProcess();
    void secondInstanceIsRefused();
    void relationDialogChecks();
    void relationDialogSaves();
    void relationDialogDuplicateAndLoadFailure();
};

// ---------------------------------------------------------------- preconditions and columns

// clang-format off
void TestProcess::preconditions_data()
{
    QTest::addColumn<QString>("prcesm");
    QTest::addColumn<QString>("intcat");
    QTest::addColumn<QString>("intdun");
    QTest::addColumn<QString>("message");
    QTest::newRow("all empty: goods state first") << "" << "" << "" << "Falta establecer el valor predeterminado de Estado de "
                                                     "Mercaderia\r\n\r\nHaga click en CONFIGURACIÓN";
    QTest::newRow("catalogue before unit") << "1" << "" << "" << "Falta seleccionar el CATALOGO\r\n\r\nHaga click en CONFIGURACIÓN";
    QTest::newRow("unit") << "1" << "001" << "  " << "Falta seleccionar UNIDAD DECLARADA\r\n\r\nHaga click en CONFIGURACIÓN";
}
// clang-format on

void TestProcess::preconditions()
{
    QFETCH(QString, prcesm);
    QFETCH(QString, intcat);
    QFETCH(QString, intdun);
    QFETCH(QString, message);
    TestEnv env;
    env.connect();
    configure();
    env.exec("insert into ART (INTNRO, ARTORD, ARTNRO) values ('T1', 1, 'OLD')");
    SharedState &s = shared();
    s.PRCESM = prcesm;
    s.INTCAT = intcat;
    s.INTDUN = intdun;
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, {{"A", "1", "1"}});
    ScriptedInteraction script;
    script.expectMessage(message, Icon::Exclamation);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(s, progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(artCount(env), 1);
    QCOMPARE(art(env, 1, "ARTNRO").toString(), QString("OLD"));
    QVERIFY(progress.barVisible());
    QVERIFY(progress.captions.isEmpty());
}

void TestProcess::columnRecognition()
{
    SheetGridModel grid;
    fillGrid(grid,
             {fl::Ninguno, fl::CodArticulo, "[COD. ARTICULO]", fl::Marca, "", fl::PTotal, fl::CodArticulo,
              fl::PUnitario, fl::Origen, " [ UNIDAD ]"},
             {});
    const ColumnMap map = ColumnMap::recognise(grid);
    QCOMPARE(map.column(Field::CodArticulo), 6); // a later column replaces an earlier one
    QCOMPARE(map.column(Field::Marca), 3);
    QCOMPARE(map.column(Field::PTotal), 5);
    QCOMPARE(map.column(Field::PUnitario), 7);
    QCOMPARE(map.column(Field::Origen), 8);
    QVERIFY(!map.has(Field::Unidad)); // labels compare exactly
    QVERIFY(!map.has(Field::Cantidad));
    QVERIFY(!map.has(Field::KgBruto));
    for (int f = 0; f < kFieldCount; ++f)
        QVERIFY(!ColumnMap::label(Field(f)).isEmpty());
}

// ---------------------------------------------------------------- stage 1

// clang-format off
void TestProcess::stage1Values_data()
{
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<double>("expectedTotal");
    QTest::addColumn<double>("expectedUnit");
    QTest::addColumn<double>("expectedWeight");
    QTest::newRow("comma: 11 / 4") << true << "11" << "4" << "1.234,5" << 11.0 << 2.75 << 1234.5;
    QTest::newRow("point: 11 / 4") << false << "11" << "4" << "1,234.5" << 11.0 << 2.75 << 1234.5;
    QTest::newRow("comma: total rounded to cents") << true << "11,005" << "3" << "0,25" << 11.01 << 3.67 << 0.25;
    QTest::newRow("point: total rounded to cents") << false << "11.005" << "3" << "0.25" << 11.01 << 3.67 << 0.25;
    QTest::newRow("comma: unit rounded to 4 decimals") << true << "10" << "3" << "" << 10.0 << 3.3333 << -1.0;
    QTest::newRow("point: negative total") << false << "-10" << "4" << "2" << -10.0 << -2.5 << 2.0;
    QTest::newRow("point: halves of decimal digits") << false << "2.675" << "1" << "" << 2.68 << 2.68 << -1.0;
    QTest::newRow("comma: one decimal kept") << true << "12,5" << "4" << "" << 12.5 << 3.125 << -1.0;
    QTest::newRow("point: leading zeros past 15 digits") << false << "0000000000000012.345" << "2" << "" << 12.35
                                                          << 6.175 << -1.0;
    QTest::newRow("comma: tiny negative total is zero") << true << "-0,001" << "2" << "" << 0.0 << 0.0 << -1.0;
}
// clang-format on

void TestProcess::stage1Values()
{
    QFETCH(bool, comma);
    QFETCH(QString, total);
    QFETCH(QString, quantity);
    QFETCH(QString, weight);
    QFETCH(double, expectedTotal);
    QFETCH(double, expectedUnit);
    QFETCH(double, expectedWeight);
    comma ? TestEnv::useComma() : TestEnv::usePoint();
    TestEnv env;
    env.connect();
    configure();
    shared().AA_MARCA = QStringLiteral("GENERICA");
    env.exec("insert into ART (INTNRO, ARTORD, ARTNRO) values ('T1', 7, 'OLD'), ('T2', 1, 'OTHER')");
    SheetGridModel grid;
    fillGrid(grid,
             {fl::CodArticulo, fl::DescrModelo, fl::Cantidad, fl::PTotal, fl::Unidad, fl::KgNeto, fl::PaNcm},
             {{"AB'12 ", "  DESC'X  ", quantity, total, "7", weight, "8205.20.00.000K"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    QCOMPARE(artCount(env), 1);       // the shipment's old rows are gone
    QCOMPARE(artCount(env, "T2"), 1); // other shipments keep theirs
    QCOMPARE(art(env, 1, "ARTNRO").toString(), QString("AB 12"));
    QCOMPARE(art(env, 1, "ARTDSC").toString(), QString("DESC X"));
    QCOMPARE(art(env, 1, "typeof(ARTTOT)").toString(), QString("real"));
    QCOMPARE(art(env, 1, "ARTTOT").toDouble(), expectedTotal);
    QCOMPARE(art(env, 1, "ARTUNI").toDouble(), expectedUnit);
    QCOMPARE(art(env, 1, "ARTCAN").toDouble(), vb::cdbl(quantity));
    if (expectedWeight < 0)
        QVERIFY(art(env, 1, "ARTTKG").isNull()); // an empty numeric cell is Null
    else
        QCOMPARE(art(env, 1, "ARTTKG").toDouble(), expectedWeight);
    QCOMPARE(art(env, 1, "ARTKGB").toDouble(), 0.0);
    QCOMPARE(art(env, 1, "PRCDUN").toString(), QString("07"));
    QCOMPARE(art(env, 1, "PRCNCM").toString(), QString("8205.20.00.000K"));
    QCOMPARE(art(env, 1, "MARCA").toString(), QString("GENERICA")); // the default brand
    QCOMPARE(art(env, 1, "PRCSUF").toString(), QString());
    QCOMPARE(art(env, 1, "ARTORG").toString(), QString());
    QCOMPARE(art(env, 1, "DESCRIPCION_MARIA").toString(), QString());
}

void TestProcess::stage1InsertStatement()
{
    TestEnv::useComma();
    TestEnv env;
    env.connect();
    configure();
    shared().AA_MARCA = QStringLiteral("ACME");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, {{"X1", "4", "11"}, {"", "", ""}});
    const QString prefix = Stage1Storing::insertPrefix(kShipment);
    QCOMPARE(prefix,
             QString("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, ARTCAN, ARTUNI, ARTTOT "
                     ",PRCNCM,PRCDUN,ARTORG,ARTKGB,MARCA,DESCRIPCION_MARIA,PRCSUF) values ('T1', "));
    QCOMPARE(Stage1Storing::insertPrefix("O'X"), prefix.left(prefix.size() - 6) + "'O''X', ");

    QStringList statements;
    RecordingProgress progress;
    ProcessDriver driver(shared(), progress);
    driver.setStatementObserver([&](const QString &st) { statements << st; });
    ScriptedInteraction script;
    // The blank second row is stored too and stops the run at its unit price.
    script.expectMessage(
        ProcessDriver::errorReport(13, "No coinciden los tipos", step::UnitPrice, "Planexo", prefix),
        Icon::Critical);
    QVERIFY(!driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(statements.value(0), QString("delete from ART where INTNRO = 'T1'"));
    QCOMPARE(statements.value(1), prefix + "1,'X1','',0,4,2.75,11,'','07','',0,'ACME','',''" + ")");
    QCOMPARE(statements.size(), 2);
}

void TestProcess::stage1BrandAndSuffixText()
{
    TestEnv env;
    env.connect();
    configure();
    shared().AA_MARCA = QStringLiteral("IGNORED");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Marca, fl::Cantidad, fl::PTotal, fl::DescrMaria, fl::KgBruto},
             {{"MT-500", "STANLEY", "1", "1", "MARTILLO", "2.5"},
              {"O'K", "D'ARC", "1", "1", "", ""},
              {"Z1", "", "1", "1", "", "3"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    shared().INTCAT = QStringLiteral("none"); // nothing found: stage 1's suffix texts stay
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(art(env, 1, "MARCA").toString(), QString("STANLEY"));
    QCOMPARE(art(env, 1, "PRCSUF").toString(), QString("AA(STANLEY)-AB(MT-500)"));
    QCOMPARE(art(env, 1, "DESCRIPCION_MARIA").toString(), QString("MARTILLO"));
    QCOMPARE(art(env, 1, "ARTKGB").toDouble(), 2.5);
    QCOMPARE(art(env, 2, "ARTNRO").toString(), QString("O K"));
    QCOMPARE(art(env, 2, "MARCA").toString(), QString("D'ARC"));
    QCOMPARE(art(env, 2, "PRCSUF").toString(), QString("AA(D'ARC)-AB(O'K)"));
    QVERIFY(art(env, 2, "ARTKGB").isNull());
    QCOMPARE(art(env, 3, "MARCA").toString(), QString());
    QCOMPARE(art(env, 3, "PRCSUF").toString(), QString("AA()-AB(Z1)"));
    QCOMPARE(art(env, 3, "PRCEST").toString(), QString());
    QCOMPARE(art(env, 3, "PRCCRC").toString(), QString());
    QCOMPARE(art(env, 3, "PRCESM").toString(), QString("1")); // stage 3 gives new articles the default
}

void TestProcess::stage1HostileCells()
{
    TestEnv env;
    env.connect();
    configure();
    const QString injection = QStringLiteral("x'); delete from ART; --");
    const QString controls = QStringLiteral("a\tb\r\nc\x01"
                                            "d\\e;f--g");
    const QString huge = QString(10000, QLatin1Char('W')) + QStringLiteral("'");
    const QString withNul = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
    SheetGridModel grid;
    fillGrid(
        grid,
        {fl::CodArticulo, fl::DescrModelo, fl::DescrMaria, fl::PaNcm, fl::Marca, fl::Cantidad, fl::PTotal},
        {{injection, controls, injection, controls, huge, "1", "1"},
         {huge, huge, huge, "\\'", "--", "2", "3"},
         {withNul, "", withNul, "", "", "1", "1"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    shared().INTCAT = QStringLiteral("none");
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(artCount(env), 3);
    QCOMPARE(art(env, 1, "ARTNRO").toString(), QString("x ); delete from ART; --"));
    QCOMPARE(art(env, 1, "ARTDSC").toString(), controls.trimmed());
    QCOMPARE(art(env, 1, "DESCRIPCION_MARIA").toString(), injection);
    QCOMPARE(art(env, 1, "PRCNCM").toString(), controls);
    QCOMPARE(art(env, 1, "MARCA").toString(), huge);
    QCOMPARE(art(env, 1, "PRCSUF").toString(), "AA(" + huge + ")-AB(" + injection + ")");
    QCOMPARE(art(env, 2, "ARTNRO").toString(), QString(10000, QLatin1Char('W')));
    QCOMPARE(art(env, 2, "ARTDSC").toString(), QString(10000, QLatin1Char('W')) + " ");
    QCOMPARE(art(env, 2, "DESCRIPCION_MARIA").toString(), huge);
    QCOMPARE(art(env, 2, "PRCNCM").toString(), QString("\\'"));
    QCOMPARE(art(env, 2, "MARCA").toString(), QString("--"));
    QCOMPARE(art(env, 2, "ARTUNI").toDouble(), 1.5);
    // A NUL would cut the statement; it is dropped.
    QCOMPARE(art(env, 3, "ARTNRO").toString(), QString("abcd"));
    QCOMPARE(art(env, 3, "DESCRIPCION_MARIA").toString(), QString("abcd"));
    QCOMPARE(env.scalar("select count(*) from ART").toInt(), 3); // the injected delete never ran
}

void TestProcess::stage1NoDataRows()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("insert into ART (INTNRO, ARTORD, ARTNRO) values ('T1', 1, 'OLD'), ('T1', 2, 'OLD2')");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, {});
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(artCount(env), 0);
    QCOMPARE(progress.caption(), QString("Fin de Proceso"));
}

// clang-format off
void TestProcess::stage1Failures_data()
{
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<long>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("failedStep");
    QTest::newRow("zero quantity, comma") << true << "0" << "10" << "1" << 11L << "División por cero" << step::UnitPrice;
    QTest::newRow("zero quantity, point") << false << "0,0" << "10" << "1" << 11L << "División por cero" << step::UnitPrice;
    QTest::newRow("empty total") << false << "2" << "" << "1" << 13L << "No coinciden los tipos" << step::UnitPrice;
    QTest::newRow("text total") << true << "2" << "diez" << "1" << 13L << "No coinciden los tipos" << step::UnitPrice;
    QTest::newRow("empty quantity") << false << "" << "10" << "1" << 13L << "No coinciden los tipos" << step::UnitPrice;
    QTest::newRow("text weight") << false << "2" << "10" << "1 kg" << 13L << "No coinciden los tipos" << step::RowValues;
    QTest::newRow("two separators in comma locale") << true << "2" << "10" << "1,5,0" << 13L << "No coinciden los tipos" << step::RowValues;
}
// clang-format on

void TestProcess::stage1Failures()
{
    QFETCH(bool, comma);
    QFETCH(QString, quantity);
    QFETCH(QString, total);
    QFETCH(QString, weight);
    QFETCH(long, number);
    QFETCH(QString, description);
    QFETCH(int, failedStep);
    comma ? TestEnv::useComma() : TestEnv::usePoint();
    TestEnv env;
    env.connect();
    configure();
    // The shipment's articles of an earlier run.
    env.exec("insert into ART (INTNRO, ARTORD, ARTNRO, PRCEST) values ('T1', 1, 'OLD1', 'A'), ('T1', 2, "
             "'OLD2', 'M')");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal, fl::KgNeto},
             {{"A1", "2", "10", "1"}, {"A2", quantity, total, weight}, {"A3", "2", "10", "1"}});
    ScriptedInteraction script;
    script.expectMessage(description + "\r\n\r\n" + QString::number(number) + kReportLocation +
                             QString::number(failedStep) + "Planexo\r\n\r\nSQL:\r\n" +
                             Stage1Storing::insertPrefix(kShipment),
                         Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    // The stage's delete and inserts are undone together: the earlier articles stay as they were,
    // committed, and the row stored before the failure is gone with the rest.
    QCOMPARE(artCount(env), 2);
    QCOMPARE(committed(env, "select group_concat(ARTNRO || ':' || PRCEST, ',') from ART where INTNRO = 'T1'")
                 .toString(),
             QString("OLD1:A,OLD2:M"));
    QCOMPARE(art(env, 1, "ARTNRO").toString(), QString("OLD1"));
    QVERIFY(progress.barVisible());
    QCOMPARE(progress.caption(), QString("Procesando... Etapa 1 de 4: Guardando en base de datos"));
}

void TestProcess::unitPrice()
{
    TestEnv::useComma();
    QCOMPARE(Stage1Storing::unitPrice("11", "4"), QString("02,7500"));
    QCOMPARE(Stage1Storing::unitPrice("1.000,5", "2"), QString("500,2500"));
    QCOMPARE(Stage1Storing::unitPrice("0", "3"), QString("00,0000"));
    TestEnv::usePoint();
    QCOMPARE(Stage1Storing::unitPrice("11", "4"), QString("02.7500"));
    QCOMPARE(Stage1Storing::unitPrice("2", "3"), QString("00.6667"));
    QCOMPARE(errorNumberOf([&] { Stage1Storing::unitPrice("1e300", "1e-300"); }), 6L);
    QCOMPARE(errorNumberOf([&] { Stage1Storing::unitPrice("5", "0"); }), 11L);
}

// ---------------------------------------------------------------- origin countries

void TestProcess::countryResolution()
{
    TestEnv env;
    env.connect();
    ScriptedInteraction script;
    CountryResolver resolver(shared());
    QCOMPARE(resolver.ObtenerCodigoPais("310"), QString("310"));   // by id
    QCOMPARE(resolver.ObtenerCodigoPais("china"), QString("310")); // by description
    QCOMPARE(resolver.ObtenerCodigoPais("ESTADOS UNIDOS"), QString("212"));
    QCOMPARE(resolver.ObtenerCodigoPais("PRC"), QString("310")); // by a taught relation
    QCOMPARE(resolver.ObtenerCodigoPais("GERMANY"), QString("438"));
    QCOMPARE(resolver.ObtenerCodigoPais("   "), QString()); // blank: nothing to resolve
    env.exec("insert into ORG (PAI, ORI) values ('O''HIGGINS', '208')");
    QCOMPARE(resolver.ObtenerCodigoPais("O'HIGGINS"), QString("208"));
    // A numeric text that is no country id goes on to the relations.
    env.exec("insert into ORG (PAI, ORI) values ('999', '200')");
    QCOMPARE(resolver.ObtenerCodigoPais("999"), QString("200"));
    VERIFY_SCRIPT(script);
}

void TestProcess::unknownOriginAsksOnce()
{
    TestEnv env;
    env.connect();
    configure();
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal, fl::Origen},
             {{"N1", "1", "1", "REP. POPULAR CHINA"},
              {"N2", "1", "1", "CHINA"},
              {"N3", "1", "1", "REP. POPULAR CHINA"}});
    ScriptedInteraction script;
    QString shown;
    script.expectMessage("Pais REP. POPULAR CHINA no reconocido", Icon::Critical);
    script.expectModal("frmRelPais", chooseCountry("CHINA (310)", &shown));
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(shown, QString("REP. POPULAR CHINA"));
    QCOMPARE(shared().sRetorno, QString("REP. POPULAR CHINA"));
    QCOMPARE(art(env, 1, "ARTORG").toString(), QString("310"));
    QCOMPARE(art(env, 2, "ARTORG").toString(), QString("310"));
    QCOMPARE(art(env, 3, "ARTORG").toString(), QString("310"));
    QCOMPARE(env.scalar("select ORI from ORG where PAI = 'REP. POPULAR CHINA'").toString(), QString("310"));
}

void TestProcess::relationDialogRepeatsUntilChosen()
{
    TestEnv env;
    env.connect();
    ScriptedInteraction script;
    int shows = 0;
    script.expectModal("frmRelPais", [&](QDialog &d) {
        ++shows;
        QTest::keyClick(d.findChild<QLineEdit *>("txtESM"), Qt::Key_Escape);
        return d.result();
    });
    // The operator edits the origin text; the relation learns the edit, the caller gets the code.
    script.expectModal("frmRelPais", [&](QDialog &d) {
        ++shows;
        d.findChild<QLineEdit *>("txtValor")->setText("MADE IN PRC");
        auto *combo = d.findChild<QComboBox *>("cboPais");
        combo->setCurrentIndex(combo->findText("TAIWAN (313)"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_F11);
        return d.result();
    });
    CountryResolver resolver(shared());
    QCOMPARE(resolver.PedirRelacionPais("FORMOSA"), QString("313"));
    VERIFY_SCRIPT(script);
    QCOMPARE(shows, 2);
    QCOMPARE(env.scalar("select ORI from ORG where PAI = 'MADE IN PRC'").toString(), QString("313"));
    QVERIFY(env.scalar("select ORI from ORG where PAI = 'FORMOSA'").isNull());
}

// ---------------------------------------------------------------- suffix texts

void TestProcess::statementBuilder()
{
    TestEnv::useComma();
    Statement st(QStringLiteral("insert into T values ("));
    st.text("O'Brien").sql(",").text(QString()).sql(",").text(QStringLiteral("a") + QChar(0) + "b").sql(",");
    st.numberFromText("").sql(",").numberFromText("1.234,5").sql(",").integer(7).sql(",").number(-0.25).sql(
        ")");
    QCOMPARE(st.literal(), QString("insert into T values ('O''Brien','','ab',Null,1234.5,7,-0.25)"));
    QCOMPARE(st.shape(), QString("insert into T values (?,?,?,?,?,?,?)"));
    QCOMPARE(st.values().size(), 7);
    QCOMPARE(st.values()[0].toString(), QString("O'Brien"));
    QVERIFY(!st.values()[1].isNull()); // an empty text is stored as '', not as Null
    QCOMPARE(st.values()[1].toString(), QString(""));
    QCOMPARE(st.values()[2].toString(), QString("ab"));
    QVERIFY(st.values()[3].isNull());
    QCOMPARE(st.values()[4].toDouble(), 1234.5);
    QCOMPARE(errorNumberOf([&] { st.numberFromText("12 kg"); }), 13L);
}

void TestProcess::suffixText()
{
    ScriptedInteraction script;
    QCOMPARE(cambiarCadenaSufijo("AA(X)-AB(Y)", "AA", "Z"), QString("AA(Z)-AB(Y)"));
    QCOMPARE(cambiarCadenaSufijo("AA(X)", "AB", "Y"), QString("AA(X)-AB(Y)"));
    QCOMPARE(cambiarCadenaSufijo("", "AA", "X"), QString("AA(X)"));
    QCOMPARE(cambiarCadenaSufijo("aa(X)", "AA", "Z"), QString("aa(Z)"));
    QCOMPARE(cambiarCadenaSufijo("AA(OLD)-AB(M1)", "AB", ""), QString("AA(OLD)-AB()"));
    QCOMPARE(cambiarCadenaSufijo("AA()-JD01", "AA", "NEW"), QString("AA(NEW)-JD01"));
    QCOMPARE(cambiarCadenaSufijo("JD01-AA(A)-AB(B)", "AB", "C-D"), QString("JD01-AA(A)-AB(C-D)"));
    QCOMPARE(cambiarCadenaSufijo("AA(X)-", "AB", "Y"), QString("AA(X)--AB(Y)"));
    VERIFY_SCRIPT(script);
}

void TestProcess::suffixTextError()
{
    ScriptedInteraction script;
    script.expectMessage(
        "Error 5 (Llamada a procedimiento o argumento no válidos) in procedure cambiarCadenaSufijo "
        "of Formulario frmMain",
        Icon::None);
    QCOMPARE(cambiarCadenaSufijo("AB(Y)-AA(X", "aa", "Z"), QString());
    VERIFY_SCRIPT(script);
}

// ---------------------------------------------------------------- stage 2

void TestProcess::stage2Update()
{
    TestEnv env;
    env.connect();
    configure();
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Marca, fl::Cantidad, fl::PTotal},
             {{"MT-500", "NEW", "2", "8"}, {"NOPE", "", "1", "1"}});
    QStringList statements;
    RecordingProgress progress;
    ProcessDriver driver(shared(), progress);
    driver.setStatementObserver([&](const QString &st) { statements << st; });
    ScriptedInteraction script;
    QVERIFY(driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    const QStringList expected = {
        "select DISTINCT ARTNRO,ARTORD,ARTORG, ARTUNI,MARCA,PRCNCM,PRCSUF ,ARTDSC,DESCRIPCION_MARIA from ART "
        "where INTNRO = 'T1' order by ARTNRO",
        "select ncm, lapi, sufijos, idunidad, estadistica, estadomerc, deresp, preciounitario, descripcion, "
        "idpais , "
        "descripcion_maria from catarticulos where idcatalogo = '001' and idarticulo = 'MT-500'",
        TestEnv::calveraSql(
            "select [059] as lapi,[012] as estadistica,[020] as deresp from ncm where  [001] = "
            "'8205.20.00' and [002] = '000'"),
        "update ART set PRCNCM = '8205.20.00.000K',PRCLAP = 'N',DESCRIPCION_MARIA = 'MARTILLO DE ACERO CON "
        "MANGO DE "
        "MADERA',PRCSUF = 'AA(NEW)-AB(MT 500)-JD01',ARTORG = '310',ARTDSC = 'MARTILLO CARPINTERO "
        "500G',PRCEUN = "
        "'07',PRCESM = '1',PRCEST = 'A' WHERE INTNRO = 'T1'  and ARTNRO = 'MT-500'  and MARCA = 'NEW'  and "
        "ARTORD = 1",
        "select ncm, lapi, sufijos, idunidad, estadistica, estadomerc, deresp, preciounitario, descripcion, "
        "idpais , "
        "descripcion_maria from catarticulos where idcatalogo = '001' and idarticulo = 'NOPE'",
    };
    const int first = int(statements.indexOf(expected[0]));
    QVERIFY2(first > 0, qPrintable(statements.join('\n')));
    QCOMPARE(statements.mid(first, expected.size()), expected);
    QCOMPARE(art(env, 1, "PRCEST").toString(), QString("A"));
    QCOMPARE(art(env, 1, "PRCSUF").toString(), QString("AA(NEW)-AB(MT 500)-JD01"));
    QVERIFY(art(env, 2, "PRCEST").isNull());
    QVERIFY(art(env, 2, "PRCCRC").isNull());
    QCOMPARE(art(env, 2, "PRCSUF").toString(), QString("AA()-AB(NOPE)")); // untouched by stage 2
}

void TestProcess::stage2EdgeCases()
{
    TestEnv env;
    env.connect();
    configure();
    shared().PRCESM = QStringLiteral("9");
    SheetGridModel grid;
    fillGrid(
        grid,
        {fl::CodArticulo, fl::DescrModelo, fl::DescrMaria, fl::PaNcm, fl::Cantidad, fl::PTotal, fl::Origen},
        {{"TL-13", "", "MIA", "8544.49.00.900Z", "1", "1", ""}, // own position, catalogue's units
         {"AM-DIG", "OWN", "", "", "1", "1", "BRASIL"},         // "* " is no LAPI mark; blank goods state
         {"LL-10", "", "", "", "1", "1", ""},                   // position not in the nomenclator
         {"ZP-42", "", "", "", "1", "1", ""},                   // specific-duty unit
         {"DS-PH2", "", "", "", "1", "1", ""},                  // same code and brand twice
         {"DS-PH2", "", "", "", "2", "4", ""}});
    env.execCalvera("INTERNOS",
                    "update catarticulos set sufijos = NULL, lapi = 'X' where idarticulo = 'DS-PH2'");
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    QCOMPARE(art(env, 1, "PRCNCM").toString(), QString("8544.49.00.900Z"));
    QCOMPARE(art(env, 1, "PRCLAP").toString(), QString("S"));  // [059] of 8467.21.00.100 is "*"
    QCOMPARE(art(env, 1, "PRCEUN").toString(), QString("07")); // 8544.49.00.900 would give 01
    QCOMPARE(art(env, 1, "PRCCRC").toString(), QString("OK")); // graded on its own position
    QCOMPARE(art(env, 1, "DESCRIPCION_MARIA").toString(), QString("MIA"));
    QCOMPARE(art(env, 1, "ARTDSC").toString(), QString("TALADRO PERCUTOR 13MM 750W"));
    QCOMPARE(art(env, 1, "ARTORG").toString(), QString("310"));
    QCOMPARE(art(env, 1, "PRCSUF").toString(), QString("AA(BOSCH)-AB(TL 13)-ZA(000750)")); // blank brand

    QCOMPARE(art(env, 2, "PRCLAP").toString(), QString("N"));
    QCOMPARE(art(env, 2, "PRCESM").toString(), QString("9"));
    QCOMPARE(art(env, 2, "ARTDSC").toString(), QString("OWN"));
    QCOMPARE(art(env, 2, "ARTORG").toString(), QString("203"));
    QCOMPARE(art(env, 2, "PRCSUF").toString(), QString());
    QCOMPARE(art(env, 2, "DESCRIPCION_MARIA").toString(), QString()); // both blank

    QCOMPARE(art(env, 3, "PRCLAP").toString(), QString("N"));
    QVERIFY(art(env, 3, "PRCEUN").isNull());
    QVERIFY(art(env, 3, "PRCSUN").isNull());
    QCOMPARE(art(env, 3, "PRCEST").toString(), QString("E"));
    QCOMPARE(art(env, 3, "PRCCRC").toString(), QString("POS"));

    QCOMPARE(art(env, 4, "PRCSUN").toString(), QString("08"));
    QCOMPARE(art(env, 4, "PRCEUN").toString(), QString("08"));
    QCOMPARE(art(env, 4, "PRCESM").toString(), QString("1"));

    for (int order : {5, 6}) {
        QCOMPARE(art(env, order, "PRCEST").toString(), QString("E")); // sufijos NULL: suffixes missing
        QCOMPARE(art(env, order, "PRCCRC").toString(), QString("SUF"));
        QCOMPARE(art(env, order, "PRCLAP").toString(), QString("X")); // catalogue lapi as it is
        QCOMPARE(art(env, order, "ARTDSC").toString(), QString("DESTORNILLADOR PHILLIPS PH2"));
    }
}

void TestProcess::stage2QuotesFromCatalogue()
{
    TestEnv env;
    env.connect();
    configure();
    env.execCalvera("INTERNOS",
                    "insert into catarticulos (idcatalogo, idarticulo, descripcion, idpais, ncm, lapi, "
                    "sufijos, estadomerc, descripcion_maria) values ('001', 'Q 1', 'O''HARA', '3''1', "
                    "'8205.20.00.000K', '', 'AA(O''X)-AB(Q''1)-JD''1', '''', 'D''M')");
    env.execCalvera("NCM", "update ncm set [012] = '0''7', [020] = '''' where [001] = '8205.20.00'");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, {{"Q'1", "1", "1"}});
    // The code's quote becomes a blank in stage 1, so the catalogue is asked for "Q 1".
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(art(env, 1, "ARTDSC").toString(), QString("O'HARA"));
    QCOMPARE(art(env, 1, "ARTORG").toString(), QString("3'1"));
    QCOMPARE(art(env, 1, "PRCSUF").toString(), QString("AA(O'X)-AB(Q'1)-JD'1"));
    QCOMPARE(art(env, 1, "PRCESM").toString(), QString("'"));
    QCOMPARE(art(env, 1, "DESCRIPCION_MARIA").toString(), QString("D'M"));
    QCOMPARE(art(env, 1, "PRCEUN").toString(), QString("0'7"));
    QCOMPARE(art(env, 1, "PRCSUN").toString(), QString("'"));
    QCOMPARE(art(env, 1, "PRCCRC").toString(), QString("SUF")); // "JD'1" is no option element
}

void TestProcess::stage2FailureKeepsEarlierRows()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("create trigger refuse before update on ART when NEW.ARTNRO = 'TL-13' "
             "begin select raise(abort, 'fila bloqueada'); end");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal},
             {{"MT-500", "1", "1"}, {"MT-300", "1", "1"}, {"TL-13", "1", "1"}});
    const QString update =
        "update ART set PRCNCM = '8467.21.00.100A',PRCLAP = 'S',DESCRIPCION_MARIA = 'TALADRO "
        "ELECTRICO PERCUTOR',PRCSUF = 'AA(BOSCH)-AB(TL 13)-ZA(000750)',ARTORG = '310',ARTDSC = "
        "'TALADRO PERCUTOR 13MM 750W',PRCEUN = '07',PRCESM = '1',PRCEST = 'A' WHERE INTNRO = 'T1' "
        " and ARTNRO = 'TL-13'  and MARCA = ''  and ARTORD = 3";
    ScriptedInteraction script;
    script.expectMessage(
        ProcessDriver::errorReport(1811, "fila bloqueada", step::UpdateArticle, "oAlm.clGestor", update),
        Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    // In code order MT-300 and MT-500 come before TL-13: their updates stay.
    QCOMPARE(art(env, 1, "PRCEST").toString(), QString("A"));
    QCOMPARE(art(env, 2, "PRCEST").toString(), QString("A"));
    QVERIFY(art(env, 3, "PRCEST").isNull());
    QVERIFY(art(env, 3, "PRCCRC").isNull());
    QCOMPARE(committed(env, "select count(*) from ART where INTNRO = 'T1' and PRCEST = 'A'").toInt(), 2);
    QCOMPARE(artCount(env), 3);
    QCOMPARE(progress.caption(), QString("Procesando... Etapa 2 de 4: Buscando articulos en catalogo"));
}

void TestProcess::stage2UnreachableCatalogue()
{
    TestEnv env;
    env.connect();
    configure();
    env.execCalvera("INTERNOS", "drop table catarticulos");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, {{"MT-500", "1", "1"}});
    ScriptedInteraction script;
    script.expectMessage(
        ProcessDriver::errorReport(
            TestEnv::calveraErrorNumber(1), TestEnv::missingTable("INTERNOS/CATALOGOS", "catarticulos"),
            step::CatalogueQuery, "EnlaceDatos.EDMain [INTERNOS]", Stage1Storing::insertPrefix(kShipment)),
        Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(artCount(env), 1);
}

// ---------------------------------------------------------------- stage 3

void TestProcess::stage3CommonData()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("insert into ORG (PAI, ORI) values ('310', 'C310')");
    env.exec("insert into NCMDEC (NCM, DECLARADA) values ('9999.99.99.999Z', '22')");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal, fl::Origen, fl::PaNcm, fl::Unidad},
             {{"ZP-42", "1", "1", "BRASIL", "", "3"},               // NCMDEC rule of the catalogue position
              {"NEW-1", "1", "1", "CHINA", "9999.99.99.999Z", "5"}, // new article: rule, origin, goods state
              {"NEW-2", "1", "1", "USA", "1234.56.78.900A", ""}});  // no rule: keeps its (empty) unit
    QStringList statements;
    RecordingProgress progress;
    ProcessDriver driver(shared(), progress);
    driver.setStatementObserver([&](const QString &st) { statements << st; });
    ScriptedInteraction script;
    QVERIFY(driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QVERIFY(statements.contains("update ART set PRCORI = ORG.ORI from ORG where ORG.PAI = ART.ARTORG and "
                                "ART.INTNRO = 'T1'"));
    QVERIFY(statements.contains("update ART set PRCDUN = NCMDEC.DECLARADA from NCMDEC where NCMDEC.NCM = "
                                "ART.PRCNCM and ART.INTNRO = 'T1'"));
    QVERIFY(statements.contains(
        "update ART set PRCESM = '1' where INTNRO = 'T1' and (PRCESM is null or PRCESM = '')"));
    QVERIFY(art(env, 1, "PRCORI").isNull());
    QCOMPARE(art(env, 1, "PRCDUN").toString(), QString("08"));
    QCOMPARE(art(env, 2, "PRCORI").toString(), QString("C310"));
    QCOMPARE(art(env, 2, "PRCDUN").toString(), QString("22"));
    QCOMPARE(art(env, 2, "PRCESM").toString(), QString("1"));
    QVERIFY(art(env, 2, "PRCCRC").isNull());
    QVERIFY(art(env, 3, "PRCORI").isNull());
    QCOMPARE(art(env, 3, "PRCDUN").toString(), QString());
    QCOMPARE(art(env, 3, "ARTORG").toString(), QString("212"));
}

void TestProcess::stage3FailureShowsStatementTwo()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("create trigger refuse before update of PRCDUN on ART begin select raise(abort, 'sin "
             "unidades'); end");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal, fl::PaNcm},
             {{"X", "1", "1", "6403.99.90.000X"}});
    ScriptedInteraction script;
    script.expectMessage(
        ProcessDriver::errorReport(1811, "sin unidades", step::DeclaredUnits, "oAlm.clGestor",
                                   "update ART set PRCORI = ORG.ORI from ORG where ORG.PAI = "
                                   "ART.ARTORG and ART.INTNRO = 'T1'"),
        Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(artCount(env), 1);
    QVERIFY(art(env, 1, "PRCESM").isNull()); // statement 4 never ran
}

// ---------------------------------------------------------------- stage 4

void TestProcess::stage4GradesAndStatistics()
{
    TestEnv env;
    env.connect();
    configure();
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal},
             {{"MT-500", "24", "1"}, {"CB-2X15", "3", "1"}, {"SR-01", "6", "1"}, {"MT-300", "2", "1"}});
    QStringList statements;
    RecordingProgress progress;
    ProcessDriver driver(shared(), progress);
    driver.setStatementObserver([&](const QString &st) { statements << st; });
    ScriptedInteraction script;
    QVERIFY(driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QVERIFY(statements.contains(
        "select PRCNCM, PRCSUF, INTNRO, ARTORD from ART where INTNRO = 'T1' and PRCEST = 'A'"));
    QVERIFY(statements.contains("update ART set PRCCRC = 'OK' where INTNRO = 'T1'  and ARTORD = 1"));
    QVERIFY(statements.contains(
        "update ART set PRCCRC = 'ERR', PRCEST = 'E' where INTNRO = 'T1'  and ARTORD = 3"));
    QVERIFY(statements.contains(
        "update ART set PRCCRC = 'SUF', PRCEST = 'E' where INTNRO = 'T1'  and ARTORD = 4"));
    QCOMPARE(
        statements.last(),
        QString("update ART set PRCECA = ARTCAN where INTNRO = 'T1' and PRCDUN = PRCEUN and PRCCRC = 'OK' "));
    QCOMPARE(art(env, 1, "PRCECA").toDouble(), 24.0); // 07 declared, 07 statistical
    QVERIFY(art(env, 2, "PRCECA").isNull());          // 07 declared, 01 statistical
    QCOMPARE(art(env, 2, "PRCCRC").toString(), QString("OK"));
    QCOMPARE(art(env, 3, "PRCCRC").toString(), QString("ERR"));
    QVERIFY(art(env, 3, "PRCECA").isNull());
    QCOMPARE(PositionCheck::gradeClause(1), QString("PRCCRC = 'POS', PRCEST = 'E' "));
    QCOMPARE(PositionCheck::gradeClause(-1), QString("PRCCRC = 'ERR', PRCEST = 'E' "));
}

void TestProcess::stage4FailureKeepsGrades()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("create trigger refuse before update of PRCCRC on ART when NEW.ARTORD = 2 "
             "begin select raise(abort, 'no'); end");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal},
             {{"MT-500", "1", "1"}, {"LL-10", "1", "1"}, {"MT-300", "1", "1"}});
    ScriptedInteraction script;
    script.expectMessage(
        ProcessDriver::errorReport(1811, "no", step::GradeArticle, "oAlm.clGestor",
                                   "update ART set PRCCRC = 'POS', PRCEST = 'E' where INTNRO = 'T1'  "
                                   "and ARTORD = 2"),
        Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(art(env, 1, "PRCCRC").toString(), QString("OK"));
    QVERIFY(art(env, 2, "PRCCRC").isNull());
    QVERIFY(art(env, 3, "PRCCRC").isNull());
    QCOMPARE(art(env, 3, "PRCEST").toString(), QString("A"));
    QCOMPARE(committed(env, "select PRCCRC from ART where INTNRO = 'T1' and ARTORD = 1").toString(),
             QString("OK"));
}

// Grades for more rows than one set-wise update holds, mixed: the same as written row by row (with
// an observer the stage writes each row's own update).
namespace {
const QStringList kGradeCycle = {"MT-500", "CB-2X15", "SR-01", "MT-300", "NOPE"};

void fillManyRows(SheetGridModel &grid, int rows)
{
    QVector<QStringList> cells;
    for (int r = 0; r < rows; ++r)
        cells << QStringList{kGradeCycle[r % kGradeCycle.size()], QString::number(1 + r % 7), "1"};
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal}, cells);
}

QString gradesOf(TestEnv &env)
{
    return env
        .scalar("select group_concat(ARTORD || ':' || coalesce(PRCCRC, '-') || ':' || coalesce(PRCEST, '-') "
                "|| ':' || coalesce(PRCECA, '-'), ' ') from (select * from ART where INTNRO = 'T1' order by "
                "ARTORD)")
        .toString();
}
} // namespace

void TestProcess::stage4ManyRowsAsRowByRow()
{
    TestEnv env;
    env.connect();
    configure();
    SheetGridModel grid;
    fillManyRows(grid, 1203);
    RecordingProgress progress;
    ScriptedInteraction script;
    ProcessDriver rowByRow(shared(), progress);
    int updates = 0;
    rowByRow.setStatementObserver(
        [&](const QString &st) { updates += st.startsWith("update ART set PRCCRC"); });
    QVERIFY(rowByRow.FRAM2_GuardarDatosToBase(grid));
    QCOMPARE(updates, 963); // four of every five rows are in the catalogue
    const QString expected = gradesOf(env);
    QVERIFY(expected.startsWith("1:OK:A:1.0 2:OK:A:- 3:ERR:E:- 4:SUF:E:- 5:-:-:- 6:OK:A:6.0"));

    env.exec("update ART set PRCCRC = null, PRCEST = null, PRCECA = null");
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(gradesOf(env), expected);
    QCOMPARE(progress.maximum(), 963);
    QCOMPARE(progress.value(), 963);
}

void TestProcess::stage4ManyRowsFailureKeepsEarlierGrades()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("create trigger refuse before update of PRCCRC on ART when NEW.ARTORD = 777 "
             "begin select raise(abort, 'no'); end");
    SheetGridModel grid;
    fillManyRows(grid, 1000);
    ScriptedInteraction script;
    script.expectMessage(ProcessDriver::errorReport(1811, "no", step::GradeArticle, "oAlm.clGestor",
                                                    "update ART set PRCCRC = 'OK' where INTNRO = 'T1'  "
                                                    "and ARTORD = 777"),
                         Icon::Critical);
    RecordingProgress progress;
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    // Rows 1 to 776 hold 621 found rows (four of every five), all graded; none after.
    QCOMPARE(committed(env, "select count(*) from ART where INTNRO = 'T1' and PRCCRC is not null").toInt(),
             621);
    QCOMPARE(committed(env, "select max(ARTORD) from ART where INTNRO = 'T1' and PRCCRC is not null").toInt(),
             776);
    QCOMPARE(art(env, 776, "PRCCRC").toString(), QString("OK"));
    QCOMPARE(art(env, 773, "PRCCRC").toString(), QString("ERR"));
    QCOMPARE(art(env, 773, "PRCEST").toString(), QString("E"));
    QCOMPARE(art(env, 778, "PRCEST").toString(), QString("A"));
    QVERIFY(art(env, 778, "PRCCRC").isNull());
    QVERIFY(art(env, 1, "PRCECA").isNull()); // the last statement never ran
}

void TestProcess::progressAndCaptions()
{
    TestEnv env;
    env.connect();
    configure();
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal},
             {{"MT-500", "1", "1"}, {"X", "1", "1"}, {"LL-10", "1", "1"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    const QStringList expected = {"visible:1",
                                  "caption:Procesando... Etapa 1 de 4: Guardando en base de datos",
                                  "min:0",
                                  "value:1",
                                  "max:4",
                                  "value:2",
                                  "value:3",
                                  "value:4",
                                  "caption:Procesando... Etapa 2 de 4: Buscando articulos en catalogo",
                                  "min:0",
                                  "value:1",
                                  "max:10",
                                  "max:3",
                                  "value:1",
                                  "value:2",
                                  "value:3",
                                  "caption:Procesando... Etapa 3 de 4: Actualizando datos comunes",
                                  "caption:Procesando... Etapa 4 de 4: Validando NCM...",
                                  "value:0",
                                  "value:1",
                                  "max:2",
                                  "value:1",
                                  "value:2",
                                  "caption:Fin de Proceso",
                                  "visible:0"};
    QCOMPARE(progress.events, expected);
}

// ---------------------------------------------------------------- ValidarSufijos

// clang-format off
void TestProcess::validarSufijos_data()
{
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("suffixes");
    QTest::addColumn<int>("result");
    const QString hammer = "8205.20.00.000K";
    QTest::newRow("valid") << hammer << "AA(STANLEY)-AB(MT 500)-JD01" << 0;
    QTest::newRow("valid, trailing dash") << hammer << "AA(STANLEY)-AB(MT 500)-JD01-" << 0;
    QTest::newRow("valid, any order and case") << hammer << "jd03-ab(x)-aa(y)" << 0;
    QTest::newRow("no option chosen") << hammer << "AA(S)-AB(M)-JD00" << 0;
    QTest::newRow("other codes ignored") << hammer << "AA(S)-ZZ(1)-AB(M)-QQ77-JD02" << 0;
    QTest::newRow("option missing") << hammer << "AA(STANLEY)-AB(MT 300)" << 2;
    QTest::newRow("unknown option") << hammer << "AA(S)-AB(M)-JD09" << 2;
    QTest::newRow("blank value") << hammer << "AA( )-AB(M)-JD01" << 2;
    QTest::newRow("value code given as option") << hammer << "AA01-AB(M)-JD01" << 2;
    QTest::newRow("unclosed value") << hammer << "AA(S)-AB(M-JD01" << 2;
    QTest::newRow("empty element") << hammer << "AA(S)--AB(M)-JD01" << 2;
    QTest::newRow("two trailing dashes") << hammer << "AA(S)-AB(M)-JD01--" << 2;
    QTest::newRow("empty text with codes") << hammer << "" << 2;
    QTest::newRow("SIN SUFIJOS with codes") << hammer << "SIN SUFIJOS" << 2;
    QTest::newRow("numeric code") << "8467.21.00.100A" << "AA(BOSCH)-AB(TL 13)-ZA(000750)" << 0;
    QTest::newRow("numeric code with text") << "8467.21.00.100A" << "AA(BOSCH)-AB(TL 13)-ZA(75 W)" << 2;
    QTest::newRow("full-position codes") << "8528.72.00.100M" << "AA(N)-AB(TV)-ZB(55)-JE02" << 0;
    QTest::newRow("full-position option missing") << "8528.72.00.100M" << "AA(N)-AB(TV)-ZB(55)" << 2;
    QTest::newRow("no codes, empty") << "9030.31.00.000H" << "" << 0;
    QTest::newRow("no codes, SIN SUFIJOS") << "9030.31.00.000H" << "SIN SUFIJOS" << 0;
    QTest::newRow("no codes, elements ignored") << "9030.31.00.000H" << "AA(FLUKE)" << 0;
    QTest::newRow("no codes, unreadable text") << "9030.31.00.000H" << "FLUKE 17B" << 2;
    QTest::newRow("position absent") << "8204.11.99.999Z" << "AA(S)-AB(L)" << 1;
    QTest::newRow("opening absent") << "8205.20.00.001K" << "" << 1;
    QTest::newRow("check letter differs") << "8205.20.00.000Z" << "AA(S)-AB(M)-JD01" << 1;
    QTest::newRow("short position") << "8202.10" << "AA(STANLEY)" << 3;
    QTest::newRow("no check letter") << "8205.20.00.000" << "" << 3;
    QTest::newRow("digit for letter") << "8205.20.00.0001" << "" << 3;
    QTest::newRow("dash for point") << "8205-20.00.000K" << "" << 3;
    QTest::newRow("trailing blank") << "8205.20.00.000K " << "" << 3;
    QTest::newRow("quote") << "8205.20.00.00'K" << "" << 3;
    QTest::newRow("empty") << "" << "" << 3;
}
// clang-format on

void TestProcess::validarSufijos()
{
    QFETCH(QString, position);
    QFETCH(QString, suffixes);
    QFETCH(int, result);
    TestEnv env;
    env.connect();
    oCHKX::clPRINC checker;
    checker.ConexionString(*shared().enlace);
    QCOMPARE(checker.ValidarSufijos(position, suffixes), result);
}

void TestProcess::validarSufijosCachesPerInstance()
{
    TestEnv env;
    env.connect();
    oCHKX::clPRINC checker;
    checker.ConexionString(*shared().enlace);
    QCOMPARE(checker.ValidarSufijos("8205.20.00.000K", "AA(S)-AB(M)"), 2);
    env.execCalvera("NCM", "delete from sufidos where sim = '8205.  .  .   '");
    QCOMPARE(checker.ValidarSufijos("8205.20.00.000K", "AA(S)-AB(M)"), 2); // the run's view stays
    oCHKX::clPRINC next;
    next.ConexionString(*shared().enlace);
    QCOMPARE(next.ValidarSufijos("8205.20.00.000K", "AA(S)-AB(M)"), 0);
    // Mixed kinds for one code: the first row decides.
    env.execCalvera("NCM", "insert into sufidos (sim, sufijo, detalle) values ('8205.20.00.000', 'QQ', 'V'), "
                           "('8205.20.00.000', 'QQ01', 'O')");
    oCHKX::clPRINC third;
    third.ConexionString(*shared().enlace);
    QCOMPARE(third.ValidarSufijos("8205.20.00.000K", "AA(S)-AB(M)-QQ01"), 2);
    QCOMPARE(third.ValidarSufijos("8205.20.00.000K", "AA(S)-AB(M)-QQ(X)"), 0);
}

// Positions read together: repeated, absent, without codes and malformed ones mixed; each answer is
// the one a lookup of its own gives. A later read reuses the levels the run has already read.
void TestProcess::validarSufijosReadAhead()
{
    TestEnv env;
    env.connect();
    env.execCalvera("NCM", "insert into ncm ([001], [002], [003]) values ('8205.20.00', '100', 'K')");
    const QString hammer = "8205.20.00.000K", sibling = "8205.20.00.100K", drill = "8467.21.00.100A",
                  tv = "8528.72.00.100M", bare = "9030.31.00.000H", absent = "8204.11.99.999Z";
    oCHKX::clPRINC checker;
    checker.ConexionString(*shared().enlace);
    checker.anticipate({absent, hammer, bare, hammer, "8202.10", drill, absent, tv, bare});
    QCOMPARE(checker.ValidarSufijos(absent, "AA(S)-AB(L)"), 1);
    QCOMPARE(checker.ValidarSufijos(hammer, "AA(S)-AB(M)-JD01"), 0);
    QCOMPARE(checker.ValidarSufijos(bare, ""), 0);
    QCOMPARE(checker.ValidarSufijos(hammer, "AA(S)-AB(M)"), 2);
    QCOMPARE(checker.ValidarSufijos("8202.10", "AA(S)"), 3);
    QCOMPARE(checker.ValidarSufijos(drill, "AA(BOSCH)-AB(TL 13)-ZA(75 W)"), 2);
    QCOMPARE(checker.ValidarSufijos(drill, "AA(BOSCH)-AB(TL 13)-ZA(000750)"), 0);
    QCOMPARE(checker.ValidarSufijos(absent, ""), 1);
    QCOMPARE(checker.ValidarSufijos(tv, "AA(N)-AB(TV)-ZB(55)"), 2);
    QCOMPARE(checker.ValidarSufijos(tv, "AA(N)-AB(TV)-ZB(55)-JE02"), 0);
    QCOMPARE(checker.ValidarSufijos(bare, "FLUKE 17B"), 2);
    QCOMPARE(checker.ValidarSufijos(bare, "AA(FLUKE)"), 0);

    // The sibling was not announced: it is read on its own, its heading's options as the run read them.
    env.execCalvera("NCM", "delete from sufidos where sim = '8205.  .  .   '");
    QCOMPARE(checker.ValidarSufijos(sibling, "AA(S)-AB(M)"), 2);
    QCOMPARE(checker.ValidarSufijos(sibling, "AA(S)-AB(M)-JD02"), 0);
    oCHKX::clPRINC next;
    next.ConexionString(*shared().enlace);
    QCOMPARE(next.ValidarSufijos(sibling, "AA(S)-AB(M)"), 0);
    QCOMPARE(next.ValidarSufijos(hammer, "AA(S)-AB(M)"), 0);
}

void TestProcess::validarSufijosWithoutManager()
{
    oCHKX::clPRINC checker;
    QCOMPARE(errorNumberOf([&] { checker.ValidarSufijos("8205.20.00.000K", ""); }), 91L);
}

// ---------------------------------------------------------------- results panel

void TestProcess::resultsPanelCounts()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("insert into ART (INTNRO, ARTORD, PRCEST, PRCCRC) values "
             "('T1',1,'A','OK'),('T1',2,'A','OK'),('T1',3,'A','OK'),('T1',4,'E','POS'),('T1',5,'E','SUF'),"
             "('T1',6,'E','ERR'),('T1',7,NULL,NULL),('T1',8,'',NULL),('T1',9,NULL,NULL),('T1',10,'M','OK'),"
             "('T2',1,'A','POS')");
    ResultsPanel panel;
    panel.FRAM3_CargarEstadisticas();
    auto label = [&](const char *name) { return panel.findChild<QLabel *>(name)->text(); };
    QCOMPARE(label("FRAM3_lbTotal"), QString("0010"));
    QCOMPARE(label("FRAM3_lbEnCatalogo"), QString("0003"));
    QCOMPARE(label("FRAM3_lbNuevos"), QString("0003"));
    QCOMPARE(label("FRAM3_lbErroneos"), QString("0003"));
    QCOMPARE(label("FRAM3_lbErrPos"), QString("0001"));
    QCOMPARE(label("FRAM3_lbErrSuf"), QString("0001"));
}

void TestProcess::resultsPanelEmptyAndFailure()
{
    TestEnv env;
    env.connect();
    configure();
    shared().sInternoActual = "O'NEIL";
    env.exec("insert into ART (INTNRO, ARTORD, PRCEST) values ('T1', 1, 'A')");
    ResultsPanel panel;
    panel.findChild<QLabel *>("FRAM3_lbTotal")->setText("9999");
    panel.FRAM3_CargarEstadisticas();
    for (const char *name : {"FRAM3_lbTotal", "FRAM3_lbEnCatalogo", "FRAM3_lbNuevos", "FRAM3_lbErroneos",
                             "FRAM3_lbErrPos", "FRAM3_lbErrSuf"})
        QCOMPARE(panel.findChild<QLabel *>(name)->text(), QString("0000"));
    // No handler of its own: the error reaches the caller.
    env.exec("drop table ART");
    try {
        panel.FRAM3_CargarEstadisticas();
        QFAIL("the failure must reach the caller");
    } catch (const PlanexoError &e) {
        QVERIFY(e.description().contains("ART"));
    }
}

// ---------------------------------------------------------------- the demo invoice

// clang-format off
void TestProcess::demoInvoiceEndToEnd_data()
{
    QTest::addColumn<bool>("comma");
    QTest::newRow("point") << false;
    QTest::newRow("comma") << true;
}
// clang-format on

void TestProcess::demoInvoiceEndToEnd()
{
    QFETCH(bool, comma);
    comma ? TestEnv::useComma() : TestEnv::usePoint();
    TestEnv env;
    env.connect();
    configure();
    shared().AA_MARCA = QStringLiteral("GENERICA");
    QVector<QStringList> rows = kDemoRows;
    if (comma)
        for (QStringList &row : rows)
            for (int c : {3, 4, 6})
                row[c].replace('.', ',');
    SheetGridModel grid;
    fillGrid(grid, kDemoLabels, rows);
    ScriptedInteraction script;
    script.expectMessage("Pais REP. POPULAR CHINA no reconocido", Icon::Critical);
    script.expectModal("frmRelPais", chooseCountry("CHINA (310)"));
    RecordingProgress progress;
    ProcessDriver driver(shared(), progress);
    QVERIFY(driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    auto grade = [&](const QString &code) {
        const int order = artOrderOf(env, code);
        return art(env, order, "PRCEST").toString() + "/" + art(env, order, "PRCCRC").toString();
    };
    QCOMPARE(grade("MT-500"), QString("A/OK"));
    QCOMPARE(grade("DS-PH2"), QString("A/OK"));
    QCOMPARE(grade("TL-13"), QString("A/OK"));
    QCOMPARE(grade("ZP-42"), QString("A/OK"));
    QCOMPARE(grade("CB-2X15"), QString("A/OK"));
    QCOMPARE(grade("AM-DIG"), QString("A/OK"));
    QCOMPARE(grade("LL-10"), QString("E/POS"));
    QCOMPARE(grade("MT-300"), QString("E/SUF"));
    QCOMPARE(grade("SR-01"), QString("E/ERR"));
    QCOMPARE(grade("PZ-900"), QString("/"));
    QCOMPARE(grade("LN-LED"), QString("/"));
    QCOMPARE(art(env, artOrderOf(env, "LN-LED"), "ARTORG").toString(), QString("212"));
    QCOMPARE(art(env, artOrderOf(env, "TC-7"), "ARTORG").toString(), QString("212"));
    QCOMPARE(art(env, artOrderOf(env, "PZ-900"), "ARTORG").toString(), QString("310"));
    QCOMPARE(art(env, artOrderOf(env, "MT-500"), "ARTUNI").toDouble(), 4.25);
    QCOMPARE(art(env, artOrderOf(env, "MT-500"), "ARTTKG").toDouble(), 12.5);
    QCOMPARE(art(env, artOrderOf(env, "MT-500"), "PRCSUF").toString(),
             QString("AA(GENERICA)-AB(MT 500)-JD01"));
    QCOMPARE(art(env, artOrderOf(env, "ZP-42"), "PRCECA").toDouble(), 12.0);
    QCOMPARE(art(env, artOrderOf(env, "TL-13"), "PRCLAP").toString(), QString("S"));

    ResultsPanel panel;
    panel.FRAM3_CargarEstadisticas();
    auto label = [&](const char *name) { return panel.findChild<QLabel *>(name)->text(); };
    QCOMPARE(label("FRAM3_lbTotal"), QString("0012"));
    QCOMPARE(label("FRAM3_lbEnCatalogo"), QString("0006"));
    QCOMPARE(label("FRAM3_lbNuevos"), QString("0003"));
    QCOMPARE(label("FRAM3_lbErroneos"), QString("0003"));
    QCOMPARE(label("FRAM3_lbErrPos"), QString("0001"));
    QCOMPARE(label("FRAM3_lbErrSuf"), QString("0001"));

    // A second run replaces the rows and resolves the taught origin silently.
    QVERIFY(driver.FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(grade("MT-300"), QString("E/SUF"));
    panel.FRAM3_CargarEstadisticas();
    QCOMPARE(label("FRAM3_lbTotal"), QString("0012"));
    QCOMPARE(label("FRAM3_lbEnCatalogo"), QString("0006"));

    // A row corrected in the editor counts in the total only.
    env.exec(QString("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and ARTORD = %1")
                 .arg(artOrderOf(env, "LL-10")));
    panel.FRAM3_CargarEstadisticas();
    QCOMPARE(label("FRAM3_lbTotal"), QString("0012"));
    QCOMPARE(label("FRAM3_lbErroneos"), QString("0002"));
    QCOMPARE(label("FRAM3_lbErrPos"), QString("0000"));
    QCOMPARE(label("FRAM3_lbNuevos"), QString("0003"));
}

// The catalogue's "SIN SUFIJOS" marker gains the brand element in stage 2: on a position without
// codes the text stays valid, on a position with codes the marker counts as no element.
void TestProcess::noSuffixMarkerWithBrandEndToEnd()
{
    TestEnv env;
    env.connect();
    configure();
    shared().AA_MARCA = QStringLiteral("ACME");
    env.execCalvera("INTERNOS",
                    "insert into catarticulos (idcatalogo, idarticulo, descripcion, ncm, sufijos) values "
                    "('001','TR-8','LAMPARA 8W','9405.10.99.000E','SIN SUFIJOS'),"
                    "('001','TR-9','LAMPARA 9W','9405.10.99.000E','sin sufijos'),"
                    "('001','MZ-1','MAZA','8205.20.00.000K','SIN SUFIJOS'),"
                    "('001','MZ-2','MAZA 2','8205.20.00.000K','SIN SUFIJOS-AB(M2)-JD01')");
    SheetGridModel grid;
    fillGrid(grid, {fl::CodArticulo, fl::Cantidad, fl::PTotal},
             {{"TR-8", "100", "50"}, {"TR-9", "10", "5"}, {"MZ-1", "2", "20"}, {"MZ-2", "3", "30"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    const int tr8 = artOrderOf(env, "TR-8");
    QCOMPARE(art(env, tr8, "PRCSUF").toString(), QString("SIN SUFIJOS-AA(ACME)"));
    QCOMPARE(art(env, tr8, "PRCEST").toString(), QString("A"));
    QCOMPARE(art(env, tr8, "PRCCRC").toString(), QString("OK"));
    // Declared and statistical unit are both 07 (the default and the nomenclator's [012]).
    QCOMPARE(art(env, tr8, "PRCECA").toDouble(), 100.0);
    QCOMPARE(art(env, artOrderOf(env, "TR-9"), "PRCCRC").toString(), QString("OK"));
    const int mz1 = artOrderOf(env, "MZ-1");
    QCOMPARE(art(env, mz1, "PRCSUF").toString(), QString("SIN SUFIJOS-AA(ACME)"));
    QCOMPARE(art(env, mz1, "PRCEST").toString() + "/" + art(env, mz1, "PRCCRC").toString(), QString("E/SUF"));
    QVERIFY(art(env, mz1, "PRCECA").isNull());
    const int mz2 = artOrderOf(env, "MZ-2");
    QCOMPARE(art(env, mz2, "PRCSUF").toString(), QString("SIN SUFIJOS-AB(M2)-JD01-AA(ACME)"));
    QCOMPARE(art(env, mz2, "PRCCRC").toString(), QString("OK"));

    ResultsPanel panel;
    panel.FRAM3_CargarEstadisticas();
    auto label = [&](const char *name) { return panel.findChild<QLabel *>(name)->text(); };
    QCOMPARE(label("FRAM3_lbTotal"), QString("0004"));
    QCOMPARE(label("FRAM3_lbEnCatalogo"), QString("0003"));
    QCOMPARE(label("FRAM3_lbNuevos"), QString("0000"));
    QCOMPARE(label("FRAM3_lbErroneos"), QString("0001"));
    QCOMPARE(label("FRAM3_lbErrSuf"), QString("0001"));

    // The component alone, as the editor calls it.
    oCHKX::clPRINC check;
    check.ConexionString(*shared().enlace);
    QCOMPARE(check.ValidarSufijos("7318.15.00.000S", "SIN SUFIJOS-AA(ACME)-"), 0);
    QCOMPARE(check.ValidarSufijos("7318.15.00.000S", "AA(ACME)-SIN SUFIJOS"), 0);
    QCOMPARE(check.ValidarSufijos("7318.15.00.000S", "SIN SUFIJOS-AA("), 2);
    QCOMPARE(check.ValidarSufijos("8205.20.00.000K", "SIN SUFIJOS-AA(X)-AB(Y)"), 2);
    QCOMPARE(check.ValidarSufijos("8205.20.00.000K", "SIN SUFIJOS-AA(X)-AB(Y)-JD02"), 0);
}

// ---------------------------------------------------------------- one shipment, two instances

void TestProcess::shipmentLockWithinOneProcess()
{
    TestEnv env;
    const QString db = env.dbFile("PlanexoGenericoOstrova.sqlite");
    {
        ShipmentLock first, second, other;
        QCOMPARE(first.acquire(db, "T1"), ShipmentLock::Result::Acquired);
        QCOMPARE(second.acquire(db, "T1"), ShipmentLock::Result::HeldElsewhere);
        QCOMPARE(other.acquire(db, "T1 "), ShipmentLock::Result::Acquired);
        QVERIFY(QFile::exists(ShipmentLock::fileFor(db, "T1")));
        first.release();
        QVERIFY(!QFile::exists(ShipmentLock::fileFor(db, "T1")));
        QCOMPARE(second.acquire(db, "T1"), ShipmentLock::Result::Acquired);
    }
    // Released when the objects go; a shipment number that is no file name is fine.
    QCOMPARE(QDir(env.dbFile(QString())).entryList({"*.lock"}, QDir::Files), QStringList());
    ShipmentLock odd;
    QCOMPARE(odd.acquire(db, "../A/B:C'*"), ShipmentLock::Result::Acquired);
    QCOMPARE(ShipmentLock::busyMessage("26001IC04"),
             QString("El interno 26001IC04 está siendo procesado en otro puesto"));
}

// Two real program instances: while one processes the shipment, the other may neither process nor
// transfer it and changes nothing; once the first dies (kill -9), the shipment is free again.
void TestProcess::secondInstanceIsRefused()
{
    TestEnv env;
    env.connect();
    configure();
    env.exec("insert into ART (INTNRO, ARTORD, ARTNRO, PRCEST, PRCCRC) values ('T1', 1, 'OLD', 'M', 'OK')");
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other.start(QCoreApplication::applicationFilePath(), {"--stalled-instance", env.programFolder()});
    QVERIFY(other.waitForStarted());
    QByteArray said;
    while (!said.contains('\n') && other.waitForReadyRead(30000))
        said += other.readAllStandardOutput();
    said.replace("\r\n", "\n"); // the line end of a text-mode stdout on Windows
    QCOMPARE(said, QByteArray("PROCESANDO\n"));

    const auto rows = [&] {
        return committed(env, "select group_concat(ARTNRO || '/' || coalesce(PRCEST, ''), ' ') from "
                              "(select * from ART where INTNRO = 'T1' order by ARTORD)")
            .toString();
    };
    const QString before = rows();
    SheetGridModel grid;
    fillGrid(grid, kLockLabels, {{"NEW-5", "1", "6.8"}});
    ScriptedInteraction script;
    RecordingProgress progress;
    script.expectMessage("El interno T1 está siendo procesado en otro puesto", Icon::Exclamation);
    QVERIFY(!ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(progress.events, QStringList());
    script.expectMessage("El interno T1 está siendo procesado en otro puesto", Icon::Exclamation);
    TransferDriver(shared(), progress).FRM3_Tranferir();
    VERIFY_SCRIPT(script);
    QCOMPARE(progress.events, QStringList());
    QCOMPARE(rows(), before);
    QCOMPARE(env.scalarCalvera("INTERNOS", "select count(*) from caratula where interno = 'T1'").toInt(), 0);
    // Another shipment is free meanwhile.
    shared().sInternoActual = "T2";
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    QCOMPARE(artCount(env, "T2"), 1);

    // The holder crashes: nothing stays locked.
    other.kill();
    QVERIFY(other.waitForFinished());
    shared().sInternoActual = kShipment;
    QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);
    QCOMPARE(rows(), QString("NEW-5/"));
    QCOMPARE(QDir(env.dbFile(QString())).entryList({"*.lock"}, QDir::Files), QStringList());
}

// ---------------------------------------------------------------- frmRelPais

void TestProcess::relationDialogChecks()
{
    TestEnv env;
    env.connect();
    ScriptedInteraction script;
    frmRelPais dialog;
    dialog.setsPaisProceso("CHINA");
    dialog.Form_Load();
    dialog.show();
    auto *txtValor = dialog.findChild<QLineEdit *>("txtValor");
    auto *txtESM = dialog.findChild<QLineEdit *>("txtESM");
    auto *cboPais = dialog.findChild<QComboBox *>("cboPais");
    auto *cboidPais = dialog.findChild<QComboBox *>("cboidPais");
    QCOMPARE(dialog.windowTitle(), QString("Establecer Pais"));
    QCOMPARE(txtValor->text(), QString("CHINA"));
    QCOMPARE(txtESM->text(), QString("1"));
    QCOMPARE(cboPais->currentIndex(), -1);
    QCOMPARE(cboPais->currentText(), QString());
    QVERIFY(!cboidPais->isVisible());
    QCOMPARE(cboPais->count(), cboidPais->count());
    QCOMPARE(cboPais->itemText(0), QString("AFGANISTAN (301)"));
    QCOMPARE(cboidPais->itemText(cboPais->findText("ARGENTINA (200)")), QString("200"));

    script.expectMessage("Debe seleccionar Pais Maria - asociado", Icon::Exclamation);
    QTest::keyClick(txtValor, Qt::Key_F11);
    VERIFY_SCRIPT(script);

    // Typed text alone does not count as a choice.
    cboPais->lineEdit()->setText("CHINA (310)");
    script.expectMessage("Debe seleccionar Pais Maria - asociado", Icon::Exclamation);
    QTest::keyClick(cboPais->lineEdit(), Qt::Key_F11);
    VERIFY_SCRIPT(script);

    cboPais->setCurrentIndex(cboPais->findText("CHINA (310)"));
    txtESM->setText("  ");
    script.expectMessage("El campo Estado de Mercaderia no puede estar vacio", Icon::Critical);
    QTest::keyClick(txtESM, Qt::Key_F11);
    VERIFY_SCRIPT(script);

    txtValor->setText("   ");
    script.expectMessage("el campo 'Valor origen' no puede estar vacio", Icon::Critical);
    QTest::keyClick(cboPais, Qt::Key_F11);
    VERIFY_SCRIPT(script);

    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.sPaisMaria(), QString());
    QCOMPARE(env.scalar("select count(*) from ORG").toInt(), 6);

    // Escape leaves without saving.
    QTest::keyClick(txtESM, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(env.scalar("select count(*) from ORG").toInt(), 6);
    VERIFY_SCRIPT(script);
}

void TestProcess::relationDialogSaves()
{
    TestEnv env;
    env.connect();
    ScriptedInteraction script;
    frmRelPais dialog;
    dialog.setsPaisProceso("CHINA");
    dialog.Form_Load();
    dialog.show();
    auto *txtValor = dialog.findChild<QLineEdit *>("txtValor");
    auto *cboPais = dialog.findChild<QComboBox *>("cboPais");
    txtValor->setText(" O'HIGGINS ");
    cboPais->setCurrentIndex(cboPais->findText("CHILE (208)"));
    QTest::keyClick(txtValor, Qt::Key_F11);
    VERIFY_SCRIPT(script);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.sPaisMaria(), QString("208"));
    QCOMPARE(env.scalar("select ORI from ORG where PAI = ' O''HIGGINS '").toString(), QString("208"));
}

void TestProcess::relationDialogDuplicateAndLoadFailure()
{
    TestEnv env;
    env.connect();
    ScriptedInteraction script;
    {
        frmRelPais dialog;
        dialog.setsPaisProceso("usa");
        dialog.Form_Load();
        dialog.show();
        auto *cboPais = dialog.findChild<QComboBox *>("cboPais");
        cboPais->setCurrentIndex(cboPais->findText("MEXICO (218)"));
        script.expectMessage(TestEnv::duplicateKeyText() +
                                 "\r\n\r\n1555 - seccion [Planexo.frmRelPais.f_Grabar]",
                             Icon::Critical);
        QTest::keyClick(cboPais, Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.sPaisMaria(), QString());
        QCOMPARE(env.scalar("select ORI from ORG where PAI = 'USA'").toString(), QString("212"));
    }
    env.exec("drop table PAIS");
    frmRelPais dialog;
    dialog.setsPaisProceso("X");
    script.expectMessage("no such table: PAIS\r\n\r\n1 - seccion [Planexo.frmRelPais.Form_Load]",
                         Icon::Critical);
    dialog.Form_Load();
    VERIFY_SCRIPT(script);
    QCOMPARE(dialog.findChild<QLineEdit *>("txtValor")->text(), QString("X"));
    QCOMPARE(dialog.findChild<QComboBox *>("cboPais")->count(), 0);
}

// The test's own main: also runs as the other program instance of the two-instance test.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (argc == 3 && qstrcmp(argv[1], "--stalled-instance") == 0)
        return runStalledInstance(QString::fromLocal8Bit(argv[2]));
    TestProcess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_process.moc"
