// Loading a printed invoice (PDF) into the preview grid's model: the helper planexo-pdftext reading
// the text layer in its own process, the words turned into a table, the grid filled; against
// poppler's own pdftotext -layout on the same file. The invoice is written here: 20 pages of 50
// items (1,000), amounts set right, a heading repeated on every page (the grid takes it as a row: the
// items run on over the pages); then 500 pages for memory and progress.
//
//   bench_pdf            the full run, goals judged (under 1 s, within 3x pdftotext, helper under
//                        100 MiB; 500 pages within the same memory, progress told page by page)
//   bench_pdf --small    two pages, one run each, no goals: that it all works
//   bench_pdf --peak F   (internal) runs the helper once on F and prints its peak memory in KiB
#include "data/PlanexoError.h"
#include "import/LoadPlan.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "workbook/pdf/PdfReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

// A PDF of pages of Courier text (every glyph 0.6 of the size wide, so that amounts are set right
// by counting characters), one content stream a page.
bool writeInvoice(const QString &path, int pages, int itemsPerPage)
{
    QByteArray pdf = "%PDF-1.4\n";
    std::vector<qsizetype> offsets;
    const auto object = [&](const QByteArray &body) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(qsizetype(offsets.size())) + " 0 obj\n" + body + "\nendobj\n";
    };
    // 1 catalogue, 2 page tree, 3 font, then page and content pairs.
    object("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int p = 0; p < pages; ++p)
        kids += QByteArray::number(4 + 2 * p) + " 0 R ";
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    const double size = 8, glyph = 0.6 * size;
    int item = 0;
    for (int p = 0; p < pages; ++p) {
        QByteArray text = "BT /F1 8 Tf\n";
        const auto put = [&](double x, double y, const QByteArray &s, bool right) {
            const double at = right ? x - glyph * double(s.size()) : x;
            text += "1 0 0 1 " + QByteArray::number(at, 'f', 2) + ' ' + QByteArray::number(y, 'f', 2) +
                    " Tm (" + s + ") Tj\n";
        };
        double y = 800;
        if (p == 0) {
            put(40, y, "IMPORTADORA Y EXPORTADORA DEL PLATA S.A.", false);
            put(40, y - 12, "Factura E 0003-00001234 - Fecha 05/03/2024", false);
            y -= 40;
        }
        const auto row = [&](const QByteArray &code, const QByteArray &desc, const QByteArray &qty,
                             const QByteArray &unit, const QByteArray &total, const QByteArray &origin) {
            put(40, y, code, false);
            put(100, y, desc, false);
            put(330, y, qty, true);
            put(400, y, unit, true);
            put(480, y, total, true);
            put(490, y, origin, false);
            y -= 13;
        };
        row("Codigo", "Descripcion", "Cant.", "P. Unit.", "Importe", "Origen");
        for (int i = 0; i < itemsPerPage; ++i, ++item) {
            const int qty = 1 + item % 97;
            const double unit = 0.5 + (item * 37 % 1000) / 4.0;
            QByteArray total = QByteArray::number(qty * unit, 'f', 2);
            if (total.size() > 6) total.insert(total.size() - 6, ','); // 1,234.50
            row("ART-" + QByteArray::number(100000 + item),
                "ARTICULO DE FERRETERIA NRO " + QByteArray::number(item), QByteArray::number(qty),
                QByteArray::number(unit, 'f', 2), total, item % 3 ? "CHINA" : "BRASIL");
        }
        text += "ET";
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> "
               "/Contents " +
               QByteArray::number(5 + 2 * p) + " 0 R >>");
        object("<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(qsizetype(offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (qsizetype at : offsets)
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(qsizetype(offsets.size()) + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// One load into the grid's model; seconds, or -1 with the failure printed.
double loadSeconds(const QString &path, int *rows = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    SheetGridModel grid;
    int step = 0;
    try {
        // Row 4: the headings under the letterhead and the blank row the gap makes.
        LoadPlan plan;
        plan.headingRow = 4;
        sheetloader::loadFile(path, plan, grid, step);
    } catch (const PlanexoError &e) {
        std::printf("load failed: %s\n", qPrintable(e.description()));
        return -1;
    }
    if (rows) *rows = grid.rows();
    return double(timer.nsecsElapsed()) / 1e9;
}

double pdftotextSeconds(const QString &tool, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), path, QDir::temp().filePath(QStringLiteral("bench_pdf.txt"))});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

// The helper's peak memory on a file, measured in a process of its own (KiB).
long peakKiB(const QString &path)
{
    QProcess self;
    self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), path});
    if (!self.waitForFinished(600000)) return -1;
    return self.readAllStandardOutput().trimmed().toLong();
}

int peakMode(const QString &path)
{
    QProcess helper;
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.start(pdf::helperPath(), {path});
    if (!helper.waitForFinished(600000)) return 1;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("%ld\n", long(usage.ru_maxrss));
    return 0;
}

double best(int runs, const std::function<double()> &run)
{
    double b = 1e9;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, run());
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--peak")) return peakMode(args[2]);
    if (qEnvironmentVariableIsEmpty("PLANEXO_PDFTEXT"))
        qputenv(
            "PLANEXO_PDFTEXT",
            QFile::encodeName(QDir(app.applicationDirPath()).filePath(QStringLiteral("../planexo-pdftext"))));
    const bool small = args.contains(QStringLiteral("--small"));
    const int pages = small ? 2 : 20, perPage = 50, runs = small ? 1 : 5;
    QTemporaryDir dir;
    const QString invoice = dir.filePath(QStringLiteral("factura.pdf"));
    if (!writeInvoice(invoice, pages, perPage)) return 1;

    int rows = 0;
    // Each run reads the file afresh: the reader keeps the last file's table, so the runs alternate
    // between two copies.
    const QString copy = dir.filePath(QStringLiteral("copia.pdf"));
    QFile::copy(invoice, copy);
    int turn = 0;
    const double ours = best(runs, [&] { return loadSeconds(turn++ % 2 ? copy : invoice, &rows); });
    if (ours < 0) return 1;
    std::printf("%d pages, %d items: grid of %d rows in %.3f s\n", pages, pages * perPage, rows, ours);
    const long peak = peakKiB(invoice);
    std::printf("helper peak memory: %.1f MiB\n", double(peak) / 1024);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    bool ok = true;
    if (pdftotext.isEmpty()) {
        std::printf("pdftotext not found (Debian: poppler-utils): no baseline\n");
    } else {
        const double base = best(runs, [&] { return pdftotextSeconds(pdftotext, invoice); });
        std::printf("pdftotext -layout: %.3f s   ratio (grid / pdftotext): %.2f\n", base, ours / base);
        if (!small) ok = ok && ours / base <= 3;
    }
    if (!small) ok = ok && ours < 1 && peak < 100 * 1024;

    if (!small) {
        const QString big = dir.filePath(QStringLiteral("grande.pdf"));
        if (!writeInvoice(big, 500, perPage)) return 1;
        int told = 0, last = 0;
        pdf::setProgressListener([&](int page, int) {
            ++told;
            last = page;
        });
        const double seconds = loadSeconds(big, &rows);
        pdf::setProgressListener(nullptr);
        const long bigPeak = peakKiB(big);
        std::printf("500 pages, %d items: grid of %d rows in %.3f s, progress told %d times (last page %d), "
                    "helper peak %.1f MiB\n",
                    500 * perPage, rows, seconds, told, last, double(bigPeak) / 1024);
        ok = ok && seconds > 0 && bigPeak < 100 * 1024 && told > 1;
        std::printf("goals: %s\n", ok ? "met" : "missed");
    }
    return ok ? 0 : 1;
}
