// Loading a 20,000-row invoice workbook into the preview grid's model with the sheet loader
// (cell by cell through clEcxel, one paste), against xlsx2csv converting the same file.
//
//   bench_reader [rows]              generates the workbook, times both, prints the ratio
//   bench_reader --load FILE         (internal) one load in a fresh process: time and peak memory
//   bench_reader --write FILE ROWS   only writes the workbook
#include "data/PlanexoError.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "workbook/clEcxel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <zip.h>

namespace {

constexpr int Cols = 10;
// Each side runs this many times on a shared machine; the best time counts.
constexpr int Runs = 5;

// A minimal .xlsx writer: shared strings for texts, a date style for one column.
bool writeWorkbook(const QString &path, int rows)
{
    const char *ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const char *rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray strings, sheet;
    int stringCount = 0;
    auto sharedString = [&](const QByteArray &text) {
        strings += "<si><t>" + text + "</t></si>";
        return stringCount++;
    };
    const char *headings[Cols] = {"Codigo", "Descripcion", "Cantidad", "Precio", "NCM",
                                  "Origen", "Total",       "Peso",     "Fecha",  "Marca"};
    sheet.reserve(rows * 400);
    sheet += QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet xmlns=\"") + ns +
             "\"><dimension ref=\"A1:J" + QByteArray::number(rows + 1) + "\"/><sheetData>";
    auto cellRef = [](int row, int col) { return QByteArray(1, char('A' + col)) + QByteArray::number(row); };
    sheet += "<row r=\"1\">";
    for (int c = 0; c < Cols; ++c)
        sheet += "<c r=\"" + cellRef(1, c) + "\" t=\"s\"><v>" +
                 QByteArray::number(sharedString(headings[c])) + "</v></c>";
    sheet += "</row>";
    const int origins[4] = {sharedString("China"), sharedString("Brasil"), sharedString("España"),
                            sharedString("Alemania")};
    for (int r = 2; r <= rows + 1; ++r) {
        const int i = r - 2;
        sheet += "<row r=\"" + QByteArray::number(r) + "\">";
        auto text = [&](int c, int s) {
            sheet += "<c r=\"" + cellRef(r, c) + "\" t=\"s\"><v>" + QByteArray::number(s) + "</v></c>";
        };
        auto number = [&](int c, const QByteArray &v, const char *style = nullptr) {
            sheet += "<c r=\"" + cellRef(r, c) + "\"" +
                     (style ? QByteArray(" s=\"") + style + "\"" : QByteArray()) + "><v>" + v + "</v></c>";
        };
        text(0, sharedString("ART-" + QByteArray::number(100000 + i)));
        text(1,
             sharedString("Artículo de prueba número " + QByteArray::number(i) + " con descripción larga"));
        number(2, QByteArray::number(1 + i % 500));
        number(3, QByteArray::number(0.25 + (i % 1000) * 1.37, 'g', 15));
        text(4, sharedString(QByteArray::number(8400 + i % 99) + ".10.00"));
        text(5, origins[i % 4]);
        number(6, QByteArray::number((1 + i % 500) * (0.25 + (i % 1000) * 1.37), 'g', 15));
        number(7, QByteArray::number(i * 0.001, 'g', 15));
        number(8, QByteArray::number(45000 + i % 700), "1");
        text(9, sharedString("Marca " + QByteArray::number(i % 37)));
        sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    const QByteArray sst = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sst xmlns=\"") + ns +
                           "\" count=\"" + QByteArray::number(stringCount) + "\" uniqueCount=\"" +
                           QByteArray::number(stringCount) + "\">" + strings + "</sst>";
    const QByteArray parts[][2] = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
         "Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/"
         "><Override "
         "PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/"
         "><Override "
         "PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/><Override "
         "PartName=\"/xl/sharedStrings.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/></"
         "Types>"},
        {"_rels/.rels",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                    "Id=\"rId1\" Type=\"") +
             rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<workbook xmlns=\"") + ns + "\" xmlns:r=\"" +
             rel + "\"><sheets><sheet name=\"Factura\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                    "Id=\"rId1\" Type=\"") +
             rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
             "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId3\" Type=\"" + rel +
             "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/styles.xml",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<styleSheet xmlns=\"") + ns +
             "\"><fonts count=\"1\"><font/></fonts><fills count=\"1\"><fill/></fills><borders "
             "count=\"1\"><border/></borders><cellStyleXfs count=\"1\"><xf "
             "numFmtId=\"0\"/></cellStyleXfs><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf "
             "numFmtId=\"14\" applyNumberFormat=\"1\"/></cellXfs></styleSheet>"},
        {"xl/sharedStrings.xml", sst},
        {"xl/worksheets/sheet1.xml", sheet},
    };
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    for (const auto &part : parts) {
        // zip_close reads the sources, so each buffer is copied into one libzip frees.
        void *copy = malloc(size_t(part[1].size()));
        memcpy(copy, part[1].constData(), size_t(part[1].size()));
        zip_source_t *source = zip_source_buffer(zip, copy, zip_uint64_t(part[1].size()), 1);
        if (!source || zip_file_add(zip, part[0].constData(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_discard(zip);
            return false;
        }
    }
    return zip_close(zip) == 0;
}

// The sheet loader's own reading (headings up to the first empty one, rows until one is empty
// under every heading, one paste into the grid's model), between Abrir and CerrarArchivo.
void load(const QString &path, SheetGridModel &grid)
{
    clEcxel reader;
    reader.setArchivo(path);
    reader.Abrir();
    int step = 0;
    sheetloader::fillGrid([&reader](long row, long col) { return reader.LeerCelda(row, col); }, grid, step);
    reader.CerrarArchivo();
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

int loadMode(const QString &path)
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    // The grid outlives the timing, as it outlives the load in the program.
    SheetGridModel grid;
    try {
        load(path, grid);
    } catch (const PlanexoError &e) {
        std::fprintf(stderr, "load failed: %s %s\n", qPrintable(e.description()), qPrintable(e.source()));
        return 1;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    const double cpu = cpuMs() - cpuStart;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %ld %d %d %.3f\n", ms, usage.ru_maxrss, grid.rows(), grid.cols(), cpu);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--load")) return loadMode(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--write"))
        return writeWorkbook(args[2], args[3].toInt()) ? 0 : 1;

    const int rows = args.size() > 1 ? args[1].toInt() : 20000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.xlsx"));
    if (!writeWorkbook(file, rows)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("workbook: %d rows x %d columns, %lld bytes\n", rows, Cols, QFile(file).size());

    // Each load runs in a fresh process so that its peak memory is its own; best of five.
    double bestLoad = 1e300, bestLoadCpu = 1e300;
    long peakKb = 0;
    for (int i = 0; i < Runs; ++i) {
        QProcess p;
        p.start(app.applicationFilePath(), {QStringLiteral("--load"), file});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "load run failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        const QList<QByteArray> out = p.readAllStandardOutput().trimmed().split(' ');
        if (out.size() != 5 || out[2].toInt() != rows + 2 || out[3].toInt() != Cols) {
            std::fprintf(stderr, "unexpected grid: %s\n", out.join(' ').constData());
            return 1;
        }
        bestLoad = std::min(bestLoad, out[0].toDouble());
        bestLoadCpu = std::min(bestLoadCpu, out[4].toDouble());
        peakKb = std::max(peakKb, out[1].toLong());
    }

    const QString xlsx2csv = QStandardPaths::findExecutable(QStringLiteral("xlsx2csv"));
    if (xlsx2csv.isEmpty()) {
        std::fprintf(stderr, "xlsx2csv not found\n");
        return 1;
    }
    double bestCsv = 1e300, bestCsvCpu = 1e300;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = childrenCpuMs();
        QProcess p;
        p.start(xlsx2csv, {file, dir.filePath(QStringLiteral("bench.csv"))});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "xlsx2csv failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        bestCsv = std::min(bestCsv, timer.nsecsElapsed() / 1e6);
        bestCsvCpu = std::min(bestCsvCpu, childrenCpuMs() - cpuStart);
    }

    // Wall time is what the operator waits; processor time is steadier on a shared machine.
    std::printf("load into grid model: %.1f ms wall, %.1f ms cpu (best of 5)\n", bestLoad, bestLoadCpu);
    std::printf("xlsx2csv:             %.1f ms wall, %.1f ms cpu (best of 5)\n", bestCsv, bestCsvCpu);
    std::printf("ratio xlsx2csv/load:  %.1fx wall, %.1fx cpu (goal >= 10x)\n", bestCsv / bestLoad,
                bestCsvCpu / bestLoadCpu);
    std::printf("peak RSS of the load: %.1f MiB (goal < 100 MiB)\n", peakKb / 1024.0);
    return 0;
}
