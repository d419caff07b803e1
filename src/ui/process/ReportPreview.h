#pragma once

#include "ui/process/Reporte.h"

#include <QAbstractScrollArea>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QPrinter>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;

// The pages of a report on the screen. The report is laid out once for the printer's page; a page
// is painted, with the same drawing code as a print, only when it first comes into view, and kept
// as an image until the zoom changes.
class ReportPageView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    enum class ZoomMode { Custom, FitWidth, FitPage };
    enum class ViewMode { Single, Facing, AllPages };

    ReportPageView(const Reporte &report, QPrinter *printer, QWidget *parent = nullptr);

    int pageCount() const { return m_layout ? m_layout->pages : 0; }
    int currentPage() const { return m_currentPage; }
    // 1 shows the paper at its real size on the screen.
    double zoomFactor() const { return m_zoom; }
    ZoomMode zoomMode() const { return m_zoomMode; }
    ViewMode viewMode() const { return m_viewMode; }
    // Pages painted since the view was made (each once per zoom while it stays in view).
    int paintedPages() const { return m_paintedPages; }
    // The pages that the viewport shows now.
    QList<int> visiblePages() const;

    void setZoomFactor(double factor);
    void setZoomMode(ZoomMode mode);
    void setViewMode(ViewMode mode);
    void setCurrentPage(int page);
    void zoomIn();
    void zoomOut();
    // Lays the report out again after a change of paper, orientation or margins.
    void updatePages();

  signals:
    void currentPageChanged(int page);
    void zoomChanged(double factor);
    void pagesChanged(int count);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    int columns() const;
    QSizeF pageSize() const; // one page at the current zoom, in pixels
    QSizeF paperInches() const;
    QRectF pageRect(int page) const; // in the content's coordinates
    QPointF contentOffset() const;
    void applyZoomMode();
    void relayout();
    void updateCurrentPage();
    const QImage &pageImage(int page, const QSize &size);

    Reporte m_report;
    QPrinter *m_printer;
    const Reporte::Layout *m_layout = nullptr;
    double m_zoom = 1;
    ZoomMode m_zoomMode = ZoomMode::FitPage;
    ViewMode m_viewMode = ViewMode::Single;
    int m_currentPage = 1;
    int m_paintedPages = 0;
    bool m_settingPage = false;
    QHash<int, QImage> m_images;
    QSize m_imageSize;
};

// The preview window of a control report: zoom, page navigation, orientation and page setup,
// print, and export to PDF. Object name "Reporte".
class ReportPreview : public QDialog {
    Q_OBJECT
  public:
    ReportPreview(const Reporte &report, const QString &title, const QString &shipment,
                  QWidget *parent = nullptr);

    QPrinter *printer() { return &m_printer; }
    ReportPageView *pageView() const { return m_view; }

    // The print dialog, then every page to the printer chosen; false when cancelled or failed.
    bool print();
    // The save question, proposing "<title> <shipment>.pdf" in the folder last used, then every
    // page to that file; false when cancelled or failed.
    bool exportPdf();

    // A file name made of the report's caption and the shipment, without the characters that a
    // file name cannot hold.
    static QString pdfFileName(const QString &caption, const QString &shipment);

  private:
    void buildToolBar();
    void pageSetup();
    void setOrientation(QPageLayout::Orientation orientation);
    void syncControls();

    Reporte m_report;
    QString m_shipment;
    QPrinter m_printer{QPrinter::HighResolution};
    ReportPageView *m_view = nullptr;
    QComboBox *m_zoomCombo = nullptr;
    QLineEdit *m_pageEdit = nullptr;
    QLabel *m_pageTotal = nullptr;
    QAction *m_fitWidth = nullptr, *m_fitPage = nullptr;
    QAction *m_portrait = nullptr, *m_landscape = nullptr;
    QAction *m_single = nullptr, *m_facing = nullptr, *m_overview = nullptr;
};
