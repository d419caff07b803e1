#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// The new shipment dialog, driven by F11 (add) and Escape (leave) only.
class frmInterno : public QDialog {
    Q_OBJECT
public:
    explicit frmInterno(QWidget *parent = nullptr);

    void NuevoInterno();
    // The shipment number as stored by the last F11 that added a row; empty when none was added.
    QString addedNumber() const { return m_added; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool handleKey(int key);

    QLabel *Label1 = nullptr;
    QLineEdit *txtInterno = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtDescripcion = nullptr;
    QLabel *Label3 = nullptr;
    QString m_added;
};
