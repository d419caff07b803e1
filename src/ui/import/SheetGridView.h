#pragma once

#include <QTableView>

// The preview grid: a table view whose first rows (the sheet's headings and the mapping row) stay
// in view while the data scrolls. A second view over the same model and selection lies over the
// top of the viewport once the grid is scrolled down, showing those rows at the grid's column
// widths and horizontal scroll; the rows under it are reached by scrolling as if it were a header.
class SheetGridView : public QTableView {
    Q_OBJECT
  public:
    explicit SheetGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void setSelectionModel(QItemSelectionModel *selectionModel) override;
    // The view of the fixed rows (shown only while the grid is scrolled down).
    QTableView *frozenRows() const { return m_frozen; }
    static constexpr int kFrozenRows = 2;

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

  protected:
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The height of the fixed rows; 0 when the model has no row below them.
    int frozenHeight() const;
    void placeFrozen();
    void copyColumnWidths();
    void followHorizontalScroll();

    QTableView *m_frozen = nullptr;
};
