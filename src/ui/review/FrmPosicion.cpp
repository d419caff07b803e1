#include "ui/review/FrmPosicion.h"
#include "ui/app/Twips.h"

#include "data/PlanexoError.h"
#include "review/PositionLookup.h"
#include "review/SuffixVerification.h"
#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "ui/app/ClCntrl.h"

#include "data/VbFormat.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <optional>

FrmPosicion::FrmPosicion(QLineEdit *editorPosition, QWidget *parent)
    : QDialog(parent), m_editorPosition(editorPosition)
{
    setObjectName(QStringLiteral("FrmPosicion"));
    setWindowTitle(QStringLiteral("Buscar Posición"));
    setFixedSize(twips::px(9000), twips::px(5400));

    lbNCMF = new QLabel(QStringLiteral("Posición"), this);
    lbNCMF->setObjectName(QStringLiteral("lbNCMF"));
    lbNCMF->setGeometry(twips::rect(120, 120, 2400, 255));
    TxtNCMF = new QLineEdit(this);
    TxtNCMF->setObjectName(QStringLiteral("TxtNCMF"));
    TxtNCMF->setGeometry(twips::rect(120, 390, 2400, 345));
    TxtNCMF->setMaxLength(10);
    lbNCMF->setBuddy(TxtNCMF);

    lbNCM = new QLabel(QStringLiteral("Posiciones"), this);
    lbNCM->setObjectName(QStringLiteral("lbNCM"));
    lbNCM->setGeometry(twips::rect(120, 840, 2400, 255));
    LstNCM = new QListWidget(this);
    LstNCM->setObjectName(QStringLiteral("LstNCM"));
    LstNCM->setGeometry(twips::rect(120, 1110, 2400, 4140));
    LstNCM->setSelectionMode(QAbstractItemView::SingleSelection);
    lbNCM->setBuddy(LstNCM);

    lbDescripcionTitulo = new QLabel(QStringLiteral("Descripción"), this);
    lbDescripcionTitulo->setObjectName(QStringLiteral("lbDescripcionTitulo"));
    lbDescripcionTitulo->setGeometry(twips::rect(2640, 120, 6240, 255));
    LbDescripcion = new QPlainTextEdit(this);
    LbDescripcion->setObjectName(QStringLiteral("LbDescripcion"));
    LbDescripcion->setGeometry(twips::rect(2640, 390, 6240, 2040));
    LbDescripcion->setReadOnly(true);
    LbDescripcion->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LbDescripcion->setTabChangesFocus(true);
    lbDescripcionTitulo->setBuddy(LbDescripcion);

    lbSufijos = new QLabel(QStringLiteral("Sufijos"), this);
    lbSufijos->setObjectName(QStringLiteral("lbSufijos"));
    lbSufijos->setGeometry(twips::rect(2640, 2520, 6240, 255));
    LstSufijos = new QListWidget(this);
    LstSufijos->setObjectName(QStringLiteral("LstSufijos"));
    LstSufijos->setGeometry(twips::rect(2640, 2790, 6240, 2460));
    // The codes are padded to a common width: a fixed-pitch font keeps the descriptions aligned.
    LstSufijos->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lbSufijos->setBuddy(LstSufijos);

    setTabOrder(TxtNCMF, LstNCM);
    setTabOrder(LstNCM, LbDescripcion);
    setTabOrder(LbDescripcion, LstSufijos);

    // The window sees the keys before its controls.
    for (QWidget *control : {static_cast<QWidget *>(TxtNCMF), static_cast<QWidget *>(LstNCM),
                             static_cast<QWidget *>(LbDescripcion), static_cast<QWidget *>(LstSufijos)})
        control->installEventFilter(this);

    m_cntrl = new ClCntrl(this);
    m_cntrl->sLinkListBox(LstSufijos);

    if (m_editorPosition) TxtNCMF->setText(m_editorPosition->text().left(10));
    TxtNCMF->setFocus();
    twips::fitToScreen(this);
}

void FrmPosicion::Buscar()
{
    std::optional<BusyCursor> busy(std::in_place);
    try {
        const QString pattern = TxtNCMF->text();
        LstNCM->clear();
        const QStringList lines = positionlookup::find(shared(), pattern);
        if (lines.isEmpty()) {
            busy.reset();
            interaction().message(QStringLiteral("Posición no encontrada."), Interaction::Icon::Exclamation);
            return;
        }
        LstNCM->addItems(lines);
        LstNCM->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        LstNCM->setFocus();
    } catch (const PlanexoError &e) {
        busy.reset();
        interaction().message(QString::number(e.number()) + QStringLiteral(" - ") + e.description() +
                                  QStringLiteral("Sección []"),
                              Interaction::Icon::None);
    }
}

void FrmPosicion::MostrarDatos(const QString &position)
{
    std::optional<BusyCursor> busy;
    try {
        LbDescripcion->clear();
        LstSufijos->clear();
        busy.emplace();
        SharedState &s = shared();
        if (const std::optional<QString> text = positionlookup::description(s, position))
            LbDescripcion->setPlainText(*text);
        const QStringList lines = positionlookup::suffixLines(s, position);
        if (!lines.isEmpty()) LstSufijos->addItems(lines);
    } catch (const PlanexoError &e) {
        busy.reset();
        interaction().message(e.description(), Interaction::Icon::None);
    }
}

void FrmPosicion::ElegirPosicion()
{
    const QList<QListWidgetItem *> selected = LstNCM->selectedItems();
    if (m_editorPosition)
        m_editorPosition->setText(selected.isEmpty() ? QString() : selected.first()->text());
    accept();
}

void FrmPosicion::Form_Activate()
{
    if (LstNCM->count() > 0)
        LstNCM->setFocus();
    else
        TxtNCMF->setFocus();
}

bool FrmPosicion::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QDialog::event(event);
}

void FrmPosicion::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Activate();
}

bool FrmPosicion::windowKey(const QKeyEvent *key)
{
    const bool ctrlC = key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier);
    if (key->key() != Qt::Key_Escape && !ctrlC) return false;
    reject();
    return true;
}

bool FrmPosicion::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (windowKey(key)) return true;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && watched == TxtNCMF) {
            if (!vb::trim(TxtNCMF->text()).isEmpty()) Buscar();
            return true;
        }
        if (enter && watched == LstNCM) {
            ElegirPosicion();
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease && watched == LstNCM) {
        const auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            if (!key->isAutoRepeat()) {
                const QList<QListWidgetItem *> selected = LstNCM->selectedItems();
                MostrarDatos(selected.isEmpty() ? QString() : selected.first()->text());
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmPosicion::keyPressEvent(QKeyEvent *event)
{
    if (windowKey(event)) return;
    // No default button: Enter means something only in the search box and the list.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}
