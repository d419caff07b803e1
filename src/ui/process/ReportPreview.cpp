#include "ui/process/ReportPreview.h"

#include "shared/Settings.h"
#include "ui/app/QtInteraction.h"
#include "ui/app/Twips.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kMargin = 10; // around the pages
constexpr int kGap = 10;    // between pages
constexpr double kMinZoom = 0.05, kMaxZoom = 10, kZoomStep = 1.25;

// Qt's own captions of a print preview, so that its translations apply.
QString qtText(const char *text)
{
    return QCoreApplication::translate("QPrintPreviewDialog", text);
}

QIcon previewIcon(const QString &name)
{
    return QIcon::fromTheme(name,
                            QIcon(QStringLiteral(":/qt-project.org/dialogs/qprintpreviewdialog/images/") +
                                  name + QStringLiteral("-24.png")));
}

} // namespace

// ---------------------------------------------------------------- the pages

ReportPageView::ReportPageView(const Reporte &report, QPrinter *printer, QWidget *parent)
    : QAbstractScrollArea(parent), m_report(report), m_printer(printer)
{
    setObjectName(QStringLiteral("ReportePaginas"));
    setAccessibleName(QStringLiteral("Páginas del informe"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Dark);
    updatePages();
}

void ReportPageView::updatePages()
{
    m_layout = &m_report.pages(Reporte::bodyHeight(*m_printer));
    m_images.clear();
    m_currentPage = std::clamp(m_currentPage, 1, std::max(1, pageCount()));
    relayout();
    setCurrentPage(m_currentPage);
    emit pagesChanged(pageCount());
}

int ReportPageView::columns() const
{
    switch (m_viewMode) {
    case ViewMode::Single:
        return 1;
    case ViewMode::Facing:
        return 2;
    case ViewMode::AllPages:
        return std::max(1, int(std::ceil(std::sqrt(double(pageCount())))));
    }
    return 1;
}

QSizeF ReportPageView::paperInches() const
{
    return m_printer->pageLayout().fullRect(QPageLayout::Inch).size();
}

QSizeF ReportPageView::pageSize() const
{
    const QSizeF inches = paperInches();
    return QSizeF(std::round(inches.width() * logicalDpiX() * m_zoom),
                  std::round(inches.height() * logicalDpiY() * m_zoom));
}

QRectF ReportPageView::pageRect(int page) const
{
    const QSizeF size = pageSize();
    const int cols = columns();
    const int index = page - 1;
    return QRectF(kMargin + (index % cols) * (size.width() + kGap),
                  kMargin + (index / cols) * (size.height() + kGap), size.width(), size.height());
}

QPointF ReportPageView::contentOffset() const
{
    const QSizeF size = pageSize();
    const int cols = columns();
    const int rows = (pageCount() + cols - 1) / cols;
    const double width = 2 * kMargin + cols * size.width() + (cols - 1) * kGap;
    const double height = 2 * kMargin + rows * size.height() + std::max(0, rows - 1) * kGap;
    const QSize port = viewport()->size();
    // Pages narrower or shorter than the window stand in its middle.
    return QPointF(width < port.width() ? (port.width() - width) / 2 : -horizontalScrollBar()->value(),
                   height < port.height() ? (port.height() - height) / 2 : -verticalScrollBar()->value());
}

void ReportPageView::applyZoomMode()
{
    if (m_zoomMode == ZoomMode::Custom) return;
    const QSizeF inches = paperInches();
    const int cols = columns();
    const QSize port = viewport()->size();
    const double byWidth =
        (port.width() - 2 * kMargin - (cols - 1) * kGap) / (cols * inches.width() * logicalDpiX());
    double zoom = byWidth;
    if (m_zoomMode == ZoomMode::FitPage) {
        const int rows = m_viewMode == ViewMode::AllPages ? (pageCount() + cols - 1) / cols : 1;
        const double byHeight =
            (port.height() - 2 * kMargin - (rows - 1) * kGap) / (rows * inches.height() * logicalDpiY());
        zoom = std::min(byWidth, byHeight);
    }
    m_zoom = std::clamp(zoom, 0.01, kMaxZoom);
}

void ReportPageView::relayout()
{
    const double before = m_zoom;
    applyZoomMode();
    const QSizeF size = pageSize();
    const int cols = columns();
    const int rows = (pageCount() + cols - 1) / cols;
    const int width = int(2 * kMargin + cols * size.width() + (cols - 1) * kGap);
    const int height = int(2 * kMargin + rows * size.height() + std::max(0, rows - 1) * kGap);
    const QSize port = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, width - port.width()));
    horizontalScrollBar()->setPageStep(port.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, height - port.height()));
    verticalScrollBar()->setPageStep(port.height());
    verticalScrollBar()->setSingleStep(20);
    viewport()->update();
    if (m_zoom != before) emit zoomChanged(m_zoom);
}

void ReportPageView::setZoomFactor(double factor)
{
    m_zoomMode = ZoomMode::Custom;
    m_zoom = std::clamp(factor, kMinZoom, kMaxZoom);
    const int page = m_currentPage;
    relayout();
    setCurrentPage(page);
    emit zoomChanged(m_zoom);
}

void ReportPageView::setZoomMode(ZoomMode mode)
{
    m_zoomMode = mode;
    const int page = m_currentPage;
    relayout();
    setCurrentPage(page);
    emit zoomChanged(m_zoom);
}

void ReportPageView::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    // The overview shows every page at once.
    if (mode == ViewMode::AllPages) m_zoomMode = ZoomMode::FitPage;
    const int page = m_currentPage;
    relayout();
    setCurrentPage(page);
    emit zoomChanged(m_zoom);
}

void ReportPageView::zoomIn()
{
    setZoomFactor(m_zoom * kZoomStep);
}

void ReportPageView::zoomOut()
{
    setZoomFactor(m_zoom / kZoomStep);
}

void ReportPageView::setCurrentPage(int page)
{
    if (pageCount() == 0) return;
    page = std::clamp(page, 1, pageCount());
    const QRectF rect = pageRect(page);
    const int before = m_currentPage;
    m_currentPage = page;
    // The last pages may not reach the window's top; they stay current all the same.
    m_settingPage = true;
    verticalScrollBar()->setValue(int(rect.top()) - kMargin);
    horizontalScrollBar()->setValue(int(rect.left()) - kMargin);
    m_settingPage = false;
    viewport()->update();
    if (page != before) emit currentPageChanged(page);
}

void ReportPageView::scrollContentsBy(int, int)
{
    if (!m_settingPage) updateCurrentPage();
    viewport()->update();
}

void ReportPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const int page = m_currentPage;
    relayout();
    setCurrentPage(page);
}

// The current page is the one in the middle of the window; a page of the middle row stays current.
void ReportPageView::updateCurrentPage()
{
    if (pageCount() == 0) return;
    const double middle = viewport()->height() / 2.0 - contentOffset().y();
    const int row = std::max(0, int((middle - kMargin) / (pageSize().height() + kGap)));
    const int cols = columns();
    const int first = std::min(pageCount(), row * cols + 1);
    const int last = std::min(pageCount(), first + cols - 1);
    if (m_currentPage < first || m_currentPage > last) {
        m_currentPage = first;
        emit currentPageChanged(first);
    }
}

QList<int> ReportPageView::visiblePages() const
{
    QList<int> pages;
    if (pageCount() == 0) return pages;
    const QPointF offset = contentOffset();
    const QRectF seen = QRectF(viewport()->rect()).translated(-offset);
    const QSizeF size = pageSize();
    const int cols = columns();
    const int rows = (pageCount() + cols - 1) / cols;
    const double rowHeight = size.height() + kGap;
    const int firstRow = std::max(0, int((seen.top() - kMargin) / rowHeight));
    const int lastRow = std::min(rows - 1, int((seen.bottom() - kMargin) / rowHeight));
    for (int row = firstRow; row <= lastRow; ++row)
        for (int col = 0; col < cols; ++col) {
            const int page = row * cols + col + 1;
            if (page <= pageCount() && pageRect(page).intersects(seen)) pages << page;
        }
    return pages;
}

const QImage &ReportPageView::pageImage(int page, const QSize &size)
{
    if (size != m_imageSize) {
        m_images.clear();
        m_imageSize = size;
    }
    auto it = m_images.find(page);
    if (it != m_images.end()) return *it;

    // The page is painted at the printer's resolution, so that the texts are fitted exactly as on
    // paper, and scaled to the screen.
    const double ratio = viewport()->devicePixelRatioF();
    QImage image(QSize(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    const int resolution = m_printer->resolution();
    image.setDotsPerMeterX(qRound(resolution / 0.0254));
    image.setDotsPerMeterY(qRound(resolution / 0.0254));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        const QPageLayout paper = m_printer->pageLayout();
        const QRect full = paper.fullRectPixels(resolution);
        const QRect body = paper.paintRectPixels(resolution);
        painter.scale(size.width() / double(full.width()), size.height() / double(full.height()));
        painter.translate(body.topLeft() - full.topLeft());
        m_report.paintPage(painter, *m_layout, page);
    }
    ++m_paintedPages;
    return *m_images.insert(page, std::move(image));
}

void ReportPageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (pageCount() == 0) return;
    const QSizeF sizeF = pageSize();
    const QSize size(int(sizeF.width()), int(sizeF.height()));
    if (size.isEmpty()) return;
    const QPointF offset = contentOffset();
    const QList<int> pages = visiblePages();
    for (const int page : pages) {
        const QRect rect(pageRect(page).translated(offset).topLeft().toPoint(), size);
        painter.fillRect(rect.translated(3, 3), palette().color(QPalette::Shadow));
        painter.drawImage(rect.topLeft(), pageImage(page, size));
        painter.setPen(palette().color(QPalette::Shadow));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
    // Keep the pages near the view, not every page ever shown.
    if (m_images.size() > 3 * pages.size() + 8)
        for (auto it = m_images.begin(); it != m_images.end();)
            it = pages.contains(it.key()) ? std::next(it) : m_images.erase(it);
}

// ---------------------------------------------------------------- the window

ReportPreview::ReportPreview(const Reporte &report, const QString &title, const QString &shipment,
                             QWidget *parent)
    : QDialog(parent), m_report(report), m_shipment(shipment)
{
    setObjectName(QStringLiteral("Reporte"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    Reporte::preparePrinter(m_printer);
    m_printer.setDocName(title);

    m_view = new ReportPageView(m_report, &m_printer, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar();
    layout->addWidget(findChild<QToolBar *>());
    layout->addWidget(m_view, 1);

    connect(m_view, &ReportPageView::currentPageChanged, this, &ReportPreview::syncControls);
    connect(m_view, &ReportPageView::zoomChanged, this, &ReportPreview::syncControls);
    connect(m_view, &ReportPageView::pagesChanged, this, &ReportPreview::syncControls);
    syncControls();
    m_view->setFocus();

    resize(960, 720);
    twips::fitToScreen(this);
}

void ReportPreview::buildToolBar()
{
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ReporteHerramientas"));
    auto action = [this, bar](const char *name, const QString &text, const QString &icon, auto slot,
                              bool checkable = false) {
        QAction *a = bar->addAction(previewIcon(icon), text);
        a->setObjectName(QLatin1String(name));
        a->setCheckable(checkable);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    using Zoom = ReportPageView::ZoomMode;
    using View = ReportPageView::ViewMode;

    m_fitWidth = action(
        "fitWidthAction", qtText("Fit width"), QStringLiteral("zoom-fit-width"),
        [this] { m_view->setZoomMode(Zoom::FitWidth); }, true);
    m_fitPage = action(
        "fitPageAction", qtText("Fit page"), QStringLiteral("zoom-fit-page"),
        [this] { m_view->setZoomMode(Zoom::FitPage); }, true);
    bar->addSeparator();
    m_zoomCombo = new QComboBox(bar);
    m_zoomCombo->setObjectName(QStringLiteral("ReporteZoom"));
    m_zoomCombo->setAccessibleName(QStringLiteral("Zoom del informe"));
    m_zoomCombo->setEditable(true);
    m_zoomCombo->setInsertPolicy(QComboBox::NoInsert);
    m_zoomCombo->setMinimumContentsLength(7);
    for (const char *zoom : {"12.5", "25", "50", "100", "125", "150", "200", "400", "800"})
        m_zoomCombo->addItem(QString::fromLatin1(zoom) + QLatin1Char('%'));
    connect(m_zoomCombo, &QComboBox::textActivated, this, [this](const QString &text) {
        QString number = text;
        number.remove(QLatin1Char('%')).replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double percent = number.trimmed().toDouble(&ok);
        if (ok && percent > 0)
            m_view->setZoomFactor(percent / 100);
        else
            syncControls();
    });
    bar->addWidget(m_zoomCombo);
    action("zoomOutAction", qtText("Zoom out"), QStringLiteral("zoom-out"), [this] { m_view->zoomOut(); });
    action("zoomInAction", qtText("Zoom in"), QStringLiteral("zoom-in"), [this] { m_view->zoomIn(); });
    bar->addSeparator();
    m_portrait = action(
        "portraitAction", qtText("Portrait"), QStringLiteral("layout-portrait"),
        [this] { setOrientation(QPageLayout::Portrait); }, true);
    m_landscape = action(
        "landscapeAction", qtText("Landscape"), QStringLiteral("layout-landscape"),
        [this] { setOrientation(QPageLayout::Landscape); }, true);
    bar->addSeparator();
    action("firstPageAction", qtText("First page"), QStringLiteral("go-first"),
           [this] { m_view->setCurrentPage(1); });
    action("prevPageAction", qtText("Previous page"), QStringLiteral("go-previous"),
           [this] { m_view->setCurrentPage(m_view->currentPage() - 1); });
    m_pageEdit = new QLineEdit(bar);
    m_pageEdit->setObjectName(QStringLiteral("ReportePagina"));
    m_pageEdit->setAccessibleName(QStringLiteral("Página del informe"));
    m_pageEdit->setAlignment(Qt::AlignRight);
    m_pageEdit->setValidator(new QIntValidator(1, 1, m_pageEdit));
    connect(m_pageEdit, &QLineEdit::returnPressed, this,
            [this] { m_view->setCurrentPage(m_pageEdit->text().toInt()); });
    bar->addWidget(m_pageEdit);
    m_pageTotal = new QLabel(bar);
    m_pageTotal->setObjectName(QStringLiteral("ReporteTotalPaginas"));
    bar->addWidget(m_pageTotal);
    action("nextPageAction", qtText("Next page"), QStringLiteral("go-next"),
           [this] { m_view->setCurrentPage(m_view->currentPage() + 1); });
    action("lastPageAction", qtText("Last page"), QStringLiteral("go-last"),
           [this] { m_view->setCurrentPage(m_view->pageCount()); });
    bar->addSeparator();
    m_single = action(
        "singleModeAction", qtText("Show single page"), QStringLiteral("view-pages-single"),
        [this] { m_view->setViewMode(View::Single); }, true);
    m_facing = action(
        "facingModeAction", qtText("Show facing pages"), QStringLiteral("view-pages-facing"),
        [this] { m_view->setViewMode(View::Facing); }, true);
    m_overview = action(
        "overviewModeAction", qtText("Show overview of all pages"), QStringLiteral("view-pages-overview"),
        [this] { m_view->setViewMode(View::AllPages); }, true);
    bar->addSeparator();
    action("pageSetupAction", qtText("Page setup"), QStringLiteral("page-setup"), [this] { pageSetup(); });
    action("printAction", qtText("Print"), QStringLiteral("printer"), [this] { print(); });
    QAction *pdf =
        bar->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Exportar a PDF"));
    pdf->setObjectName(QStringLiteral("pdfAction"));
    connect(pdf, &QAction::triggered, this, [this] { exportPdf(); });
}

void ReportPreview::syncControls()
{
    using Zoom = ReportPageView::ZoomMode;
    using View = ReportPageView::ViewMode;
    m_fitWidth->setChecked(m_view->zoomMode() == Zoom::FitWidth);
    m_fitPage->setChecked(m_view->zoomMode() == Zoom::FitPage);
    const bool portrait = m_printer.pageLayout().orientation() == QPageLayout::Portrait;
    m_portrait->setChecked(portrait);
    m_landscape->setChecked(!portrait);
    m_single->setChecked(m_view->viewMode() == View::Single);
    m_facing->setChecked(m_view->viewMode() == View::Facing);
    m_overview->setChecked(m_view->viewMode() == View::AllPages);

    const double percent = std::round(m_view->zoomFactor() * 1000) / 10;
    m_zoomCombo->setEditText(QString::number(percent) + QLatin1Char('%'));

    const int count = m_view->pageCount();
    static_cast<QIntValidator *>(const_cast<QValidator *>(m_pageEdit->validator()))
        ->setRange(1, std::max(1, count));
    const QString total = QString::number(count);
    m_pageEdit->setMaxLength(int(total.size()));
    m_pageEdit->setFixedWidth(m_pageEdit->fontMetrics().horizontalAdvance(total + QStringLiteral("00")) + 8);
    m_pageEdit->setText(QString::number(m_view->currentPage()));
    m_pageTotal->setText(QStringLiteral(" / ") + total + QLatin1Char(' '));
}

void ReportPreview::setOrientation(QPageLayout::Orientation orientation)
{
    m_printer.setPageOrientation(orientation);
    m_view->updatePages();
}

void ReportPreview::pageSetup()
{
    QPageSetupDialog dialog(&m_printer, this);
    dialog.setObjectName(QStringLiteral("ReporteConfigurarPagina"));
    if (uiInteraction().runModal(dialog) == QDialog::Accepted) m_view->updatePages();
    syncControls();
}

bool ReportPreview::print()
{
    // Qt's print dialog offers nothing to choose without a printer, and printing then does nothing.
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        const auto answer =
            interaction().message(QStringLiteral("No hay ninguna impresora instalada.\n\n"
                                                 "¿Desea exportar el informe a PDF?"),
                                  Interaction::Icon::Exclamation, Interaction::Buttons::YesNo);
        return answer == Interaction::Answer::Yes && exportPdf();
    }
    QPrintDialog dialog(&m_printer, this);
    dialog.setObjectName(QStringLiteral("ReporteImprimir"));
    if (uiInteraction().runModal(dialog) != QDialog::Accepted) return false;
    // The dialog may have chosen another paper.
    m_view->updatePages();
    if (!m_report.print(&m_printer)) {
        interaction().inform(QStringLiteral("No se pudo imprimir el informe"), Interaction::Icon::Critical);
        return false;
    }
    return true;
}

QString ReportPreview::pdfFileName(const QString &caption, const QString &shipment)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = (caption + QLatin1Char(' ') + shipment).trimmed();
    name.replace(unsafe, QStringLiteral("-"));
    // Nor a name of dots, or one that ends in a dot or blank.
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty()) name = QStringLiteral("Reporte");
    return name + QStringLiteral(".pdf");
}

bool ReportPreview::exportPdf()
{
    QString folder = settings::lastPdfFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed = QDir(folder).filePath(pdfFileName(windowTitle(), m_shipment));
    const QString file = uiInteraction().saveFile(QStringLiteral("Exportar a PDF"),
                                                  QStringLiteral("Documento PDF (*.pdf)|*.pdf"), proposed);
    if (file.isEmpty()) return false;
    settings::setLastPdfFolder(QFileInfo(file).absolutePath());

    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(file);
    pdf.setPageLayout(m_printer.pageLayout());
    pdf.setDocName(windowTitle());
    if (!m_report.print(&pdf)) {
        interaction().inform(QStringLiteral("No se pudo guardar el archivo ") +
                                 QDir::toNativeSeparators(file),
                             Interaction::Icon::Critical);
        return false;
    }
    return true;
}
