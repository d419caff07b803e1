#include "ui/shipments/ShipmentList.h"
#include "ui/app/Twips.h"

#include "ui/app/QtInteraction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "shipments/Shipments.h"
#include "ui/shipments/frmInterno.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTreeWidget>

// Picture 1 of ImageList1: a small folder-like shipment icon.
static QIcon shipmentIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(120, 80, 20));
        p.setBrush(QColor(230, 190, 90));
        p.drawRect(1, 4, 13, 10);
        p.setBrush(QColor(250, 220, 130));
        p.drawRect(1, 2, 6, 3);
        return QIcon(pixmap);
    }();
    return icon;
}

ShipmentList::ShipmentList(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FRAM1"));
    setFrameShape(QFrame::NoFrame);

    Label2 = new QLabel(QStringLiteral("Seleccione un interno"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips::rect(120, 90, 6000, 270));

    FRAM1LstInternos = new QTreeWidget(this);
    FRAM1LstInternos->setObjectName(QStringLiteral("FRAM1LstInternos"));
    FRAM1LstInternos->setAccessibleName(QStringLiteral("Lista de internos"));
    FRAM1LstInternos->setGeometry(twips::rect(120, 390, 9300, 3930));
    FRAM1LstInternos->setColumnCount(2);
    FRAM1LstInternos->setHeaderLabels({QStringLiteral("Interno"), QStringLiteral("Descripcion")});
    FRAM1LstInternos->setRootIsDecorated(false);
    FRAM1LstInternos->setUniformRowHeights(true);
    FRAM1LstInternos->setAllColumnsShowFocus(true);
    FRAM1LstInternos->header()->setStretchLastSection(false);
    FRAM1LstInternos->setColumnWidth(0, twips::px(2500));
    FRAM1LstInternos->setColumnWidth(1, twips::px(4000));
    FRAM1LstInternos->installEventFilter(this);
    Label2->setBuddy(FRAM1LstInternos);

    Label9 = new QLabel(QStringLiteral("   [Insert]   Nuevo Interno"), this);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label9->setGeometry(twips::rect(120, 4410, 3300, 270));
    Label10 = new QLabel(QStringLiteral("  [Delete] Eliminar Interno"), this);
    Label10->setObjectName(QStringLiteral("Label10"));
    Label10->setGeometry(twips::rect(3600, 4410, 3300, 270));
}

QString ShipmentList::selectedShipment() const
{
    QTreeWidgetItem *item = FRAM1LstInternos->currentItem();
    if (!item && FRAM1LstInternos->topLevelItemCount() > 0)
        item = FRAM1LstInternos->topLevelItem(0);
    return item ? item->text(0) : QString();
}

bool ShipmentList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FRAM1LstInternos && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Insert) {
            FRAM1_NuevoInterno();
            return true;
        }
        if (key == Qt::Key_Delete) {
            FRAM1_EliminarInterno();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void ShipmentList::FRAM1_CargarInternos()
{
    SharedState &s = shared();
    try {
        FRAM1LstInternos->clear();
        const QVector<shipments::Shipment> all = shipments::list(*s.gestor);
        if (!all.isEmpty()) {
            QList<QTreeWidgetItem *> items;
            const QIcon icon = shipmentIcon();
            for (const shipments::Shipment &shipment : all) {
                auto *item = new QTreeWidgetItem;
                item->setText(0, shipment.number);
                item->setIcon(0, icon);
                item->setText(1, shipment.description);
                items << item;
            }
            FRAM1LstInternos->addTopLevelItems(items);
            FRAM1LstInternos->setCurrentItem(FRAM1LstInternos->topLevelItem(0));
        }
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM1_CargarInternos]")),
                              Interaction::Icon::Critical);
    }
    if (FRAM1LstInternos->isVisible())
        FRAM1LstInternos->setFocus();
}

void ShipmentList::FRAM1_NuevoInterno()
{
    SharedState &s = shared();
    s.bInternoNuevo = false;
    QString added;
    {
        frmInterno dialog(window());
        uiInteraction().runModal(dialog);
        added = dialog.addedNumber();
    }
    if (!s.bInternoNuevo) return;
    FRAM1_CargarInternos();
    // The new shipment is the one "Siguiente >" goes on with.
    for (int i = 0; i < FRAM1LstInternos->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = FRAM1LstInternos->topLevelItem(i);
        if (item->text(0) == added) {
            FRAM1LstInternos->setCurrentItem(item);
            FRAM1LstInternos->scrollToItem(item);
            break;
        }
    }
}

void ShipmentList::FRAM1_EliminarInterno()
{
    SharedState &s = shared();
    if (FRAM1LstInternos->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem *item = FRAM1LstInternos->currentItem();
    if (!item)
        return;
    const QString number = item->text(0);
    if (interaction().message(QStringLiteral("Desea eliminar el Interno ") + number + QStringLiteral("?"),
                              Interaction::Icon::Question, Interaction::Buttons::YesNo) != Interaction::Answer::Yes)
        return;
    try {
        if (shipments::remove(*s.gestor, number))
            delete FRAM1LstInternos->takeTopLevelItem(FRAM1LstInternos->indexOfTopLevelItem(item));
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmInterno.EliminarInterno]")),
                              Interaction::Icon::Critical);
    }
}
