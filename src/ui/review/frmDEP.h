#pragma once

#include <QWidget>
#include <functional>

class QTreeWidget;

// The record lists window: the shipment's records with errors (iModoLista 1) or its records OK
// (iModoLista 2). Not modal; a double-click or Enter on a row hands it to the record editor.
class frmDEP : public QWidget {
    Q_OBJECT
public:
    // Opens the record editor for a row; receives the editor's Tag (the order as listed, "0007").
    using EditorHook = std::function<void(const QString &tag)>;

    enum Column { colOrden, colArticulo, colDescripcion, colOrigen, colCantidad,
                  colUnitario, colTotal, colPosicion, colEstado, colCRC, columnCount };

    explicit frmDEP(QWidget *parent = nullptr);

    QTreeWidget *list() const { return lstDEP; }

    // Fills the list by iModoLista; runs once, when the window is first shown.
    void Form_Load();
    void CargarRegConErrores();
    void CargarRegOK();
    // Hands the selected row to the editor and refills the list when the editor saved.
    void AbrirRegistro();

    // Empty until the record editor exists; AbrirRegistro then only empties sRetorno.
    EditorHook editor;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Mode { Errors, Ok };
    void fill(Mode mode);
    void reload();
    void layoutList();

    QTreeWidget *lstDEP = nullptr;
    bool m_loaded = false;
};
