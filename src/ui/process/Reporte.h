#pragma once

#include <QString>
#include <QVector>
#include <map>
#include <memory>
#include <Qt>

class QPaintDevice;
class QPainter;
class QPrinter;
class Recordset;

// The control report of a shipment's article rows: two group headings with their rules, the column
// headings, two detail lines per row and the page footer. Positions are in twips (1440 to the inch)
// from the page's printable area; the layout is computed apart from the painting so that it can be
// checked without a printer.
class Reporte {
  public:
    // One detail: the fourteen texts of the first line in column order and the suffix text.
    struct Row {
        QStringList fields;
        QString suffix;
    };

    // A text in its box, or a horizontal rule (empty text, height 0).
    struct Item {
        int page = 1;
        int left = 0, top = 0, width = 0, height = 0;
        QString text;
        Qt::Alignment align = Qt::AlignLeft;
        bool bold = false;
        bool rule = false;
    };

    struct Layout {
        int pages = 0;
        int rowsPerPage = 0;
        QVector<Item> items;
        // Where each page's items begin in `items` (pages + 1 entries, the last one the end).
        QVector<int> pageStarts;
    };

    // Vertical measures of the bands.
    static constexpr int kHeaderHeight = 660;
    static constexpr int kDetailHeight = 510;
    static constexpr int kFooterHeight = 330;
    static constexpr int kLineHeight = 225;
    static constexpr double kFontPoints = 8;
    // A text wider than its box is drawn smaller, down to this size, then in the narrow face of the
    // same family, and only then cut with "…".
    static constexpr double kMinFontPoints = 6;

    // How a text is drawn in a box of the given width on a device: the face, point size and text.
    struct Fit {
        double points = kFontPoints;
        bool narrow = false;
        QString text;
    };
    static Fit fit(const QString &text, int widthTwips, bool bold, const QPaintDevice &device);
    // The fonts of one resolution (private to the drawing code).
    class Fonts;

    Reporte() = default;
    explicit Reporte(QVector<Row> rows) : m_rows(std::move(rows)) {}

    // Reads every row of a query result on the ART table from its current position, formatting the
    // numbers with the user's decimal separator.
    static QVector<Row> rowsFrom(Recordset &rs);

    const QVector<Row> &rows() const { return m_rows; }

    // Which text and rule goes where on which page, for a printable area of the given height.
    Layout layout(int bodyHeightTwips) const;
    // The same, laid out once per height and kept while the report lives (copies share it); the
    // reference stays valid as long as the report.
    const Layout &pages(int bodyHeightTwips) const;
    // The height of a printer's printable area in twips.
    static int bodyHeight(const QPrinter &printer);

    // Paints one page (from 1) with the painter's origin at the printable area's corner. Positions
    // and fonts follow the dots per inch of the painter's device.
    void paintPage(QPainter &painter, const Layout &layout, int page) const;

    // Paints every page onto the printer (a real printer or a PDF file); false when the printer
    // could not be opened.
    bool print(QPrinter *printer) const;

    // Sets up a printer for the report: portrait, narrow margins, so that its 7.7 inches fit.
    static void preparePrinter(QPrinter &printer);

  private:
    QVector<Row> m_rows;
    Fonts &fontsFor(const QPaintDevice &device) const;

    // The pages laid out for each printable height asked for (a page view keeps a reference to
    // one while a print on other paper lays out another), and the fonts made for each resolution.
    struct Cache {
        std::map<int, Layout> layouts;
        std::map<std::pair<int, int>, std::shared_ptr<Fonts>> fonts;
    };
    std::shared_ptr<Cache> m_cache = std::make_shared<Cache>();
};
