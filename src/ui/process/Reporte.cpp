#include "ui/process/Reporte.h"

#include "data/Recordset.h"
#include "data/VbFormat.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <cmath>
#include <map>

namespace {

struct Column {
    const char *heading;
    int left, width;
    const char *field;
    const char *pattern; // number format, or nullptr for text
};

// The detail line's fields under their headings.
const Column kColumns[] = {
    {"Articulo", 71, 850, "ARTNRO", nullptr},     {"Descripcion", 992, 1701, "ARTDSC", nullptr},
    {"Pais", 2764, 354, "ARTORG", nullptr},       {"Cantidad", 3189, 709, "ARTCAN", "00.00"},
    {"Unitario", 4039, 709, "ARTUNI", "00.0000"}, {"Total", 4819, 709, "ARTTOT", "00.00"},
    {"Posición", 5598, 1277, "PRCNCM", nullptr},  {"Declar", 6945, 566, "PRCDUN", nullptr},
    {"Estadis", 7583, 567, "PRCEUN", nullptr},    {"Estad Cant", 8221, 850, "PRCECA", "00.00"},
    {"Merc", 9142, 425, "PRCESM", nullptr},       {"Orig", 9638, 425, "PRCORI", nullptr},
    {"Modo", 10135, 425, "PRCEST", nullptr},      {"Estad", 10631, 496, "PRCCRC", nullptr},
};
constexpr int kColumnCount = int(std::size(kColumns));

constexpr int kSuffixLeft = 71;
constexpr int kSuffixWidth = 9015;

// The "Unitario" heading is wider than its field and starts further left.
constexpr int kUnitHeadingLeft = 3968;
constexpr int kUnitHeadingWidth = 780;

constexpr int kGroupTop = 0;
constexpr int kGroupRuleTop = 270;
constexpr int kHeadingTop = 345;

constexpr double kTwipsPerInch = 1440.0;

Qt::Alignment alignmentOf(const Column &c)
{
    return c.pattern ? Qt::AlignRight : Qt::AlignLeft;
}

} // namespace

QVector<Reporte::Row> Reporte::rowsFrom(Recordset &rs)
{
    QVector<Row> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        Row row;
        row.fields.reserve(kColumnCount);
        for (const Column &c : kColumns) {
            const QVariant value = rs.Fields(QLatin1String(c.field));
            row.fields << (c.pattern ? vb::format(value, QLatin1String(c.pattern)) : value.toString());
        }
        row.suffix = rs.Fields(QStringLiteral("PRCSUF")).toString();
        rows << row;
    }
    return rows;
}

Reporte::Layout Reporte::layout(int bodyHeightTwips) const
{
    Layout out;
    out.rowsPerPage = std::max(1, (bodyHeightTwips - kHeaderHeight - kFooterHeight) / kDetailHeight);
    out.pages = std::max<int>(1, int((m_rows.size() + out.rowsPerPage - 1) / out.rowsPerPage));
    const int footerTop = std::max(kHeaderHeight + kDetailHeight, bodyHeightTwips - kFooterHeight) + 60;
    const QString total = vb::str(out.pages);

    auto text = [&out](int page, int left, int top, int width, const QString &s, Qt::Alignment align,
                       bool bold = false) {
        Item item;
        item.page = page;
        item.left = left;
        item.top = top;
        item.width = width;
        item.height = kLineHeight;
        item.text = s;
        item.align = align;
        item.bold = bold;
        out.items << item;
    };
    auto rule = [&out](int page, int left, int top, int width) {
        Item item;
        item.page = page;
        item.left = left;
        item.top = top;
        item.width = width;
        item.rule = true;
        out.items << item;
    };

    out.items.reserve(out.pages * (22 + out.rowsPerPage * (kColumnCount + 1)));
    out.pageStarts.reserve(out.pages + 1);
    for (int page = 1; page <= out.pages; ++page) {
        out.pageStarts << int(out.items.size());
        text(page, 71, kGroupTop, 5457, QStringLiteral("Desde Archivo"), Qt::AlignHCenter, true);
        rule(page, 71, kGroupRuleTop, 5457);
        text(page, 5598, kGroupTop, 4110, QStringLiteral("Proceso o Depuración"), Qt::AlignHCenter, true);
        rule(page, 5598, kGroupRuleTop, 4465);
        for (const Column &c : kColumns) {
            const bool unit = qstrcmp(c.field, "ARTUNI") == 0;
            text(page, unit ? kUnitHeadingLeft : c.left, kHeadingTop, unit ? kUnitHeadingWidth : c.width,
                 QString::fromUtf8(c.heading), alignmentOf(c), true);
        }

        const int first = (page - 1) * out.rowsPerPage;
        const int last = std::min<int>(int(m_rows.size()), first + out.rowsPerPage);
        for (int r = first; r < last; ++r) {
            const int top = kHeaderHeight + (r - first) * kDetailHeight;
            const Row &row = m_rows[r];
            for (int c = 0; c < kColumnCount; ++c)
                text(page, kColumns[c].left, top, kColumns[c].width, row.fields.value(c),
                     alignmentOf(kColumns[c]));
            text(page, kSuffixLeft, top + kLineHeight, kSuffixWidth, row.suffix, Qt::AlignLeft);
        }

        text(page, 8861, footerTop, 1064, QStringLiteral("Pagina"), Qt::AlignRight);
        text(page, 9995, footerTop, 354, vb::str(page), Qt::AlignHCenter);
        text(page, 10349, footerTop, 354, QStringLiteral("de"), Qt::AlignHCenter);
        text(page, 10703, footerTop, 425, total, Qt::AlignLeft);
    }
    out.pageStarts << int(out.items.size());
    return out;
}

const Reporte::Layout &Reporte::pages(int bodyHeightTwips) const
{
    auto it = m_cache->layouts.find(bodyHeightTwips);
    if (it == m_cache->layouts.end())
        it = m_cache->layouts.emplace(bodyHeightTwips, layout(bodyHeightTwips)).first;
    return it->second;
}

int Reporte::bodyHeight(const QPrinter &printer)
{
    return int(printer.pageLayout().paintRect(QPageLayout::Inch).height() * kTwipsPerInch);
}

void Reporte::preparePrinter(QPrinter &printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(0.3, 0.5, 0.3, 0.5), QPageLayout::Inch);
}

// The report's fonts at the sizes a print needs, each made once, with their metrics at one
// resolution (measured on a blank image of that resolution, so they outlive the device).
class Reporte::Fonts {
  public:
    explicit Fonts(const QPaintDevice &device) : m_metricsDevice(1, 1, QImage::Format_Mono)
    {
        m_metricsDevice.setDotsPerMeterX(qRound(device.logicalDpiX() / 0.0254));
        m_metricsDevice.setDotsPerMeterY(qRound(device.logicalDpiY() / 0.0254));
    }

    const QFont &font(double points, bool bold, bool narrow) { return entry(points, bold, narrow).font; }
    const QFontMetricsF &metrics(double points, bool bold, bool narrow)
    {
        return entry(points, bold, narrow).metrics;
    }

    // The sum of the letters' advances in the regular face, each letter measured once; an upper
    // bound of the shaped width for the report's Latin texts (kerning only narrows them).
    double letterSum(const QString &text, double points, bool bold)
    {
        Entry &e = entry(points, bold, false);
        if (e.advances.isEmpty()) {
            e.advances.resize(256);
            for (int c = 0; c < 256; ++c)
                e.advances[c] = e.metrics.horizontalAdvance(QChar(c));
        }
        double sum = 0;
        for (const QChar c : text) {
            if (c.unicode() >= 256)
                return 1e18;
            sum += e.advances[c.unicode()];
        }
        return sum;
    }

  private:
    struct Entry {
        QFont font;
        QFontMetricsF metrics;
        QVector<double> advances; // Latin-1 letters, filled on first use
    };
    Entry &entry(double points, bool bold, bool narrow)
    {
        const int key = (int(points * 4) * 2 + (bold ? 1 : 0)) * 2 + (narrow ? 1 : 0);
        auto it = m_entries.find(key);
        if (it == m_entries.end()) {
            // Arial where it exists, else a face with its metrics, so the texts fit their boxes alike.
            QFont font;
            if (narrow)
                font.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow"),
                                  QStringLiteral("Nimbus Sans Narrow")});
            else
                font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                  QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
            font.setStyleHint(QFont::SansSerif);
            font.setPointSizeF(points);
            font.setBold(bold);
            it = m_entries.emplace(key, Entry{font, QFontMetricsF(font, &m_metricsDevice), {}}).first;
        }
        return it->second;
    }

    QImage m_metricsDevice;
    std::map<int, Entry> m_entries;
};

namespace {

using Fonts = Reporte::Fonts;

// The largest half-point size from the report's own down to the smallest legible one at which the
// text fits the width in a face; 0 when none does.
double largestFitting(Fonts &fonts, const QString &text, double width, bool bold, bool narrow)
{
    const double natural = fonts.metrics(Reporte::kFontPoints, bold, narrow).horizontalAdvance(text);
    if (natural <= width)
        return Reporte::kFontPoints;
    double points = std::min(Reporte::kFontPoints, std::floor(Reporte::kFontPoints * width / natural * 2) / 2);
    for (; points >= Reporte::kMinFontPoints; points -= 0.5) {
        if (fonts.metrics(points, bold, narrow).horizontalAdvance(text) <= width)
            return points;
    }
    return 0;
}

Reporte::Fit fitText(Fonts &fonts, const QString &text, double width, bool bold)
{
    Reporte::Fit fit{Reporte::kFontPoints, false, text};
    if (text.isEmpty() || width <= 0)
        return fit;
    // Most texts are far shorter than their box: the sum of their letters' own advances tells so
    // without shaping them (shaping is most of a report's cost).
    if (fonts.letterSum(text, Reporte::kFontPoints, bold) <= width)
        return fit;
    if (const double points = largestFitting(fonts, text, width, bold, false)) {
        fit.points = points;
        return fit;
    }
    fit.narrow = true;
    if (const double points = largestFitting(fonts, text, width, bold, true)) {
        fit.points = points;
        return fit;
    }
    fit.points = Reporte::kMinFontPoints;
    fit.text = fonts.metrics(fit.points, bold, true).elidedText(text, Qt::ElideRight, width);
    return fit;
}

void paintItem(QPainter &painter, Fonts &fonts, double sx, double sy, const Reporte::Item &item)
{
    if (item.rule) {
        QPen pen(Qt::black);
        pen.setWidthF(std::max(1.0, 15 * sy));
        painter.setPen(pen);
        painter.drawLine(QPointF(item.left * sx, item.top * sy), QPointF((item.left + item.width) * sx, item.top * sy));
        return;
    }
    if (item.text.isEmpty())
        return;
    const QRectF box(item.left * sx, item.top * sy, item.width * sx, item.height * sy);
    const Reporte::Fit fit = fitText(fonts, item.text, box.width(), item.bold);
    painter.setFont(fonts.font(fit.points, item.bold, fit.narrow));
    painter.drawText(box, int(item.align | Qt::AlignVCenter | Qt::TextSingleLine), fit.text);
}

} // namespace

Reporte::Fit Reporte::fit(const QString &text, int widthTwips, bool bold, const QPaintDevice &device)
{
    Fonts fonts(device);
    return fitText(fonts, text, widthTwips * device.logicalDpiX() / kTwipsPerInch, bold);
}

Reporte::Fonts &Reporte::fontsFor(const QPaintDevice &device) const
{
    std::shared_ptr<Fonts> &fonts = m_cache->fonts[{device.logicalDpiX(), device.logicalDpiY()}];
    if (!fonts) fonts = std::make_shared<Fonts>(device);
    return *fonts;
}

void Reporte::paintPage(QPainter &painter, const Layout &layout, int page) const
{
    if (page < 1 || page > layout.pages) return;
    const QPaintDevice &device = *painter.device();
    Fonts &fonts = fontsFor(device);
    // Twips to device pixels; the painter's origin is the printable area's corner.
    const double sx = device.logicalDpiX() / kTwipsPerInch;
    const double sy = device.logicalDpiY() / kTwipsPerInch;
    painter.setPen(Qt::black);
    for (int i = layout.pageStarts[page - 1]; i < layout.pageStarts[page]; ++i) {
        const Item &item = layout.items[i];
        if (!item.rule) painter.setPen(Qt::black);
        paintItem(painter, fonts, sx, sy, item);
    }
}

bool Reporte::print(QPrinter *printer) const
{
    const Layout &all = pages(bodyHeight(*printer));
    QPainter painter(printer);
    if (!painter.isActive()) return false;
    for (int page = 1; page <= all.pages; ++page) {
        if (page > 1) printer->newPage();
        paintPage(painter, all, page);
    }
    return true;
}
