#include "ui/import/frmFilaTitulos.h"
#include "ui/app/Twips.h"

#include "shared/SharedState.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

namespace {

// The preview's cells, numbered as the spreadsheet numbers them.
class PreviewModel final : public QAbstractTableModel {
  public:
    PreviewModel(const SheetPreview &preview, QObject *parent)
        : QAbstractTableModel(parent), m_preview(preview)
    {
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_preview.rowCount();
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : std::max(m_preview.cols, 1);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return m_preview.text(index.row() + 1, index.column() + 1);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole) return {};
        return orientation == Qt::Vertical ? QVariant(QString::number(section + 1))
                                           : QVariant(sheetpreview::columnLetters(section + 1));
    }

  private:
    const SheetPreview &m_preview;
};

} // namespace

frmFilaTitulos::frmFilaTitulos(const SheetPreview &preview, int proposed, int column, QWidget *parent)
    : QDialog(parent), m_preview(preview)
{
    setObjectName(QStringLiteral("frmFilaTitulos"));
    setWindowTitle(QStringLiteral("Fila de títulos"));
    setFixedSize(twips::px(9600), twips::px(6300));

    lblFilas = new QLabel(QStringLiteral("Elija la celda del primer título de la tabla:"), this);
    lblFilas->setObjectName(QStringLiteral("lblFilas"));
    lblFilas->setGeometry(twips::rect(120, 90, 9360, 270));

    grdFilas = new QTableView(this);
    grdFilas->setObjectName(QStringLiteral("grdFilas"));
    grdFilas->setGeometry(twips::rect(120, 420, 9360, 5040));
    lblFilas->setBuddy(grdFilas);
    grdFilas->setModel(new PreviewModel(m_preview, grdFilas));
    grdFilas->setSelectionBehavior(QAbstractItemView::SelectItems);
    grdFilas->setSelectionMode(QAbstractItemView::SingleSelection);
    grdFilas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFilas->setWordWrap(false);
    grdFilas->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdFilas->verticalHeader()->setDefaultSectionSize(grdFilas->fontMetrics().height() + 6);
    grdFilas->horizontalHeader()->setDefaultSectionSize(twips::px(1500));
    // Every text shown whole, as a spreadsheet lets it run over: a letterhead line widens column A.
    grdFilas->resizeColumnsToContents();
    for (int c = 0; c < grdFilas->model()->columnCount(); ++c)
        grdFilas->setColumnWidth(c, std::max(grdFilas->columnWidth(c), twips::px(900)));
    grdFilas->installEventFilter(this);

    lblAyuda = new QLabel(QStringLiteral("[Enter] Tomar la celda como primer título   [Esc] Salir"), this);
    lblAyuda->setObjectName(QStringLiteral("lblAyuda"));
    lblAyuda->setGeometry(twips::rect(120, 5610, 6000, 270));

    cmdAceptar = new QPushButton(QStringLiteral("Aceptar"), this);
    cmdAceptar->setObjectName(QStringLiteral("cmdAceptar"));
    cmdAceptar->setGeometry(twips::rect(8100, 5520, 1380, 390));
    cmdAceptar->setAutoDefault(false);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmFilaTitulos::aceptar);

    const int row = proposed >= 1 && proposed <= m_preview.rowCount() ? proposed : 1;
    const int col = column >= 1 && column <= std::max(m_preview.cols, 1) ? column : 1;
    if (m_preview.rowCount() > 0) {
        grdFilas->setCurrentIndex(grdFilas->model()->index(row - 1, col - 1));
        grdFilas->scrollTo(grdFilas->currentIndex(), QAbstractItemView::PositionAtCenter);
    }
    grdFilas->setFocus();
    twips::fitToScreen(this);
}

int frmFilaTitulos::filaSeleccionada() const
{
    const QModelIndex current = grdFilas->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

int frmFilaTitulos::columnaSeleccionada() const
{
    const QModelIndex current = grdFilas->currentIndex();
    if (!current.isValid()) return 0;
    // An empty cell heads nothing: the row's first heading at or right of it is meant (a cell
    // under a merge reads the merge's text).
    for (int c = current.column() + 1; c <= m_preview.cols; ++c)
        if (!m_preview.headingText(current.row() + 1, c).isEmpty()) return c;
    return current.column() + 1;
}

void frmFilaTitulos::aceptar()
{
    const int row = filaSeleccionada();
    if (row < 1) return;
    shared().sRetorno = QString::number(row) + QLatin1Char(',') + QString::number(columnaSeleccionada());
    accept();
}

bool frmFilaTitulos::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == grdFilas && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            aceptar();
            return true;
        }
        if (key == Qt::Key_Escape) {
            shared().sRetorno.clear();
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFilaTitulos::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        shared().sRetorno.clear();
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        aceptar();
        return;
    }
    QDialog::keyPressEvent(event);
}
