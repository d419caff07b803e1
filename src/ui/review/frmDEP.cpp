#include "ui/review/frmDEP.h"
#include "ui/app/Twips.h"
#include "ui/review/FrmHistorial.h"

#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "review/RecordLists.h"
#include "shared/Interaction.h"
#include "shared/SharedState.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <optional>

namespace {

const QString kKeys = QStringLiteral(
    "[Ctrl+F] Filtrar - [Enter] Modificar - [F8] Historial - [Ctrl+A] Seleccionar todo - [Esc] Salir");

struct ColumnSpec {
    const char16_t *header;
    int width; // twips
    const char *field;
};

const ColumnSpec columns[frmDEP::columnCount] = {
    {u"Orden", 650, "ARTORD"},       {u"Articulo", 1800, "ARTNRO"}, {u"Descripción", 3500, "ARTDSC"},
    {u"Origen", 600, "ARTORG"},      {u"Cantidad", 1440, "ARTCAN"}, {u"Unitario", 1440, "ARTUNI"},
    {u"Total", 1440, "ARTTOT"},      {u"Posición", 1600, "PRCNCM"}, {u"Estado", 800, "PRCEST"},
    {u"CRC", 1440, "PRCCRC"},
};

const QColor darkRed(128, 0, 0);
const QColor darkBlue(0, 0, 128);
const QColor teal(0, 128, 128);

bool numericColumn(int column)
{
    return column == frmDEP::colOrden || column == frmDEP::colCantidad || column == frmDEP::colUnitario ||
           column == frmDEP::colTotal;
}

// A row of the list, with what sorting and filtering need: its place in the query's order, its
// numbers as numbers and its searchable text folded once.
class RowItem : public QTreeWidgetItem {
public:
    int index = 0;
    double numbers[frmDEP::columnCount] = {};
    bool null[frmDEP::columnCount] = {};
    QString folded;
};

// Whether a comes before b in ascending order of the column; the query's order breaks ties.
bool before(const RowItem *a, const RowItem *b, int column)
{
    if (column >= 0 && column < frmDEP::columnCount) {
        if (numericColumn(column)) {
            // Empty values first, then by value.
            if (a->null[column] != b->null[column]) return a->null[column];
            if (a->numbers[column] != b->numbers[column]) return a->numbers[column] < b->numbers[column];
        } else {
            const int c = QString::compare(a->text(column), b->text(column), Qt::CaseInsensitive);
            if (c != 0) return c < 0;
        }
    }
    return a->index < b->index;
}

} // namespace

frmDEP::frmDEP(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmDEP"));
    setWindowTitle(QStringLiteral("Resultados"));
    // Closing unloads the window: the next list button builds and fills a new one.
    setAttribute(Qt::WA_DeleteOnClose);

    lstDEP = new QTreeWidget(this);
    lstDEP->setObjectName(QStringLiteral("lstDEP"));
    lstDEP->setAccessibleName(QStringLiteral("Resultados"));
    lstDEP->setColumnCount(columnCount);
    lstDEP->setRootIsDecorated(false);
    lstDEP->setUniformRowHeights(true);
    lstDEP->setAllColumnsShowFocus(true);
    lstDEP->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstDEP->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstDEP->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstDEP->header()->setStretchLastSection(false);
    lstDEP->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QTreeWidgetItem *header = lstDEP->headerItem();
    for (int c = 0; c < columnCount; ++c) {
        header->setText(c, QString::fromUtf16(columns[c].header));
        header->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
        lstDEP->setColumnWidth(c, twips::px(columns[c].width));
    }
    lstDEP->header()->setSectionsClickable(true);
    lstDEP->header()->setSortIndicatorShown(false);
    connect(lstDEP->header(), &QHeaderView::sectionClicked, this, [this](int column) { sortBy(column); });
    lstDEP->installEventFilter(this);
    lstDEP->viewport()->installEventFilter(this);
    connect(lstDEP, &QTreeWidget::itemDoubleClicked, this, [this] {
        // The first click of a double-click on a selected row leaves that row alone selected: the
        // selection it was part of is the one opened.
        const QStringList pressed = m_pressSelection;
        m_pressSelection.clear();
        if (pressed.size() > 1)
            abrirGrupo(pressed);
        else
            AbrirRegistro();
    });

    txtFiltro = new QLineEdit(this);
    txtFiltro->setObjectName(QStringLiteral("txtFiltro"));
    txtFiltro->setClearButtonEnabled(true);
    txtFiltro->installEventFilter(this);
    connect(txtFiltro, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    lbFiltro = new QLabel(QStringLiteral("Filtro"), this);
    lbFiltro->setObjectName(QStringLiteral("lbFiltro"));
    lbFiltro->setBuddy(txtFiltro);
    lbCuenta = new QLabel(this);
    lbCuenta->setObjectName(QStringLiteral("lbCuenta"));
    // Read out as it stands ("3 de 40 registros"); what it counts, is its description.
    lbCuenta->setAccessibleDescription(QStringLiteral("Registros"));
    Label1 = new QLabel(kKeys, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    setTabOrder(txtFiltro, lstDEP);
    updateCount();

    // Wide enough for every column at its width.
    int width = 0;
    for (const ColumnSpec &column : columns)
        width += twips::px(column.width);
    resize(width + twips::px(450), twips::px(6300));
    layoutList();
    twips::fitToScreen(this);
    // The list first, as before the filter: Enter opens the current row at once.
    lstDEP->setFocus();
}

void frmDEP::Form_Load()
{
    m_loaded = true;
    reload();
}

void frmDEP::showEvent(QShowEvent *event)
{
    // Showing an open window only brings it forward; the list is filled once, when it loads.
    if (!m_loaded)
        Form_Load();
    QWidget::showEvent(event);
}

void frmDEP::reload()
{
    if (shared().iModoLista == 1)
        CargarRegConErrores();
    else
        CargarRegOK();
}

void frmDEP::CargarRegConErrores()
{
    fill(Mode::Errors);
}

void frmDEP::CargarRegOK()
{
    fill(Mode::Ok);
}

frmDEP::~frmDEP()
{
    clearRows();
}

// The rows the filter hides are out of the list and owned here; all of them go.
void frmDEP::clearRows()
{
    lstDEP->invisibleRootItem()->takeChildren();
    qDeleteAll(m_rows);
    m_rows.clear();
}

void frmDEP::fill(Mode mode)
{
    SharedState &s = shared();
    clearRows();
    QList<QTreeWidgetItem *> items;
    std::optional<PlanexoError> failure;
    Recordset rs;
    try {
        recordlists::read(s, mode == Mode::Errors, rs);
        while (!rs.Eof()) {
            auto item = std::make_unique<RowItem>();
            item->index = int(items.size());
            item->setText(colOrden, vb::format(rs.Fields(QStringLiteral("ARTORD")), QStringLiteral("0000")));
            for (int c = colArticulo; c < columnCount; ++c)
                item->setText(c, s.fmt->EsNull(rs.Fields(QString::fromLatin1(columns[c].field))));
            for (int c = 0; c < columnCount; ++c) {
                if (!numericColumn(c)) continue;
                const QVariant v = rs.Fields(QString::fromLatin1(columns[c].field));
                item->null[c] = v.isNull();
                item->numbers[c] = s.fmt->EsNumero(v);
            }
            // What the filter searches: article, description, position, origin and suffixes.
            item->folded = recordfilter::fold(
                item->text(colArticulo) + QLatin1Char('\n') + item->text(colDescripcion) + QLatin1Char('\n') +
                item->text(colPosicion) + QLatin1Char('\n') + item->text(colOrigen) + QLatin1Char('\n') +
                s.fmt->EsNull(rs.Fields(QStringLiteral("PRCSUF"))));
            for (int c = 0; c < columnCount; ++c)
                item->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
            const QString state = item->text(colEstado);
            std::optional<QColor> colour;
            if (mode == Mode::Errors)
                colour = state.isEmpty() ? darkRed : darkBlue;
            else if (state == QLatin1String("M"))
                colour = teal;
            if (colour) {
                for (int c = 0; c < columnCount; ++c)
                    item->setForeground(c, *colour);
            }
            items << item.release();
            rs.MoveNext();
        }
    } catch (const PlanexoError &e) {
        failure = e;
    }
    rs.Close();
    // The rows read before a failure stay listed.
    m_rows = items;
    applySort();
    if (failure)
        interaction().message(standardMessage(*failure, QStringLiteral(" - seccion [Planexo.frmDEP.]")),
                              Interaction::Icon::None);
}

void frmDEP::AbrirRegistro()
{
    // An empty list, or every row filtered out: nothing to open.
    if (lstDEP->topLevelItemCount() == 0)
        return;
    SharedState &s = shared();
    const QStringList tags = selectedTags();
    if (tags.size() > 1) {
        abrirGrupo(tags);
        return;
    }
    // One row selected: that one, wherever the current row is.
    const QList<QTreeWidgetItem *> selected = lstDEP->selectedItems();
    QTreeWidgetItem *item = selected.size() == 1 ? selected.first() : lstDEP->currentItem();
    if (!item)
        item = lstDEP->topLevelItem(0);
    s.sRetorno.clear();
    if (editor)
        editor(item->text(colOrden));
    if (s.sRetorno == QLatin1String("OK"))
        reload();
}

void frmDEP::MostrarHistorial()
{
    QTreeWidgetItem *item = lstDEP->currentItem();
    if (!item) return;
    FrmHistorial::showRecord(this, item->text(colOrden), item->text(colArticulo),
                             QStringLiteral(" - seccion [Planexo.frmDEP.Historial]"));
}

void frmDEP::abrirGrupo(const QStringList &tags)
{
    SharedState &s = shared();
    s.sRetorno.clear();
    if (groupEditor)
        groupEditor(tags);
    if (s.sRetorno == QLatin1String("OK"))
        reload();
}

QStringList frmDEP::selectedTags() const
{
    QStringList tags;
    for (int i = 0; i < lstDEP->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstDEP->topLevelItem(i);
        if (item->isSelected()) tags << item->text(colOrden);
    }
    return tags;
}

QString frmDEP::countText() const
{
    return lbCuenta->text();
}

void frmDEP::updateCount()
{
    lbCuenta->setText(QString::number(lstDEP->topLevelItemCount()) + QStringLiteral(" de ") +
                      QString::number(m_rows.size()) + QStringLiteral(" registros"));
}

// The list holds only the rows shown, in the order of m_rows: taking every row out and putting the
// shown ones back is two changes of the list's model, where hiding rows one by one is one each.
void frmDEP::applyFilter()
{
    m_filter.setText(txtFiltro->text());
    QList<QTreeWidgetItem *> shown;
    shown.reserve(m_rows.size());
    for (QTreeWidgetItem *item : std::as_const(m_rows))
        if (m_filter.matches(static_cast<RowItem *>(item)->folded)) shown << item;

    bool same = shown.size() == lstDEP->topLevelItemCount();
    for (qsizetype i = 0; same && i < shown.size(); ++i)
        same = lstDEP->topLevelItem(int(i)) == shown[i];
    if (!same) {
        const QList<QTreeWidgetItem *> selected = lstDEP->selectedItems();
        QTreeWidgetItem *current = lstDEP->currentItem();
        lstDEP->invisibleRootItem()->takeChildren();
        lstDEP->addTopLevelItems(shown);
        // What stays shown stays selected and current.
        if (!selected.isEmpty()) {
            QItemSelection selection;
            for (QTreeWidgetItem *item : selected) {
                const int row = lstDEP->indexOfTopLevelItem(item);
                if (row >= 0)
                    selection.select(lstDEP->model()->index(row, 0),
                                     lstDEP->model()->index(row, columnCount - 1));
            }
            lstDEP->selectionModel()->select(selection, QItemSelectionModel::Select);
        }
        if (current && lstDEP->indexOfTopLevelItem(current) >= 0)
            lstDEP->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    }
    if (!shown.isEmpty() && !lstDEP->currentItem()) {
        if (lstDEP->selectedItems().isEmpty())
            lstDEP->setCurrentItem(shown.first());
        else
            lstDEP->setCurrentItem(shown.first(), 0, QItemSelectionModel::NoUpdate);
    }
    updateCount();
}

void frmDEP::sortBy(int column)
{
    if (column < 0 || column >= columnCount) {
        m_sortColumn = -1;
        m_sortOrder = Qt::AscendingOrder;
    } else if (column == m_sortColumn) {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        m_sortColumn = column;
        m_sortOrder = Qt::AscendingOrder;
    }
    applySort();
}

void frmDEP::applySort()
{
    const int column = m_sortColumn;
    const bool descending = column >= 0 && m_sortOrder == Qt::DescendingOrder;
    std::stable_sort(m_rows.begin(), m_rows.end(), [column, descending](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        const auto *x = static_cast<RowItem *>(a), *y = static_cast<RowItem *>(b);
        return descending ? before(y, x, column) : before(x, y, column);
    });
    lstDEP->header()->setSortIndicatorShown(column >= 0);
    if (column >= 0) lstDEP->header()->setSortIndicator(column, m_sortOrder);
    QTreeWidgetItem *current = lstDEP->currentItem();
    applyFilter();
    if (current) lstDEP->scrollToItem(current);
}

void frmDEP::selectShown()
{
    const int n = lstDEP->topLevelItemCount();
    if (n == 0) return;
    const QItemSelection all(lstDEP->model()->index(0, 0), lstDEP->model()->index(n - 1, columnCount - 1));
    lstDEP->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

bool frmDEP::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstDEP->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QTreeWidgetItem *item = lstDEP->itemAt(mouse->position().toPoint());
        m_pressSelection.clear();
        if (item && item->isSelected() && mouse->modifiers() == Qt::NoModifier)
            m_pressSelection = selectedTags();
        if (!m_pressSelection.contains(item ? item->text(colOrden) : QString()))
            m_pressSelection.clear();
    }
    if ((watched == lstDEP || watched == txtFiltro) && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        const bool control = keyEvent->modifiers() & Qt::ControlModifier;
        if (control && key == Qt::Key_F) {
            txtFiltro->setFocus();
            txtFiltro->selectAll();
            return true;
        }
        if (control && key >= Qt::Key_0 && key <= Qt::Key_9) {
            // Ctrl+1 the first column ... Ctrl+9 the ninth, Ctrl+0 the tenth.
            sortBy(key == Qt::Key_0 ? 9 : key - Qt::Key_1);
            return true;
        }
        if (watched == txtFiltro) {
            if (key == Qt::Key_Escape) {
                // A filter to clear first; an empty one leaves the window, as Esc does on the list.
                if (txtFiltro->text().isEmpty())
                    close();
                else
                    txtFiltro->clear();
                return true;
            }
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
                lstDEP->setFocus();
                return true;
            }
            return QWidget::eventFilter(watched, event);
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AbrirRegistro();
            return true;
        }
        if (key == Qt::Key_F8) {
            MostrarHistorial();
            return true;
        }
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        if (control && key == Qt::Key_A) {
            selectShown();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDEP::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutList();
}

void frmDEP::layoutList()
{
    // The filter line 40 twips from the top and left; the list below it, 40 twips from the left,
    // 90 twips less than the inner width, down to the key hint 50 twips above the bottom; a window
    // smaller than that leaves the list empty-sized rather than negative.
    const int margin = twips::px(40);
    const int row = twips::px(360);
    lbFiltro->setGeometry(margin, margin, twips::px(600), row);
    txtFiltro->setGeometry(margin + twips::px(650), margin, twips::px(4500), row);
    lbCuenta->setGeometry(txtFiltro->geometry().right() + twips::px(240), margin, twips::px(3000), row);
    const int top = margin + row + twips::px(60);
    const int hint = qMax(twips::px(270), Label1->fontMetrics().height() + 4);
    Label1->setGeometry(margin, qMax(top, height() - twips::px(50) - hint), qMax(0, width() - twips::px(90)),
                        hint);
    lstDEP->setGeometry(margin, top, qMax(0, width() - twips::px(90)),
                        qMax(0, height() - top - twips::px(50) - hint - twips::px(30)));
}
