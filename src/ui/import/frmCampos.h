#pragma once

#include <QDialog>

class QComboBox;

// The field chooser of the column mapping: Enter takes the selected label, Escape leaves.
// The answer goes back through the shared sRetorno.
class frmCampos : public QDialog {
    Q_OBJECT
public:
    explicit frmCampos(QWidget *parent = nullptr);

    QComboBox *campos() const { return cboCampos; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool handleKey(QObject *watched, int key);

    QComboBox *cboCampos = nullptr;
};
