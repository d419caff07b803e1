// Loading a 20,000-row invoice workbook into the preview grid's model with the sheet loader
// (cell by cell through clEcxel, one paste), against a floor that only inflates the parts the
// load reads (the sheet and the shared strings, same libzip), and against other readers of the
// same file (xlsx2csv, openpyxl). The workbook comes from three writers: this benchmark's own,
// xlsxwriter and openpyxl (when Python has them). Peak memory is measured at ten times the rows.
//
//   bench_reader [rows]              the full run, goals judged (default 20,000 rows)
//   bench_reader --small             a few hundred rows, one run each, no goals: that it all works
//   bench_reader --xlsb [rows]       only the binary workbook (.xlsb)
//   bench_reader --load FILE         (internal) one load in a fresh process: time and peak memory
//   bench_reader --floor FILE        (internal) the same for the inflate-only floor
//   bench_reader --floor-file FILE   (internal) the floor of an .ods (content.xml inflated) or a
//                                    .csv (the file read)
//   bench_reader --floor-xls FILE    (internal) the floor of a legacy workbook (see benchExcel95)
//   bench_reader --write FILE ROWS   only writes the workbook (binary when FILE ends in .xlsb)
//
// The same sheet saved as .ods and as .csv (by gnumeric's ssconvert) is loaded too, against its own
// floor and against ssconvert converting that file to .csv.
#include "data/PlanexoError.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "workbook/xls/XlsBiff.h"
#include "workbook/clEcxel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVector>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <vector>
#include <zip.h>

namespace {

constexpr int Cols = 10;

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
        {"xl/styles.xml", QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<styleSheet xmlns=\"") +
                              ns +
                              "\"><fonts count=\"1\"><font/></fonts><fills count=\"1\"><fill><patternFill "
                              "patternType=\"none\"/></fill></fills><borders "
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

// The same invoice as a binary workbook (.xlsb): BIFF12 records, shared strings, whole numbers in
// the compact RK form as Excel writes them, a date style for one column.
namespace xlsbw {

void record(QByteArray &out, uint32_t type, const QByteArray &payload = {})
{
    if (type < 0x80) {
        out += char(type);
    } else {
        out += char((type & 0x7F) | 0x80);
        out += char(type >> 7);
    }
    uint32_t size = uint32_t(payload.size());
    do {
        const uint32_t b = size & 0x7F;
        size >>= 7;
        out += char(b | (size ? 0x80 : 0));
    } while (size);
    out += payload;
}

QByteArray u16(uint32_t v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

QByteArray u32(uint32_t v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

QByteArray wide(const QString &text)
{
    QByteArray out = u32(uint32_t(text.size()));
    for (const QChar c : text)
        out += u16(c.unicode());
    return out;
}

QByteArray real(double v)
{
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    return u32(uint32_t(bits)) + u32(uint32_t(bits >> 32));
}

} // namespace xlsbw

bool writeBinaryWorkbook(const QString &path, int rows)
{
    using namespace xlsbw;
    const char *rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray strings, sheet;
    int stringCount = 0;
    auto sharedString = [&](const QString &text) {
        record(strings, 0x13, QByteArray(1, '\0') + wide(text));
        return stringCount++;
    };
    const char *headings[Cols] = {"Codigo", "Descripcion", "Cantidad", "Precio", "NCM",
                                  "Origen", "Total",       "Peso",     "Fecha",  "Marca"};
    sheet.reserve(rows * 150);
    record(sheet, 0x81);
    record(sheet, 0x94, u32(0) + u32(uint32_t(rows)) + u32(0) + u32(Cols - 1));
    record(sheet, 0x91);
    auto rowHeader = [&](int r) { record(sheet, 0x00, u32(uint32_t(r)) + QByteArray(21, '\0')); };
    auto cell = [](int c, uint32_t style) { return u32(uint32_t(c)) + u32(style); };
    rowHeader(0);
    for (int c = 0; c < Cols; ++c)
        record(sheet, 0x07, cell(c, 0) + u32(uint32_t(sharedString(QString::fromLatin1(headings[c])))));
    const int origins[4] = {sharedString(QStringLiteral("China")), sharedString(QStringLiteral("Brasil")),
                            sharedString(QStringLiteral("España")), sharedString(QStringLiteral("Alemania"))};
    for (int i = 0; i < rows; ++i) {
        rowHeader(i + 1);
        auto text = [&](int c, int s) { record(sheet, 0x07, cell(c, 0) + u32(uint32_t(s))); };
        auto whole = [&](int c, int v, uint32_t style = 0) {
            record(sheet, 0x02, cell(c, style) + u32(uint32_t(v) << 2 | 2));
        };
        auto number = [&](int c, double v) { record(sheet, 0x05, cell(c, 0) + real(v)); };
        const int q = 1 + i % 500;
        const double p = 0.25 + (i % 1000) * 1.37;
        text(0, sharedString(QStringLiteral("ART-%1").arg(100000 + i)));
        text(1, sharedString(QStringLiteral("Artículo de prueba número %1 con descripción larga").arg(i)));
        whole(2, q);
        number(3, p);
        text(4, sharedString(QStringLiteral("%1.10.00").arg(8400 + i % 99)));
        text(5, origins[i % 4]);
        number(6, q * p);
        number(7, i * 0.001);
        whole(8, 45000 + i % 700, 1);
        text(9, sharedString(QStringLiteral("Marca %1").arg(i % 37)));
    }
    record(sheet, 0x92);
    record(sheet, 0x82);
    QByteArray sst;
    record(sst, 0x9F, u32(uint32_t(stringCount)) + u32(uint32_t(stringCount)));
    sst += strings;
    record(sst, 0xA0);
    QByteArray styles;
    record(styles, 0x116);
    record(styles, 0x269, u32(2));
    record(styles, 0x2F, u16(0xFFFF) + u16(0) + QByteArray(12, '\0'));
    record(styles, 0x2F, u16(0) + u16(14) + QByteArray(12, '\0'));
    record(styles, 0x26A);
    record(styles, 0x117);
    QByteArray book;
    record(book, 0x83);
    record(book, 0x99, u32(0) + u32(0) + wide(QStringLiteral("ThisWorkbook")));
    record(book, 0x8F);
    record(book, 0x9C, u32(0) + u32(1) + wide(QStringLiteral("rId1")) + wide(QStringLiteral("Factura")));
    record(book, 0x90);
    record(book, 0x84);
    const QByteArray parts[][2] = {
        {"_rels/.rels",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                    "Id=\"rId1\" Type=\"") +
             rel + "/officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>"},
        {"xl/workbook.bin", book},
        {"xl/_rels/workbook.bin.rels",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                    "Id=\"rId1\" Type=\"") +
             rel + "/worksheet\" Target=\"worksheets/sheet1.bin\"/><Relationship Id=\"rId2\" Type=\"" + rel +
             "/styles\" Target=\"styles.bin\"/><Relationship Id=\"rId3\" Type=\"" + rel +
             "/sharedStrings\" Target=\"sharedStrings.bin\"/></Relationships>"},
        {"xl/styles.bin", styles},
        {"xl/sharedStrings.bin", sst},
        {"xl/worksheets/sheet1.bin", sheet},
    };
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    for (const auto &part : parts) {
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

// The same invoice written by a Python library: producer is "xlsxwriter" or "openpyxl".
const char *PythonWriter = R"PY(
import sys, datetime
producer, path, rows, big = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "big"
heads = ["Codigo", "Descripcion", "Cantidad", "Precio", "NCM", "Origen", "Total", "Peso", "Fecha", "Marca"]
origins = ["China", "Brasil", "España", "Alemania"]
base = datetime.date(1899, 12, 30)
def row(i):
    q = 1 + i % 500
    p = 0.25 + (i % 1000) * 1.37
    return ["ART-%d" % (100000 + i), "Artículo de prueba número %d con descripción larga" % i, q, p,
            "%d.10.00" % (8400 + i % 99), origins[i % 4], q * p, i * 0.001,
            base + datetime.timedelta(days=45000 + i % 700), "Marca %d" % (i % 37)]
if producer == "xlsxwriter":
    import xlsxwriter
    # Row by row for a big sheet: xlsxwriter then writes its texts inline instead of shared.
    wb = xlsxwriter.Workbook(path, {"constant_memory": big})
    ws = wb.add_worksheet("Factura")
    date = wb.add_format({"num_format": "dd/mm/yyyy"})
    ws.write_row(0, 0, heads)
    for i in range(rows):
        values = row(i)
        for c, v in enumerate(values):
            if c == 8:
                ws.write_datetime(i + 1, c, datetime.datetime.combine(v, datetime.time()), date)
            else:
                ws.write(i + 1, c, v)
    wb.close()
else:
    import openpyxl
    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet("Factura")
    ws.append(heads)
    for i in range(rows):
        ws.append(row(i))
    wb.save(path)
)PY";

// openpyxl reading every cell of the first sheet, as a peer.
const char *PythonReader = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1], read_only=True)
n = 0
for r in wb.worksheets[0].iter_rows(values_only=True):
    n += len(r)
print(n)
)PY";

const QString Python = QStringLiteral("/usr/bin/python3");

// SheetJS (npm's "xlsx", installed globally) turning the first sheet into CSV, as a peer.
const char *SheetJsReader = R"JS(
const XLSX = require('xlsx');
const wb = XLSX.readFile(process.argv[1], {dense: true});
const csv = XLSX.utils.sheet_to_csv(wb.Sheets[wb.SheetNames[0]]);
console.log(csv.length);
)JS";

// Node with SheetJS reachable, or empty: NODE_PATH is pointed at npm's global modules.
QString sheetJsNode()
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString npm = QStandardPaths::findExecutable(QStringLiteral("npm"));
    if (node.isEmpty() || npm.isEmpty()) return {};
    QProcess root;
    root.start(npm, {QStringLiteral("root"), QStringLiteral("-g")});
    if (!root.waitForFinished(60000) || root.exitCode() != 0) return {};
    qputenv("NODE_PATH", root.readAllStandardOutput().trimmed());
    QProcess p;
    p.start(node, {QStringLiteral("-e"), QStringLiteral("require('xlsx')")});
    const bool has = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return has ? node : QString();
}

bool pythonHas(const QString &module)
{
    QProcess p;
    p.start(Python, {QStringLiteral("-c"), QStringLiteral("import ") + module});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool writeWithPython(const QString &producer, const QString &path, int rows, bool big)
{
    QProcess p;
    p.start(Python, {QStringLiteral("-c"), QString::fromUtf8(PythonWriter), producer, path,
                     QString::number(rows), big ? QStringLiteral("big") : QStringLiteral("-")});
    if (!p.waitForFinished(1800000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s could not write the workbook: %s\n", qPrintable(producer),
                     p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The sheet loader's own load (Abrir, headings up to the first empty one, rows until one is empty
// under every heading, one paste into the grid's model, CerrarArchivo).
void load(const QString &path, SheetGridModel &grid)
{
    int step = 0;
    sheetloader::loadFile(path, grid, step);
}

// The floor: the parts the load must inflate, inflated with the same library into one reused
// buffer, and nothing else. Returns the bytes inflated, or -1.
qint64 inflateParts(const QString &path)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip) return -1;
    qint64 total = 0;
    std::vector<char> buffer(1 << 16);
    const bool binary = path.endsWith(QLatin1String(".xlsb"));
    const char *sharedStrings = binary ? "xl/sharedStrings.bin" : "xl/sharedStrings.xml";
    for (const char *name :
         {sharedStrings, binary ? "xl/worksheets/sheet1.bin" : "xl/worksheets/sheet1.xml"}) {
        zip_file_t *file = zip_fopen(zip, name, ZIP_FL_NOCASE);
        if (!file) {
            // A workbook with its texts inline has no shared strings.
            zip_discard(zip);
            if (total > 0 || std::strcmp(name, sharedStrings) != 0) return -1;
            zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
            if (!zip) return -1;
            continue;
        }
        zip_int64_t n;
        while ((n = zip_fread(file, buffer.data(), buffer.size())) > 0)
            total += n;
        zip_fclose(file);
    }
    zip_discard(zip);
    return total;
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

// The process's own peak resident memory in KiB. Not getrusage: its figure carries over the
// parent's peak from before exec.
long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Prints "wall-ms peak-KiB rows cols cpu-ms".
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
    std::printf("%.3f %ld %d %d %.3f\n", ms, peakKb(), grid.rows(), grid.cols(), cpu);
    return 0;
}

int floorMode(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    const qint64 bytes = inflateParts(path);
    if (bytes < 0) {
        std::fprintf(stderr, "floor: cannot inflate the parts of %s\n", qPrintable(path));
        return 1;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    const double cpu = cpuMs() - cpuStart;
    std::printf("%.3f %ld %lld 0 %.3f\n", ms, peakKb(), bytes, cpu);
    return 0;
}

// The floor of the formats converted from the workbook: an .ods's content.xml inflated with the
// same library, a text file read whole. Prints as floorMode does.
int floorFileMode(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    qint64 bytes = 0;
    if (path.endsWith(QLatin1String(".ods"))) {
        int error = 0;
        zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
        zip_file_t *file = zip ? zip_fopen(zip, "content.xml", 0) : nullptr;
        if (!file) {
            if (zip) zip_discard(zip);
            std::fprintf(stderr, "floor: no content.xml in %s\n", qPrintable(path));
            return 1;
        }
        std::vector<char> buffer(1 << 16);
        zip_int64_t n;
        while ((n = zip_fread(file, buffer.data(), buffer.size())) > 0)
            bytes += n;
        zip_fclose(file);
        zip_discard(zip);
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return 1;
        bytes = file.readAll().size();
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    const double cpu = cpuMs() - cpuStart;
    std::printf("%.3f %ld %lld 0 %.3f\n", ms, peakKb(), bytes, cpu);
    return 0;
}

struct Figures {
    double wall = 1e300, cpu = 1e300; // best of the runs
    long peakKb = 0;                  // largest of the runs
    bool ok = false;
};

// Runs this program in one of its internal modes, runs times, each in a fresh process.
Figures runSelf(const QString &mode, const QString &file, int runs, int expectRows)
{
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {mode, file});
        if (!p.waitForFinished(1800000) || p.exitCode() != 0) {
            std::fprintf(stderr, "%s run failed: %s\n", qPrintable(mode),
                         p.readAllStandardError().constData());
            return f;
        }
        const QList<QByteArray> out = p.readAllStandardOutput().trimmed().split(' ');
        if (out.size() != 5 ||
            (expectRows > 0 && (out[2].toInt() != expectRows + 2 || out[3].toInt() != Cols))) {
            std::fprintf(stderr, "%s: unexpected result: %s\n", qPrintable(mode), out.join(' ').constData());
            return f;
        }
        f.wall = std::min(f.wall, out[0].toDouble());
        f.cpu = std::min(f.cpu, out[4].toDouble());
        f.peakKb = std::max(f.peakKb, out[1].toLong());
    }
    f.ok = true;
    return f;
}

// The best figures of two sets of runs; not ok when either failed.
Figures bestOf(const Figures &a, const Figures &b, bool first)
{
    if (first) return b;
    Figures f;
    f.wall = std::min(a.wall, b.wall);
    f.cpu = std::min(a.cpu, b.cpu);
    f.peakKb = std::max(a.peakKb, b.peakKb);
    f.ok = a.ok && b.ok;
    return f;
}

// Runs another program, runs times; its processor time is the children's.
Figures runPeer(const QString &program, const QStringList &args, int runs)
{
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = childrenCpuMs();
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(1800000) || p.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                         p.readAllStandardError().constData());
            return f;
        }
        f.wall = std::min(f.wall, timer.nsecsElapsed() / 1e6);
        f.cpu = std::min(f.cpu, childrenCpuMs() - cpuStart);
    }
    f.ok = true;
    return f;
}

struct Workbook {
    QString producer;
    QString path;
};

// Writes the invoice with every producer at hand.
QVector<Workbook> writeWorkbooks(const QTemporaryDir &dir, int rows, const QString &tag, bool withOpenpyxl)
{
    QVector<Workbook> books;
    const QString own = dir.filePath(QStringLiteral("own-%1.xlsx").arg(tag));
    if (writeWorkbook(own, rows)) books.append({QStringLiteral("own writer"), own});
    for (const QString &producer : {QStringLiteral("xlsxwriter"), QStringLiteral("openpyxl")}) {
        if (producer == QLatin1String("openpyxl") && !withOpenpyxl) continue;
        if (!pythonHas(producer)) {
            std::printf("  (%s not installed: its workbook is skipped)\n", qPrintable(producer));
            continue;
        }
        const QString path = dir.filePath(QStringLiteral("%1-%2.xlsx").arg(producer, tag));
        if (writeWithPython(producer, path, rows, !withOpenpyxl)) books.append({producer, path});
    }
    return books;
}

// The floor of a legacy workbook: the file read, its workbook stream taken out of the compound
// file, and every record's header walked (what any reader of the format does before a cell).
int floorXlsMode(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    QFile file(path);
    xlsbiff::CompoundFile compound;
    if (!file.open(QIODevice::ReadOnly) || !compound.open(file.readAll())) return 1;
    const QByteArray stream = compound.stream(QStringLiteral("Book"));
    qint64 records = 0, sum = 0;
    for (qsizetype at = 0; at + 4 <= stream.size(); ++records) {
        const uint32_t type = uchar(stream[at]) | uint32_t(uchar(stream[at + 1])) << 8;
        const qsizetype length = uchar(stream[at + 2]) | qsizetype(uchar(stream[at + 3])) << 8;
        sum += type;
        at += 4 + length;
    }
    if (records == 0 || sum == 0) return 1;
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("%.3f %ld %lld 0 %.3f\n", ms, peakKb(), records, cpuMs() - cpuStart);
    return 0;
}

// Excel 5.0/95: this benchmark's invoice converted by ssconvert (the format holds at most 16,384
// rows, so the sheet has that many when more are asked for), loaded against its floor and against
// ssconvert converting the same file to csv. Peak memory at ten times the rows cannot be measured:
// no Excel 95 sheet holds them. Returns false when a run failed; met goes false on a missed goal.
bool benchExcel95(const QTemporaryDir &dir, int rows, int runs, int peerRuns, bool small, bool &met)
{
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty()) {
        std::printf("Excel 95 workbook: ssconvert (gnumeric) not installed, not measured\n");
        return true;
    }
    rows = std::min(rows, 16383);
    const QString source = dir.filePath(QStringLiteral("excel95.xlsx"));
    const QString book = dir.filePath(QStringLiteral("excel95.xls"));
    if (!writeWorkbook(source, rows)) return false;
    QProcess convert;
    convert.start(ssconvert, {QStringLiteral("--export-type=Gnumeric_Excel:excel_biff7"), source, book});
    if (!convert.waitForFinished(1800000) || convert.exitCode() != 0) {
        std::fprintf(stderr, "ssconvert could not write the Excel 95 workbook\n");
        return false;
    }
    std::printf("Excel 95 workbook (written by ssconvert), %d rows x %d columns\n", rows, Cols);
    Figures floor, load;
    for (int i = 0; i < runs; ++i) {
        floor = bestOf(floor, runSelf(QStringLiteral("--floor-xls"), book, 1, 0), i == 0);
        load = bestOf(load, runSelf(QStringLiteral("--load"), book, 1, rows), i == 0);
    }
    if (!floor.ok || !load.ok) return false;
    std::printf("  %-10s %9lld bytes  floor %7.1f ms  load %7.1f ms (%7.1f wall)  load/floor %5.2fx",
                "ssconvert", QFile(book).size(), floor.cpu, load.cpu, load.wall, load.cpu / floor.cpu);
    if (!small) {
        const bool ok = load.cpu <= 3 * floor.cpu;
        met = met && ok;
        std::printf(" (goal <= 3x: %s)", ok ? "met" : "NOT met");
    }
    std::printf("  peak %.1f MiB\n", load.peakKb / 1024.0);
    const Figures gn = runPeer(ssconvert,
                               {QStringLiteral("--export-type=Gnumeric_stf:stf_csv"), book,
                                dir.filePath(QStringLiteral("excel95.csv"))},
                               peerRuns);
    if (!gn.ok) return false;
    std::printf("    ssconvert %7.1f ms  ssconvert/load %5.1fx", gn.cpu, gn.cpu / load.cpu);
    if (!small) {
        const bool ok = gn.cpu >= 10 * load.cpu;
        met = met && ok;
        std::printf(" (goal >= 10x: %s)", ok ? "met" : "NOT met");
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

// The binary workbook: the same load against its floor (the records inflated), LibreOffice and
// SheetJS turning it into CSV as peers (gnumeric's ssconvert refuses .xlsb: "Unsupported file
// format"), and the peak memory at ten times the rows.
void benchBinary(const QTemporaryDir &dir, int rows, int runs, int peerRuns, bool small, const QString &node,
                 bool &met, bool &failed)
{
    std::printf("binary workbook (.xlsb) load, %d rows x %d columns\n", rows, Cols);
    const QString path = dir.filePath(QStringLiteral("own-speed.xlsb"));
    if (!writeBinaryWorkbook(path, rows)) {
        std::printf("  could not write the workbook\n");
        failed = true;
        return;
    }
    Figures floor, load;
    for (int i = 0; i < runs; ++i) {
        floor = bestOf(floor, runSelf(QStringLiteral("--floor"), path, 1, 0), i == 0);
        load = bestOf(load, runSelf(QStringLiteral("--load"), path, 1, rows), i == 0);
    }
    if (!floor.ok || !load.ok) {
        failed = true;
        return;
    }
    std::printf("  %-10s %9lld bytes  floor %7.1f ms  load %7.1f ms (%7.1f wall)  load/floor %5.2fx",
                "own writer", QFile(path).size(), floor.cpu, load.cpu, load.wall, load.cpu / floor.cpu);
    if (!small) {
        const bool ok = load.cpu <= 3 * floor.cpu;
        met = met && ok;
        std::printf(" (goal <= 3x: %s)", ok ? "met" : "NOT met");
    }
    std::printf("\n");
    std::fflush(stdout);
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!soffice.isEmpty()) {
        const QString profile =
            QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("lo"));
        const Figures lo = runPeer(soffice,
                                   {profile, QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                    QStringLiteral("csv"), QStringLiteral("--outdir"),
                                    dir.filePath(QStringLiteral("lo-out")), path},
                                   peerRuns);
        if (lo.ok) {
            std::printf("    LibreOffice %5.1f ms  LibreOffice/load %5.1fx", lo.cpu, lo.cpu / load.cpu);
            if (!small) {
                const bool ok = lo.cpu >= 10 * load.cpu;
                met = met && ok;
                std::printf(" (goal >= 10x: %s)", ok ? "met" : "NOT met");
            }
            std::printf("\n");
        } else {
            failed = true;
        }
    } else {
        std::printf("    (LibreOffice not installed: not compared)\n");
    }
    if (!node.isEmpty()) {
        const Figures js =
            runPeer(node, {QStringLiteral("-e"), QString::fromUtf8(SheetJsReader), path}, peerRuns);
        if (js.ok)
            std::printf("    SheetJS  %8.1f ms  SheetJS/load  %5.1fx\n", js.cpu, js.cpu / load.cpu);
        else
            failed = true;
    }
    std::fflush(stdout);

    const int memoryRows = rows * 10;
    const QString big = dir.filePath(QStringLiteral("own-memory.xlsb"));
    if (!writeBinaryWorkbook(big, memoryRows)) {
        failed = true;
        return;
    }
    const Figures bigFloor = runSelf(QStringLiteral("--floor"), big, 1, 0);
    const Figures bigLoad = runSelf(QStringLiteral("--load"), big, 1, memoryRows);
    QFile::remove(big);
    if (!bigFloor.ok || !bigLoad.ok) {
        failed = true;
        return;
    }
    const double mib = bigLoad.peakKb / 1024.0;
    std::printf("  peak memory at %d rows: load %6.1f MiB  floor process %5.1f MiB", memoryRows, mib,
                bigFloor.peakKb / 1024.0);
    if (!small) {
        const bool ok = mib < 120;
        met = met && ok;
        std::printf(" (goal < 120 MiB: %s)", ok ? "met" : "NOT met");
    }
    std::printf("\n");
    std::fflush(stdout);
}

// The own writer's workbook saved by ssconvert as .ods and as a ';' .csv in the load's locale, each
// loaded against its floor and against ssconvert converting it to .csv; peak memory at ten times
// the rows. Goals: within 3x the floor, at least 10x faster than ssconvert, under 120 MiB.
void benchConvertedFormats(const QTemporaryDir &dir, int rows, int runs, int peerRuns, bool small,
                           const QString &ssconvert, bool &met, bool &failed)
{
    if (ssconvert.isEmpty()) {
        std::printf("  (ssconvert not installed: .ods and .csv not measured)\n");
        return;
    }
    const auto convert = [&](const QString &from, const QString &to) {
        QStringList args;
        if (to.endsWith(QLatin1String(".csv")))
            args << QStringLiteral("--export-type=Gnumeric_stf:stf_assistant") << QStringLiteral("-O")
                 << QStringLiteral("separator=; locale=es_AR.UTF-8");
        args << from << to;
        QProcess p;
        p.start(ssconvert, args);
        return p.waitForFinished(1800000) && p.exitCode() == 0 && QFile::exists(to);
    };
    for (const bool memory : {false, true}) {
        const int n = memory ? rows * 10 : rows;
        const QString source = dir.filePath(QStringLiteral("converted-%1.xlsx").arg(n));
        if (!writeWorkbook(source, n)) {
            failed = true;
            return;
        }
        if (memory) std::printf("peak memory of one load, %d rows x %d columns, converted formats\n", n, Cols);
        else std::printf("converted formats, %d rows x %d columns\n", n, Cols);
        for (const char *ext : {"ods", "csv"}) {
            const QString path = dir.filePath(QStringLiteral("converted-%1.%2").arg(n).arg(QLatin1String(ext)));
            if (!convert(source, path)) {
                std::fprintf(stderr, "ssconvert could not write %s\n", qPrintable(path));
                failed = true;
                continue;
            }
            Figures floor, load;
            for (int i = 0; i < (memory ? 1 : runs); ++i) {
                floor = bestOf(floor, runSelf(QStringLiteral("--floor-file"), path, 1, 0), i == 0);
                load = bestOf(load, runSelf(QStringLiteral("--load"), path, 1, n), i == 0);
            }
            if (!floor.ok || !load.ok) {
                failed = true;
                continue;
            }
            if (memory) {
                const double mib = load.peakKb / 1024.0;
                std::printf("  %-4s load %6.1f MiB  floor process %5.1f MiB", ext, mib, floor.peakKb / 1024.0);
                if (!small) {
                    const bool ok = mib < 120;
                    met = met && ok;
                    std::printf(" (goal < 120 MiB: %s)", ok ? "met" : "NOT met");
                }
                std::printf("\n");
                QFile::remove(path);
                continue;
            }
            std::printf("  %-4s %9lld bytes  floor %7.1f ms  load %7.1f ms (%7.1f wall)  load/floor %5.2fx", ext,
                        QFile(path).size(), floor.cpu, load.cpu, load.wall, load.cpu / floor.cpu);
            if (!small) {
                const bool ok = load.cpu <= 3 * floor.cpu;
                met = met && ok;
                std::printf(" (goal <= 3x: %s)", ok ? "met" : "NOT met");
            }
            std::printf("\n");
            const Figures gn = runPeer(ssconvert,
                                       {QStringLiteral("--export-type=Gnumeric_stf:stf_csv"), path,
                                        dir.filePath(QStringLiteral("out-converted.csv"))},
                                       peerRuns);
            if (!gn.ok) {
                failed = true;
                continue;
            }
            std::printf("    ssconvert %7.1f ms  ssconvert/load %5.1fx", gn.cpu, gn.cpu / load.cpu);
            if (!small) {
                const bool ok = gn.cpu >= 10 * load.cpu;
                met = met && ok;
                std::printf(" (goal >= 10x: %s)", ok ? "met" : "NOT met");
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        QFile::remove(source);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--load")) return loadMode(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--floor")) return floorMode(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--floor-file")) return floorFileMode(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--floor-xls")) return floorXlsMode(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--write"))
        return (args[2].endsWith(QLatin1String(".xlsb")) ? writeBinaryWorkbook(args[2], args[3].toInt())
                                                         : writeWorkbook(args[2], args[3].toInt()))
                   ? 0
                   : 1;

    // Small mode: that every path runs, in seconds; the figures mean nothing at this size.
    const bool small = args.contains(QStringLiteral("--small"));
    // Only the binary workbook's figures.
    const bool binaryOnly = args.contains(QStringLiteral("--xlsb"));
    int rows = 20000;
    for (int i = 1; i < args.size(); ++i)
        if (!args[i].startsWith('-')) rows = std::max(1, args[i].toInt());
    if (small) rows = 300;
    const int runs = small ? 1 : 7;
    const int peerRuns = small ? 1 : 3;
    const int memoryRows = rows * 10;

    QTemporaryDir dir;
    const QString xlsx2csv = QStandardPaths::findExecutable(QStringLiteral("xlsx2csv"));
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    const bool openpyxl = pythonHas(QStringLiteral("openpyxl"));
    const QString node = sheetJsNode();
    bool met = true, failed = false;

    std::printf("workbook load, %d rows x %d columns%s\n", rows, Cols,
                small ? " (small mode: no goals)" : "");
    std::printf("  times: processor time in ms, best of %d (peers best of %d); ratios in the same run\n",
                runs, peerRuns);
    for (const Workbook &book :
         binaryOnly ? QVector<Workbook>() : writeWorkbooks(dir, rows, QStringLiteral("speed"), true)) {
        // Floor and load take turns, so that a slow spell of the machine falls on both.
        Figures floor, load;
        for (int i = 0; i < runs; ++i) {
            floor = bestOf(floor, runSelf(QStringLiteral("--floor"), book.path, 1, 0), i == 0);
            load = bestOf(load, runSelf(QStringLiteral("--load"), book.path, 1, rows), i == 0);
        }
        if (!floor.ok || !load.ok) {
            failed = true;
            continue;
        }
        std::printf("  %-10s %9lld bytes  floor %7.1f ms  load %7.1f ms (%7.1f wall)  load/floor %5.2fx",
                    qPrintable(book.producer), QFile(book.path).size(), floor.cpu, load.cpu, load.wall,
                    load.cpu / floor.cpu);
        if (!small) {
            const bool ok = load.cpu <= 2.5 * floor.cpu;
            met = met && ok;
            std::printf(" (goal <= 2.5x: %s)", ok ? "met" : "NOT met");
        }
        std::printf("\n");
        std::fflush(stdout);
        if (!xlsx2csv.isEmpty()) {
            const Figures csv =
                runPeer(xlsx2csv, {book.path, dir.filePath(QStringLiteral("out.csv"))}, peerRuns);
            if (csv.ok) {
                std::printf("    xlsx2csv %8.1f ms  xlsx2csv/load %5.1fx", csv.cpu, csv.cpu / load.cpu);
                if (!small) {
                    const bool ok = csv.cpu >= 20 * load.cpu;
                    met = met && ok;
                    std::printf(" (goal >= 20x: %s)", ok ? "met" : "NOT met");
                }
                std::printf("\n");
                std::fflush(stdout);
            } else {
                failed = true;
            }
        }
        if (!ssconvert.isEmpty()) {
            const Figures gn = runPeer(ssconvert,
                                       {QStringLiteral("--export-type=Gnumeric_stf:stf_csv"), book.path,
                                        dir.filePath(QStringLiteral("out-ss.csv"))},
                                       peerRuns);
            if (gn.ok)
                std::printf("    ssconvert %7.1f ms  ssconvert/load %5.1fx\n", gn.cpu, gn.cpu / load.cpu);
            else
                failed = true;
        }
        if (openpyxl) {
            const Figures py =
                runPeer(Python, {QStringLiteral("-c"), QString::fromUtf8(PythonReader), book.path}, peerRuns);
            if (py.ok)
                std::printf("    openpyxl %8.1f ms  openpyxl/load %5.1fx\n", py.cpu, py.cpu / load.cpu);
            else
                failed = true;
        }
        if (!node.isEmpty()) {
            const Figures js = runPeer(node, {QStringLiteral("-e"), QString::fromUtf8(SheetJsReader), book.path},
                                       peerRuns);
            if (js.ok)
                std::printf("    SheetJS  %8.1f ms  SheetJS/load  %5.1fx\n", js.cpu, js.cpu / load.cpu);
            else
                failed = true;
        }
    }
    if (xlsx2csv.isEmpty() && !binaryOnly) std::printf("  (xlsx2csv not installed: not compared)\n");
    if (!binaryOnly && !benchExcel95(dir, rows, runs, peerRuns, small, met)) failed = true;
    benchBinary(dir, rows, runs, peerRuns, small, node, met, failed);

    // Memory: the grid holds every cell after the load; the floor process holds only the parts' buffer.
    if (!binaryOnly) std::printf("peak memory of one load, %d rows x %d columns\n", memoryRows, Cols);
    for (const Workbook &book : binaryOnly
                                    ? QVector<Workbook>()
                                    : writeWorkbooks(dir, memoryRows, QStringLiteral("memory"), false)) {
        const Figures floor = runSelf(QStringLiteral("--floor"), book.path, 1, 0);
        const Figures load = runSelf(QStringLiteral("--load"), book.path, 1, memoryRows);
        if (!floor.ok || !load.ok) {
            failed = true;
            continue;
        }
        const double mib = load.peakKb / 1024.0;
        std::printf("  %-10s load %6.1f MiB  floor process %5.1f MiB  load/floor %5.2fx",
                    qPrintable(book.producer), mib, floor.peakKb / 1024.0,
                    double(load.peakKb) / double(floor.peakKb));
        if (!small) {
            const bool ok = mib < 120;
            met = met && ok;
            std::printf(" (goal < 120 MiB: %s)", ok ? "met" : "NOT met");
        }
        std::printf("\n");
        std::fflush(stdout);
        QFile::remove(book.path);
    }
    if (!binaryOnly) benchConvertedFormats(dir, rows, runs, peerRuns, small, ssconvert, met, failed);
    if (failed) {
        std::printf("FAILED: a run did not complete\n");
        return 1;
    }
    if (!small) std::printf("goals: %s\n", met ? "all met" : "NOT all met");
    return small || met ? 0 : 1;
}
