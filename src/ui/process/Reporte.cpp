#include "ui/process/Reporte.h"

#include "data/Recordset.h"
#include "data/VbFormat.h"

#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>

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

    for (int page = 1; page <= out.pages; ++page) {
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
    return out;
}

void Reporte::preparePrinter(QPrinter &printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(0.3, 0.5, 0.3, 0.5), QPageLayout::Inch);
}

void Reporte::print(QPrinter *printer) const
{
    const QRectF body = printer->pageLayout().paintRect(QPageLayout::Inch);
    const Layout pages = layout(int(body.height() * kTwipsPerInch));

    QPainter painter(printer);
    if (!painter.isActive()) return;
    int current = 1;
    for (const Item &item : pages.items) {
        while (item.page > current) {
            printer->newPage();
            ++current;
        }
        paintItem(painter, *printer, item);
    }
}

void Reporte::paintItem(QPainter &painter, const QPaintDevice &device, const Item &item)
{
    // Twips to device pixels; the painter's origin is the printable area's corner.
    const double sx = device.logicalDpiX() / kTwipsPerInch;
    const double sy = device.logicalDpiY() / kTwipsPerInch;
    if (item.rule) {
        QPen pen(Qt::black);
        pen.setWidthF(std::max(1.0, 15 * sy));
        painter.setPen(pen);
        painter.drawLine(QPointF(item.left * sx, item.top * sy),
                         QPointF((item.left + item.width) * sx, item.top * sy));
        return;
    }
    // Arial where it exists, else a face with its metrics, so the texts fit their boxes alike.
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kFontPoints);
    font.setBold(item.bold);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRectF box(item.left * sx, item.top * sy, item.width * sx, item.height * sy);
    painter.drawText(box, int(item.align | Qt::AlignVCenter | Qt::TextSingleLine), item.text);
}
