#include "ui/import/SheetGridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

SheetGridView::SheetGridView(QWidget *parent) : QTableView(parent)
{
    m_frozen = new QTableView(this);
    m_frozen->setObjectName(QStringLiteral("FRAM2_GridTitulos"));
    m_frozen->setAccessibleName(QStringLiteral("Títulos y campos de la planilla"));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->horizontalHeader()->hide();
    m_frozen->verticalHeader()->hide();
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frozen->setWordWrap(false);
    m_frozen->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // It shows rows 0 and 1 only: the current cell, which it shares, never scrolls it.
    m_frozen->setAutoScroll(false);
    connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value != 0) m_frozen->verticalScrollBar()->setValue(0);
    });
    m_frozen->viewport()->installEventFilter(this);
    m_frozen->hide();

    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) { m_frozen->setColumnWidth(column, size); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeFrozen(); });
}

void SheetGridView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    if (model) {
        connect(model, &QAbstractItemModel::modelReset, this, [this] {
            copyColumnWidths();
            placeFrozen();
        });
        connect(model, &QAbstractItemModel::columnsInserted, this, [this] { copyColumnWidths(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { placeFrozen(); });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { placeFrozen(); });
    }
    copyColumnWidths();
    placeFrozen();
}

void SheetGridView::setSelectionModel(QItemSelectionModel *selectionModel)
{
    QTableView::setSelectionModel(selectionModel);
    if (m_frozen->model() == model()) m_frozen->setSelectionModel(selectionModel);
}

void SheetGridView::copyColumnWidths()
{
    if (!model()) return;
    for (int c = 0; c < model()->columnCount(); ++c)
        m_frozen->setColumnWidth(c, columnWidth(c));
}

int SheetGridView::frozenHeight() const
{
    if (!model() || model()->rowCount() <= kFrozenRows) return 0;
    int height = 0;
    for (int r = 0; r < kFrozenRows; ++r)
        height += rowHeight(r);
    return height;
}

void SheetGridView::placeFrozen()
{
    const int height = frozenHeight();
    // At the top the grid shows its own first rows in place: the copy is needed only below.
    if (height == 0 || verticalScrollBar()->value() == 0) {
        m_frozen->hide();
        return;
    }
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    const QRect area = viewport()->geometry();
    m_frozen->setGeometry(area.x(), area.y(), area.width(), height);
    followHorizontalScroll();
    m_frozen->verticalScrollBar()->setValue(0);
    m_frozen->show();
    m_frozen->raise();
}

void SheetGridView::followHorizontalScroll()
{
    // The columns start where the grid's own (hidden) heading puts them, however it was scrolled.
    m_frozen->horizontalHeader()->setOffset(horizontalHeader()->offset());
    m_frozen->viewport()->update();
}

void SheetGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dx != 0) followHorizontalScroll();
}

void SheetGridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeFrozen();
}

void SheetGridView::updateGeometries()
{
    QTableView::updateGeometries();
    placeFrozen();
}

void SheetGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // A data row under the fixed rows is out of sight: the grid scrolls back until it lies below them.
    if (!index.isValid() || index.row() < kFrozenRows || frozenHeight() == 0) return;
    QScrollBar *bar = verticalScrollBar();
    const int top = rowViewportPosition(index.row());
    if (bar->value() > 0 && top < frozenHeight()) {
        // By rows, the scroll value is the first row in view.
        if (verticalScrollMode() == ScrollPerItem)
            bar->setValue(std::max(0, index.row() - kFrozenRows));
        else
            bar->setValue(std::max(0, bar->value() - (frozenHeight() - top)));
    }
}

bool SheetGridView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_frozen->viewport()) {
        switch (event->type()) {
        case QEvent::Wheel:
            // Scrolling over the fixed rows scrolls the grid.
            QApplication::sendEvent(viewport(), event);
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // A click on a heading picks its column and leaves the data where it is.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const int column = m_frozen->columnAt(mouse->position().toPoint().x());
            const QModelIndex current = currentIndex();
            if (column >= 0 && model())
                setCurrentIndex(model()->index(current.isValid() ? current.row() : kFrozenRows, column));
            setFocus(Qt::MouseFocusReason);
            return true;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return true;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}
