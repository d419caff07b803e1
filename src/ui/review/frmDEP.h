#pragma once

#include "review/RecordFilter.h"

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The record lists window: the shipment's records with errors (iModoLista 1) or its records OK
// (iModoLista 2). Not modal; a double-click or Enter on a row hands it to the record editor, on two
// or more selected rows hands them to the group correction. The filter box (Ctrl+F, Esc clears it)
// shows only the rows containing every typed word; a click on a heading or Ctrl+1 to Ctrl+9 (Ctrl+0
// the tenth column) sorts by a column, again in reverse; Ctrl+A selects the rows shown; F8 shows the
// current row's history; Esc closes the window. A hint line at the bottom names the keys.
class frmDEP : public QWidget {
    Q_OBJECT
public:
    // Opens the record editor for a row; receives the editor's Tag (the order as listed, "0007").
    using EditorHook = std::function<void(const QString &tag)>;
    // Opens the group correction for the selected rows' tags, in the order shown.
    using GroupEditorHook = std::function<void(const QStringList &tags)>;

    enum Column { colOrden, colArticulo, colDescripcion, colOrigen, colCantidad,
                  colUnitario, colTotal, colPosicion, colEstado, colCRC, columnCount };

    explicit frmDEP(QWidget *parent = nullptr);
    ~frmDEP() override;

    QTreeWidget *list() const { return lstDEP; }
    QLineEdit *filterBox() const { return txtFiltro; }
    // "N de M registros": the rows shown and all rows.
    QString countText() const;
    // The tags of the rows selected, in the order shown (the list holds only the rows shown).
    QStringList selectedTags() const;
    // Sorts by a column; the same column again reverses. -1 returns to the list's own order.
    void sortBy(int column);

    // Fills the list by iModoLista; runs once, when the window is first shown.
    void Form_Load();
    void CargarRegConErrores();
    void CargarRegOK();
    // Hands the selected row to the editor and refills the list when the editor saved.
    void AbrirRegistro();
    // F8: the current row's history.
    void MostrarHistorial();

    // Empty until the record editor exists; AbrirRegistro then only empties sRetorno.
    EditorHook editor;
    GroupEditorHook groupEditor;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Mode { Errors, Ok };
    void fill(Mode mode);
    void reload();
    void layoutList();
    void applyFilter();
    void applySort();
    void updateCount();
    void selectShown();
    void clearRows();
    // Hands the rows to the group correction and refills the list when it saved.
    void abrirGrupo(const QStringList &tags);

    QTreeWidget *lstDEP = nullptr;
    QLabel *lbFiltro = nullptr;
    QLineEdit *txtFiltro = nullptr;
    QLabel *lbCuenta = nullptr;
    QLabel *Label1 = nullptr; // the key hint
    bool m_loaded = false;
    recordfilter::Filter m_filter;
    // Every row of the list in the order shown; the filter puts the matching ones into the list.
    QList<QTreeWidgetItem *> m_rows;
    int m_sortColumn = -1;
    // The rows selected when a selected row was pressed, for the double-click that follows.
    QStringList m_pressSelection;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
