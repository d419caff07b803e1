#pragma once

#include <QFrame>

class QLabel;
class QTreeWidget;

// Step 1 of the wizard (FRAM1): the shipments of the work database, Insert to create one and
// Delete to remove one.
class ShipmentList : public QFrame {
    Q_OBJECT
public:
    explicit ShipmentList(QWidget *parent = nullptr);

    QTreeWidget *list() const { return FRAM1LstInternos; }
    // The selected shipment number; empty when the list is empty.
    QString selectedShipment() const;

    void FRAM1_CargarInternos();
    void FRAM1_NuevoInterno();
    void FRAM1_EliminarInterno();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeWidget *FRAM1LstInternos = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
};
