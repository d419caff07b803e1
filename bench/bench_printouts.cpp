// The control report of a large shipment made ready in the print preview: 6,260 rows, 224 Letter
// pages, through Reporte (layout, fitted texts) against a floor that paints the same texts with one
// font made beforehand, into the same preview.
//
//   bench_printouts [rows]   default 6260; a small number (e.g. 200) is a quick check without a goal
#include "ui/process/Reporte.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

QVector<Reporte::Row> makeRows(int n)
{
    QVector<Reporte::Row> rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        Reporte::Row r;
        r.fields = {QStringLiteral("ART-%1").arg(i, 5, 10, QLatin1Char('0')),
                    i % 3 ? QStringLiteral("MARTILLO CARPINTERO %1G").arg(i % 900)
                          : QStringLiteral("LINTERNA LED RECARGABLE DE ALUMINIO %1").arg(i),
                    QStringLiteral("310"), QStringLiteral("24.00"), QStringLiteral("04.2500"),
                    QStringLiteral("102.00"), QStringLiteral("8205.20.00.000A"), QStringLiteral("07"),
                    QStringLiteral("07"), QStringLiteral("24.00"), QStringLiteral("1"), QStringLiteral("310"),
                    QStringLiteral("A"), QStringLiteral("OK")};
        r.suffix = QStringLiteral("AA(GENERICA)-AB(MT %1)-JD01").arg(i);
        rows << r;
    }
    return rows;
}

// Paints every text of the layout with one font, no fitting.
void floorPaint(const Reporte::Layout &layout, QPrinter *printer)
{
    QPainter painter(printer);
    QFont font({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(Reporte::kFontPoints);
    painter.setFont(font);
    const double sx = printer->logicalDpiX() / 1440.0, sy = printer->logicalDpiY() / 1440.0;
    int current = 1;
    for (const Reporte::Item &item : layout.items) {
        while (item.page > current) {
            printer->newPage();
            ++current;
        }
        const QRectF box(item.left * sx, item.top * sy, item.width * sx, item.height * sy);
        if (item.rule)
            painter.drawLine(box.topLeft(), box.topRight());
        else
            painter.drawText(box, int(item.align | Qt::AlignVCenter | Qt::TextSingleLine), item.text);
    }
}

// Milliseconds for the preview to make its pages, best of `runs`.
template <class Paint>
double previewMs(Paint paint, int runs, int *pages)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(QPageSize(QPageSize::Letter));
        Reporte::preparePrinter(printer);
        QPrintPreviewWidget preview(&printer);
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, paint);
        QElapsedTimer t;
        t.start();
        preview.updatePreview();
        best = std::min(best, t.nsecsElapsed() / 1e6);
        *pages = preview.pageCount();
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6260;
    const bool full = n >= 6260;
    const Reporte report(makeRows(n));

    QPrinter probe(QPrinter::HighResolution);
    probe.setPageSize(QPageSize(QPageSize::Letter));
    Reporte::preparePrinter(probe);
    const Reporte::Layout layout =
        report.layout(int(probe.pageLayout().paintRect(QPageLayout::Inch).height() * 1440.0));

    int pages = 0, floorPages = 0;
    const double floorMs = previewMs([&](QPrinter *p) { floorPaint(layout, p); }, 3, &floorPages);
    const double reportMs = previewMs([&](QPrinter *p) { report.print(p); }, 3, &pages);
    std::printf("control report, %d rows, %d pages in the preview (best of 3)\n", n, pages);
    std::printf("  floor (one font, no fitting): %8.1f ms\n", floorMs);
    std::printf("  Reporte:                      %8.1f ms   ratio %.2f x floor\n", reportMs, reportMs / floorMs);
    if (pages != floorPages || pages != layout.pages) {
        std::printf("  FAILED: page counts differ\n");
        return 1;
    }
    if (full) {
        const bool met = reportMs < 300;
        std::printf("  goal: ready in under 300 ms: %s\n", met ? "met" : "NOT met");
        return met ? 0 : 1;
    }
    return 0;
}
