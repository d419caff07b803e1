#include "ui/review/FrmCargaSufijos.h"
#include "ui/app/Twips.h"

#include "ui/app/ClCntrl.h"
#include "shared/SharedState.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>

namespace {
} // namespace

FrmCargaSufijos::FrmCargaSufijos(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmCargaSufijos"));
    setWindowTitle(QStringLiteral("Carga de Sufijos"));
    setFixedSize(twips::px(6600), twips::px(3900));

    FrmList = new QGroupBox(QStringLiteral("Selecione una Opción"), this);
    FrmList->setObjectName(QStringLiteral("FrmList"));
    FrmList->setGeometry(twips::rect(120, 90, 6360, 3690));

    LstOpcion = new QListWidget(FrmList);
    LstOpcion->setObjectName(QStringLiteral("LstOpcion"));
    LstOpcion->setAccessibleName(QStringLiteral("Selecione una Opción"));
    LstOpcion->setGeometry(twips::rect(120, 300, 6120, 3270));
    LstOpcion->setSelectionMode(QAbstractItemView::SingleSelection);
    LstOpcion->installEventFilter(this);
    connect(LstOpcion, &QListWidget::itemDoubleClicked, this, [this] { ElegirOpcion(); });

    m_cntrl = new ClCntrl(this);
    m_cntrl->sLinkListBox(LstOpcion);
    LstOpcion->setFocus();
    twips::fitToScreen(this);
}

void FrmCargaSufijos::CargarOpciones(const QStringList &lines)
{
    FrmList->setVisible(true);
    LstOpcion->clear();
    LstOpcion->addItems(lines);
}

void FrmCargaSufijos::Form_Activate()
{
    if (LstOpcion->count() > 0 && LstOpcion->selectedItems().isEmpty())
        LstOpcion->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    LstOpcion->setFocus();
}

void FrmCargaSufijos::ElegirOpcion()
{
    const QList<QListWidgetItem *> selected = LstOpcion->selectedItems();
    shared().sChooserSelection = selected.isEmpty() ? QString() : selected.first()->text();
    accept();
}

bool FrmCargaSufijos::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QDialog::event(event);
}

void FrmCargaSufijos::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Activate();
}

bool FrmCargaSufijos::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LstOpcion && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ElegirOpcion();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmCargaSufijos::keyPressEvent(QKeyEvent *event)
{
    // The chooser has no closing key: only a choice or the window's close box ends it.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}
