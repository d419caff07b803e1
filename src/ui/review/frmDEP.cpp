#include "ui/review/frmDEP.h"
#include "ui/app/Twips.h"

#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <memory>
#include <optional>

namespace {

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

// The list's property naming the column it is sorted by; -1 for the order the query gave.
const char *const kSortColumn = "planexoSortColumn";

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

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const auto &o = static_cast<const RowItem &>(other);
        const int column = treeWidget() ? treeWidget()->property(kSortColumn).toInt() : -1;
        if (column >= 0 && column < frmDEP::columnCount) {
            if (numericColumn(column)) {
                // Empty values first, then by value.
                if (null[column] != o.null[column]) return null[column];
                if (numbers[column] != o.numbers[column]) return numbers[column] < o.numbers[column];
            } else {
                const int c = QString::compare(text(column), o.text(column), Qt::CaseInsensitive);
                if (c != 0) return c < 0;
            }
        }
        return index < o.index;
    }
};

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
    lstDEP->setProperty(kSortColumn, -1);
    lstDEP->header()->setSectionsClickable(true);
    lstDEP->header()->setSortIndicatorShown(false);
    connect(lstDEP->header(), &QHeaderView::sectionClicked, this, [this](int column) { sortBy(column); });
    lstDEP->installEventFilter(this);
    lstDEP->viewport()->installEventFilter(this);
    connect(lstDEP, &QTreeWidget::itemDoubleClicked, this, [this] {
        // The first click of a double-click on a selected row leaves that row alone selected: the
        // selection it was part of is the one opened.
        if (m_pressSelection.size() > 1) {
            const QStringList tags = m_pressSelection;
            m_pressSelection.clear();
            if (groupEditor) {
                SharedState &s = shared();
                s.sRetorno.clear();
                groupEditor(tags);
                if (s.sRetorno == QLatin1String("OK"))
                    reload();
            }
            return;
        }
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
    lbCuenta->setAccessibleName(QStringLiteral("Registros"));
    setTabOrder(txtFiltro, lstDEP);
    updateCount();

    // Wide enough for every column at its width.
    int width = 0;
    for (const ColumnSpec &column : columns)
        width += twips::px(column.width);
    resize(width + twips::px(450), twips::px(6300));
    layoutList();
    twips::fitToScreen(this);
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

void frmDEP::fill(Mode mode)
{
    SharedState &s = shared();
    lstDEP->clear();
    QList<QTreeWidgetItem *> items;
    std::optional<PlanexoError> failure;
    Recordset rs;
    try {
        if (mode == Mode::Errors)
            s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                            QStringLiteral(" and (PRCEST = '' or PRCEST IS NULL or PRCCRC <> 'OK' or PRCCRC is null)"
                                           " order by PRCEST,PRCCRC,ARTORD");
        else
            s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                            QStringLiteral(" and  PRCCRC = 'OK' order by ARTORD");
        s.gestor->CrearRs(rs);
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
    lstDEP->addTopLevelItems(items);
    applySort();
    applyFilter();
    if (failure)
        interaction().message(standardMessage(*failure, QStringLiteral(" - seccion [Planexo.frmDEP.]")),
                              Interaction::Icon::None);
}

void frmDEP::AbrirRegistro()
{
    if (lstDEP->topLevelItemCount() == 0)
        return;
    SharedState &s = shared();
    const QStringList tags = selectedTags();
    if (tags.size() > 1) {
        s.sRetorno.clear();
        if (groupEditor)
            groupEditor(tags);
        if (s.sRetorno == QLatin1String("OK"))
            reload();
        return;
    }
    QTreeWidgetItem *item = lstDEP->currentItem();
    if (!item || item->isHidden()) {
        item = nullptr;
        for (int i = 0; i < lstDEP->topLevelItemCount() && !item; ++i)
            if (!lstDEP->topLevelItem(i)->isHidden()) item = lstDEP->topLevelItem(i);
    }
    // Every row filtered out: nothing to open.
    if (!item)
        return;
    s.sRetorno.clear();
    if (editor)
        editor(item->text(colOrden));
    if (s.sRetorno == QLatin1String("OK"))
        reload();
}

QStringList frmDEP::selectedTags() const
{
    QStringList tags;
    for (int i = 0; i < lstDEP->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstDEP->topLevelItem(i);
        if (item->isSelected() && !item->isHidden()) tags << item->text(colOrden);
    }
    return tags;
}

QString frmDEP::countText() const
{
    return lbCuenta->text();
}

void frmDEP::updateCount()
{
    lbCuenta->setText(QString::number(m_shown) + QStringLiteral(" de ") +
                      QString::number(lstDEP->topLevelItemCount()) + QStringLiteral(" registros"));
}

void frmDEP::applyFilter()
{
    m_filter.setText(txtFiltro->text());
    int shown = 0;
    QTreeWidgetItem *firstShown = nullptr;
    for (int i = 0, n = lstDEP->topLevelItemCount(); i < n; ++i) {
        auto *item = static_cast<RowItem *>(lstDEP->topLevelItem(i));
        const bool show = m_filter.matches(item->folded);
        if (item->isHidden() == show) item->setHidden(!show);
        if (show) {
            ++shown;
            if (!firstShown) firstShown = item;
        }
    }
    m_shown = shown;
    // A row the filter hides is no longer part of the selection.
    for (QTreeWidgetItem *item : lstDEP->selectedItems())
        if (item->isHidden()) item->setSelected(false);
    QTreeWidgetItem *current = lstDEP->currentItem();
    if (firstShown && (!current || current->isHidden())) {
        if (lstDEP->selectedItems().isEmpty())
            lstDEP->setCurrentItem(firstShown);
        else
            lstDEP->setCurrentItem(firstShown, 0, QItemSelectionModel::NoUpdate);
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
    lstDEP->setProperty(kSortColumn, m_sortColumn);
    QTreeWidgetItem *current = lstDEP->currentItem();
    lstDEP->sortItems(0, m_sortColumn < 0 ? Qt::AscendingOrder : m_sortOrder);
    lstDEP->header()->setSortIndicatorShown(m_sortColumn >= 0);
    if (m_sortColumn >= 0) lstDEP->header()->setSortIndicator(m_sortColumn, m_sortOrder);
    if (current) lstDEP->scrollToItem(current);
}

void frmDEP::selectShown()
{
    QItemSelection selection;
    const QAbstractItemModel *model = lstDEP->model();
    // Runs of shown rows as ranges: one selection change for the whole list.
    int start = -1;
    const int n = lstDEP->topLevelItemCount();
    for (int i = 0; i <= n; ++i) {
        const bool shown = i < n && !lstDEP->topLevelItem(i)->isHidden();
        if (shown && start < 0) start = i;
        if (!shown && start >= 0) {
            selection.select(model->index(start, 0), model->index(i - 1, columnCount - 1));
            start = -1;
        }
    }
    lstDEP->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
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
    // 90 twips less than the inner width and 50 twips above the bottom; a window smaller than that
    // leaves the list empty-sized rather than negative.
    const int margin = twips::px(40);
    const int row = twips::px(360);
    lbFiltro->setGeometry(margin, margin, twips::px(600), row);
    txtFiltro->setGeometry(margin + twips::px(650), margin, twips::px(4500), row);
    lbCuenta->setGeometry(txtFiltro->geometry().right() + twips::px(240), margin, twips::px(3000), row);
    const int top = margin + row + twips::px(60);
    lstDEP->setGeometry(margin, top, qMax(0, width() - twips::px(90)), qMax(0, height() - top - twips::px(50)));
}
