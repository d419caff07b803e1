// Legacy workbooks beyond Excel 97: Excel 5.0/95 files in their code pages, files encrypted with
// Excel's default password, the shapes of damage Excel reads past, and Excel 2.x-4.0 files named
// as such. Expected values are what xlrd reads from the same files (tests/data/make_xls_fixtures.sh).
#include "common/ExpectedInvoice.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "shared/SharedState.h"
#include "ui/import/SheetPanel.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/xls/XlsDecrypt.h"
#include "workbook/clEcxel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

namespace {

const QString AbrirSource = QStringLiteral("[clExcel.Abrir]");
const QString LeerCeldaSource = QStringLiteral("[clExcel.LeerCelda]");
const QString Protected = QStringLiteral("El libro está protegido con contraseña");

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(PLANEXO_TEST_DATA_DIR)).filePath(name);
}

bool comma()
{
    return QLocale().decimalPoint() == QLatin1String(",");
}

// A number written with a point, in the current locale.
QString n(const char *point)
{
    QString s = QString::fromLatin1(point);
    if (comma()) s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

QString d(int day, int month, int year)
{
    return comma() ? QStringLiteral("%1/%2/%3").arg(day).arg(month).arg(year)
                   : QStringLiteral("%1/%2/%3").arg(month).arg(day).arg(year);
}

QString yes()
{
    return comma() ? QStringLiteral("Verdadero") : QStringLiteral("True");
}

QString no()
{
    return comma() ? QStringLiteral("Falso") : QStringLiteral("False");
}

// Texts of rows 1..rows, columns 1..cols; a cell holding an error value reads as "<error>".
QVector<QStringList> readAll(clEcxel &reader, int rows, int cols)
{
    QVector<QStringList> out;
    for (long r = 1; r <= rows; ++r) {
        QStringList row;
        for (long c = 1; c <= cols; ++c) {
            try {
                row << reader.LeerCelda(r, c);
            } catch (const PlanexoError &e) {
                row << (e.number() == 13 && e.source() == LeerCeldaSource ? QStringLiteral("<error>")
                                                                          : e.description());
            }
        }
        out << row;
    }
    return out;
}

QVector<QStringList> readFile(const QString &path, int rows, int cols, int sheet = 0)
{
    clEcxel reader;
    reader.setArchivo(path);
    reader.setHoja(sheet);
    if (!reader.Abrir()) return {{QStringLiteral("not opened")}};
    return readAll(reader, rows, cols);
}

// The error Abrir throws for a file; number 0 when it opens.
PlanexoError openError(const QString &path)
{
    clEcxel reader;
    reader.setArchivo(path);
    try {
        reader.Abrir();
    } catch (const PlanexoError &e) {
        return e;
    }
    return PlanexoError(0, QStringLiteral("opened"));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QStringList gridRow(const SheetGridModel &grid, int row)
{
    QStringList texts;
    for (int c = 0; c < grid.cols(); ++c)
        texts << grid.text(row, c);
    return texts;
}

} // namespace

class TestXls : public QObject {
    Q_OBJECT

  private slots:
    void init() { TestEnv::useComma(); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    // Excel 95 workbooks as xlrd reads them, in both locales: texts in code page 1252 and 1251,
    // numbers stored as RK and NUMBER, dates by their cell format, the 1904 date system, the cached
    // results of formulas (numbers, texts in STRING records, booleans, errors), booleans and errors
    // of plain cells, and the npm writer's 8-bit sheet names and date format.
    void excel95AsXlrdReadsIt_data()
    {
        QTest::addColumn<bool>("commaLocale");
        QTest::newRow("comma") << true;
        QTest::newRow("point") << false;
    }

    void excel95AsXlrdReadsIt()
    {
        QFETCH(bool, commaLocale);
        commaLocale ? TestEnv::useComma() : TestEnv::usePoint();
        QCOMPARE(readFile(fixture("biff5_invoice_gnumeric.xls"), 10, 8), expectedInvoice());
        QCOMPARE(readFile(fixture("biff5_texts1252_gnumeric.xls"), 2, 3),
                 (QVector<QStringList>{{"Precio €", "“comillas”", "guión – y —"},
                                       {"Œuvre ™ ‰", "Ñandú ¿sí?", "‘simple’ • …"}}));
        QCOMPARE(readFile(fixture("biff5_cyrillic_gnumeric.xls"), 3, 3),
                 (QVector<QStringList>{{"Код", "Описание", "Количество"},
                                       {"А-1", "Болт стальной", "100"},
                                       {"Б-2", "Гайка «М8»", n("2.5")}}));
        QCOMPARE(readFile(fixture("biff5_dates1904_gnumeric.xls"), 1, 3),
                 (QVector<QStringList>{{d(1, 1, 1904), d(15, 1, 2024),
                                        d(15, 1, 2024) + (comma() ? " 12:00:00" : " 12:00:00 PM")}}));
        QCOMPARE(readFile(fixture("biff5_dates_gnumeric.xls"), 2, 9),
                 (QVector<QStringList>{
                     {d(15, 1, 2024), d(29, 2, 2024) + (comma() ? " 14:30:00" : " 2:30:00 PM"),
                      d(15, 1, 2024), d(15, 1, 2024), comma() ? "18:00:00" : "6:00:00 PM", n("12.5"),
                      n("1234.5"), d(1, 1, 1900) + (comma() ? " 12:00:00" : " 12:00:00 PM"), "-7"},
                     {d(1, 1, 1900), d(28, 2, 1900), d(1, 3, 1900), "-1", "2958466", "2024", "45306", "texto",
                      d(16, 1, 2024)}}));
        QCOMPARE(
            readFile(fixture("biff5_formulas_gnumeric.xls"), 2, 8),
            (QVector<QStringList>{{"3", "abc", yes(), no(), "3", "", n("0.001"), n("1.23456789012346E+17")},
                                  {"<error>", "<error>", "<error>", "<error>", "2", "", "", ""}}));
        QCOMPARE(readFile(fixture("biff5_npm.xls"), 5, 6),
                 (QVector<QStringList>{{"Codigo", "Cantidad", "Activo", "Fecha", "Error", "Formula"},
                                       {"A-100", n("1234.5"), yes(), d(15, 1, 2024), "<error>", n("1235.5")},
                                       {"B-200", "-7", no(), d(29, 2, 2024), "<error>", "texto"},
                                       {"00123", n("0.001"), yes(), d(31, 12, 2023), "", ""},
                                       {"", "", "", "", "", ""}}));
    }

    // The error values of an Excel 95 sheet fail LeerCelda with error 13, naming cell and value.
    void excel95ErrorCells()
    {
        clEcxel reader;
        reader.setArchivo(fixture("biff5_formulas_gnumeric.xls"));
        QVERIFY(reader.Abrir());
        const QStringList errors{"#N/A", "#DIV/0!", "#VALUE!", "#REF!"};
        for (int c = 0; c < errors.size(); ++c) {
            try {
                reader.LeerCelda(2, c + 1);
                QFAIL("an error value must fail");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), 13L);
                QCOMPARE(e.source(), LeerCeldaSource);
                QCOMPARE(e.description(),
                         QStringLiteral("No coinciden los tipos: la celda %1 contiene el error %2")
                             .arg(QChar('A' + c) + QStringLiteral("2"), errors[c]));
            }
        }
    }

    // Every cell of gnumeric's Excel 95 copies reads as in the workbook it was made from (the
    // numbers sheet: RK and NUMBER values of every size; the invoice: its texts).
    void excel95CopiesReadAsTheOriginals_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("original");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::newRow("numbers") << "biff5_numbers_gnumeric.xls"
                                 << "numbers.xlsx" << 31 << 13;
        QTest::newRow("invoice") << "biff5_invoice_gnumeric.xls"
                                 << "invoice_xlsxwriter.xlsx" << 10 << 8;
        QTest::newRow("hidden first sheet") << "biff5_hidden_first_gnumeric.xls"
                                            << "hidden_first.xlsx" << 2 << 2;
    }

    void excel95CopiesReadAsTheOriginals()
    {
        QFETCH(QString, copy);
        QFETCH(QString, original);
        QFETCH(int, rows);
        QFETCH(int, cols);
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            const QVector<QStringList> want = readFile(fixture(original), rows, cols);
            QVERIFY(!want.first().first().isEmpty());
            QCOMPARE(readFile(fixture(copy), rows, cols), want);
        }
    }

    // The worksheets of Excel 95 workbooks, listed with their hidden mark and read by index.
    void excel95Sheets()
    {
        clEcxel reader;
        reader.setArchivo(fixture("biff5_npm.xls"));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), 3);
        QCOMPARE(sheets[0].name, QStringLiteral("Datos"));
        QCOMPARE(sheets[1].name, QStringLiteral("Oculta"));
        QCOMPARE(sheets[2].name, QStringLiteral("Ultima"));
        QVERIFY(!sheets[0].hidden && sheets[1].hidden && !sheets[2].hidden);
        QCOMPARE(readFile(fixture("biff5_npm.xls"), 1, 2, 1), (QVector<QStringList>{{"segunda hoja", "2"}}));
        QCOMPARE(readFile(fixture("biff5_npm.xls"), 1, 2, 2), (QVector<QStringList>{{"tercera", "3"}}));
        reader.setHoja(3);
        try {
            reader.Abrir();
            QFAIL("a fourth sheet was read");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(), QStringLiteral("El libro no tiene la hoja 4"));
            QCOMPARE(e.source(), AbrirSource);
        }

        // A sheet name in code page 1251, and the first sheet read although it is hidden.
        reader.setArchivo(fixture("biff5_cyrillic_gnumeric.xls"));
        QCOMPARE(reader.Hojas().first().name, QStringLiteral("Лист"));
        reader.setArchivo(fixture("biff5_hidden_first_gnumeric.xls"));
        const WorkbookSheetList hidden = reader.Hojas();
        QCOMPARE(hidden.size(), 2);
        QVERIFY(hidden[0].hidden && !hidden[1].hidden);
        QCOMPARE(hidden[0].name, QStringLiteral("Oculta"));
        QCOMPARE(readFile(fixture("biff5_hidden_first_gnumeric.xls"), 1, 1),
                 (QVector<QStringList>{{"primera hoja"}}));
    }

    // Workbooks encrypted with Excel's default password open without one and read as their plain
    // twins: LibreOffice's RC4 (MD5 key) and Apache POI's RC4 CryptoAPI (SHA-1 key of 40 bits);
    // the 128-bit CryptoAPI form, which no tool here writes, was encrypted by the fixture script
    // and LibreOffice reads it back as the plain workbook. Any other password (LibreOffice's RC4,
    // POI's and the script's CryptoAPI) keeps the workbook closed.
    void defaultPasswordDecrypts()
    {
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            QCOMPARE(readFile(fixture("velvet_libreoffice.xls"), 10, 8), expectedInvoice());
            QCOMPARE(readFile(fixture("velvet_poi.xls"), 10, 8), expectedInvoice());
            const QVector<QStringList> numbers = readFile(fixture("numbers.xls"), 31, 13);
            QVERIFY(!numbers.first().first().isEmpty());
            QCOMPARE(readFile(fixture("velvet_cryptoapi.xls"), 31, 13), numbers);
            QCOMPARE(readFile(fixture("velvet_cryptoapi40.xls"), 31, 13), numbers);
        }
        clEcxel reader;
        reader.setArchivo(fixture("velvet_libreoffice.xls"));
        QCOMPARE(reader.Hojas().size(), 1);
        QCOMPARE(reader.Hojas().first().name, QStringLiteral("Factura"));

        for (const char *name : {"protected.xls", "protected_poi.xls", "wrong_password.xls"}) {
            const PlanexoError e = openError(fixture(name));
            QCOMPARE(e.description(), Protected);
            QCOMPARE(e.number(), 1004L);
            QCOMPARE(e.source(), AbrirSource);
            reader.setArchivo(fixture(name));
            try {
                reader.Hojas();
                QFAIL("the sheets of a protected workbook were listed");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.description(), Protected);
            }
        }
    }

    // RC4 itself, against the cipher's published test vectors.
    void rc4TestVectors()
    {
        const auto run = [](const QByteArray &key, const QByteArray &plain) {
            QByteArray data = plain;
            xlsdecrypt::Rc4 rc4;
            rc4.setKey(reinterpret_cast<const unsigned char *>(key.constData()), size_t(key.size()));
            rc4.apply(reinterpret_cast<unsigned char *>(data.data()), size_t(data.size()));
            return data.toHex();
        };
        QCOMPARE(run("Key", "Plaintext"), QByteArray("bbf316e8d940af0ad3"));
        QCOMPARE(run("Wiki", "pedia"), QByteArray("1021bf0420"));
        QCOMPARE(run("Secret", "Attack at dawn"), QByteArray("45a01f645fc35b383552544b9bf5"));
    }

    // The shapes of damage Excel reads past, and where they turn into real damage.
    void lenientReading()
    {
        // A compound file ending inside its last sector, right after the stream's last byte.
        const QVector<QStringList> numbers = readFile(fixture("biff5_numbers_gnumeric.xls"), 31, 13);
        QCOMPARE(readFile(fixture("short_sector.xls"), 31, 13), numbers);
        // One byte less and the stream is incomplete.
        PlanexoError e = openError(fixture("short_sector_cut.xls"));
        QCOMPARE(e.description(),
                 QStringLiteral("El libro está dañado o incompleto: su hoja de datos no se puede leer"));
        QCOMPARE(e.source(), AbrirSource);

        // A string table that declares five strings more than it holds reads the strings it holds.
        QCOMPARE(readFile(fixture("sst_overcount.xls"), 10, 8),
                 readFile(fixture("invoice_libreoffice.xls"), 10, 8));
        // A cell that uses one of the missing strings fails, naming the cell and the string.
        e = openError(fixture("sst_missing.xls"));
        QCOMPARE(e.number(), 1004L);
        QCOMPARE(e.source(), AbrirSource);
        QVERIFY2(e.description().startsWith(
                     QStringLiteral("El libro está dañado: la celda B3 usa el texto compartido ")),
                 qPrintable(e.description()));
        QVERIFY2(e.description().endsWith(QStringLiteral(", que no existe")), qPrintable(e.description()));
    }

    // Excel 2.x to 4.0 files (written by the npm xlsx package) are named by their format.
    void excel4AndOlderNamed()
    {
        for (const char *name : {"excel2_npm.xls", "excel3_npm.xls", "excel4_npm.xls"}) {
            const PlanexoError e = openError(fixture(name));
            QCOMPARE(e.number(), 1004L);
            QCOMPARE(e.description(),
                     QStringLiteral("El libro tiene el formato de Excel 4.0 o anterior, que no se lee"));
            QCOMPARE(e.source(), AbrirSource);
        }
        // A text file whose first bytes only resemble such a record is still no workbook.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tab.txt"));
        QVERIFY(writeFile(path, QByteArray("\t\0\x04\0abcdefgh", 12)));
        QVERIFY(!openError(path).description().contains(QStringLiteral("Excel 4.0")));
    }

    // Damaged Excel 95 files fail with a description, never a crash; every cut of a workbook is
    // refused or, when its streams are whole, read as the whole file.
    void damagedExcel95()
    {
        PlanexoError e = openError(fixture("biff5_bad_label.xls"));
        QCOMPARE(e.description(),
                 QStringLiteral("El libro está dañado: el texto de la celda A1 no se puede leer"));
        QCOMPARE(e.source(), AbrirSource);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.xls"));
        for (const char *name : {"biff5_invoice_gnumeric.xls", "velvet_libreoffice.xls", "biff5_npm.xls"}) {
            const QByteArray data = fileBytes(fixture(name));
            QVERIFY(!data.isEmpty());
            const QVector<QStringList> whole = readFile(fixture(name), 10, 8);
            for (qsizetype len = 0; len < data.size(); len += 61) {
                QVERIFY(writeFile(path, data.left(len)));
                e = openError(path);
                if (e.number() == 0) {
                    QCOMPARE(readFile(path, 10, 8), whole);
                    continue;
                }
                QCOMPARE(e.source(), AbrirSource);
                QVERIFY(!e.description().isEmpty());
            }
        }
    }

    // Bytes overwritten all over the new kinds of file: each copy is refused with a description or
    // read, and reading its cells fails only with the reader's own errors.
    void corruptedBytes()
    {
        std::mt19937 random(22);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("corrupt.xls"));
        for (const char *name :
             {"biff5_invoice_gnumeric.xls", "biff5_formulas_gnumeric.xls", "biff5_npm.xls",
              "velvet_libreoffice.xls", "velvet_cryptoapi.xls", "biff5_cyrillic_gnumeric.xls"}) {
            const QByteArray data = fileBytes(fixture(name));
            QVERIFY(!data.isEmpty());
            for (int round = 0; round < 150; ++round) {
                QByteArray copy = data;
                const int changes = 1 + int(random() % 8);
                for (int i = 0; i < changes; ++i)
                    copy[qsizetype(random() % uint32_t(copy.size()))] = char(random() % 256);
                QVERIFY(writeFile(path, copy));
                clEcxel reader;
                reader.setArchivo(path);
                try {
                    reader.Hojas();
                    if (!reader.Abrir()) continue;
                    for (long r = 1; r <= 12; ++r)
                        for (long c = 1; c <= 9; ++c) {
                            try {
                                reader.LeerCelda(r, c);
                            } catch (const PlanexoError &cell) {
                                QCOMPARE(cell.number(), 13L);
                                QCOMPARE(cell.source(), LeerCeldaSource);
                            }
                        }
                } catch (const PlanexoError &failure) {
                    QCOMPARE(failure.source(), AbrirSource);
                    QVERIFY(!failure.description().isEmpty());
                }
            }
        }
    }

    // Through the real step-2 grid, in both locales: an Excel 95 invoice and an encrypted one load
    // as the invoice; the streamed load is the cell-by-cell one; an Excel 4.0 file shows its
    // failure with the loader's step.
    void loadsThroughTheGrid()
    {
        TestEnv env;
        shared().entorno = std::make_unique<oENTX::clEntorno>();
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            const QVector<QStringList> invoice = expectedInvoice();
            for (const char *name : {"biff5_invoice_gnumeric.xls", "velvet_libreoffice.xls"}) {
                SheetPanel panel;
                ScriptedInteraction script;
                QVERIFY(panel.lf_LevantarExcel(fixture(name)));
                VERIFY_SCRIPT(script);
                const SheetGridModel &grid = panel.model();
                QCOMPARE(grid.cols(), 7);
                QCOMPARE(grid.rows(), 10);
                QCOMPARE(gridRow(grid, 0), invoice[0].mid(0, 7));
                QCOMPARE(gridRow(grid, 1), QStringList(7, QString()));
                for (int r = 2; r < 10; ++r)
                    QCOMPARE(gridRow(grid, r), invoice[r - 1].mid(0, 7));
            }
            for (const char *name :
                 {"biff5_npm.xls", "biff5_cyrillic_gnumeric.xls", "biff5_formulas_gnumeric.xls",
                  "velvet_cryptoapi.xls", "short_sector.xls"}) {
                SheetGridModel streamed, cellByCell;
                int step = 0;
                QString streamedFailure, cellFailure;
                try {
                    sheetloader::loadFile(fixture(name), streamed, step);
                } catch (const PlanexoError &e) {
                    streamedFailure =
                        QStringLiteral("%1 %2 %3").arg(step).arg(e.number()).arg(e.description());
                }
                try {
                    step = 100;
                    clEcxel excel;
                    excel.setArchivo(fixture(name));
                    excel.Abrir();
                    sheetloader::fillGrid([&excel](long r, long col) { return excel.LeerCelda(r, col); },
                                          cellByCell, step);
                } catch (const PlanexoError &e) {
                    cellFailure = QStringLiteral("%1 %2 %3").arg(step).arg(e.number()).arg(e.description());
                }
                QCOMPARE(streamedFailure, cellFailure);
                QCOMPARE(streamed.rows(), cellByCell.rows());
                QCOMPARE(streamed.cols(), cellByCell.cols());
                for (int r = 0; r < streamed.rows(); ++r)
                    QCOMPARE(gridRow(streamed, r), gridRow(cellByCell, r));
            }
        }
        // An Excel 4.0 file stops the load where the reader opens it.
        SheetPanel panel;
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("1004 - El libro tiene el formato de Excel 4.0 o anterior, que no "
                           "se lee\r\n\r\nSeccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea 100"),
            Interaction::Icon::Critical);
        QVERIFY(!panel.lf_LevantarExcel(fixture("excel4_npm.xls")));
        VERIFY_SCRIPT(script);
    }
};

QTEST_MAIN(TestXls)
#include "test_xls.moc"
