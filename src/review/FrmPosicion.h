#pragma once

#include <QDialog>

class QLineEdit;

// The tariff position lookup ("Buscar Posición"), opened by the record editor with F6. Enter on a
// found position writes it into the editor's position box and closes the window.
class FrmPosicion : public QDialog {
    Q_OBJECT
public:
    // editorPosition: the editor's position box; its first 10 characters start the search text.
    explicit FrmPosicion(QLineEdit *editorPosition, QWidget *parent = nullptr);

private:
    QLineEdit *m_editorPosition = nullptr;
};
