#include "ui/app/ClCntrl.h"

#include "shared/Interaction.h"

#include <QAbstractSpinBox>
#include <QColor>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

static const QColor kPeach(0xFE, 0xE4, 0xD6);
static const QColor kGreen(0xC0, 0xFF, 0xC0);

static void setBackground(QLineEdit *edit, const QColor &colour)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, colour);
    edit->setPalette(palette);
}

// Moves the focus to the next or previous control in the window's tab order.
static void moveFocus(QWidget *from, bool forward)
{
    QWidget *top = from->window();
    QWidget *w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == from) return;
        if (w->window() == top && w != top && w->isEnabled() && w->isVisibleTo(top) &&
            (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

ClCntrl::ClCntrl(QWidget *owner) : QObject(owner)
{
    ObtenerDecimal();
}

QString ClCntrl::queryDecimalSeparator() const
{
    return QLocale().decimalPoint();
}

void ClCntrl::ObtenerDecimal()
{
    m_decimal = queryDecimalSeparator();
    if (m_decimal.isEmpty())
        interaction().message(QStringLiteral("No se puedo obtener la información"), Interaction::Icon::None);
}

QString ClCntrl::Separador_Decimal()
{
    ObtenerDecimal();
    return m_decimal;
}

void ClCntrl::sLinkText(QLineEdit *text)
{
    if (vTextCtrl) vTextCtrl->removeEventFilter(this);
    vTextCtrl = text;
    if (text) text->installEventFilter(this);
}

void ClCntrl::sLinkListBox(QListWidget *list)
{
    if (vListBox) vListBox->viewport()->removeEventFilter(this);
    vListBox = list;
    if (list) {
        // Pointer moves without a button reach the viewport only with tracking on.
        list->viewport()->setMouseTracking(true);
        list->viewport()->installEventFilter(this);
    }
}

void ClCntrl::sLinkCBoBox(QComboBox *combo)
{
    m_combo = combo;
}

void ClCntrl::LstBuscarStr(const QString &Valor)
{
    if (!vListBox) return;
    for (int i = 0; i < vListBox->count(); ++i) {
        if (vListBox->item(i)->text().startsWith(Valor, Qt::CaseInsensitive)) {
            vListBox->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    vListBox->setCurrentRow(-1);
    vListBox->clearSelection();
}

void ClCntrl::BuscarCBO(const QString &Valor)
{
    if (!m_combo) return;
    for (int i = 0; i < m_combo->count(); ++i) {
        if (m_combo->itemText(i).startsWith(Valor, Qt::CaseInsensitive)) {
            m_combo->setCurrentIndex(i);
            return;
        }
    }
    m_combo->setCurrentIndex(-1);
}

void ClCntrl::VaciarTxt(QWidget *frm)
{
    if (!frm) return;
    for (QLineEdit *edit : frm->findChildren<QLineEdit *>()) {
        // The editors inside combo and spin boxes are parts of those controls, not text boxes.
        QWidget *owner = edit->parentWidget();
        if (qobject_cast<QComboBox *>(owner) || qobject_cast<QAbstractSpinBox *>(owner)) continue;
        edit->clear();
    }
    for (QPlainTextEdit *edit : frm->findChildren<QPlainTextEdit *>())
        edit->clear();
    for (QTextEdit *edit : frm->findChildren<QTextEdit *>())
        edit->clear();
}

bool ClCntrl::eventFilter(QObject *watched, QEvent *event)
{
    // Widgets send events while they are being destroyed; qobject_cast fails on a half-destroyed
    // control, so the linked pointers are only read for controls that are still whole.
    if (qobject_cast<QLineEdit *>(watched) && vTextCtrl && watched == vTextCtrl.data())
        return textEvent(event);
    if (watched->parent() && qobject_cast<QListWidget *>(watched->parent()) && vListBox &&
        watched == vListBox->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            listMouseMove(mouse->position().toPoint(), mouse->buttons());
        } else if (event->type() == QEvent::Leave) {
            vListBox->setToolTip(QString());
        }
    }
    return QObject::eventFilter(watched, event);
}

bool ClCntrl::textEvent(QEvent *event)
{
    QLineEdit *edit = vTextCtrl;
    const QString tag = edit->property("Tag").toString();
    const bool peach = tag.endsWith(QLatin1String("#F6"));
    const bool passive = tag.startsWith(QLatin1String("BB"));

    switch (event->type()) {
    case QEvent::FocusIn: {
        if (m_forwardingFocus) return false;
        if (peach || !passive) {
            setBackground(edit, peach ? kPeach : kGreen);
            edit->setSelection(0, int(edit->text().size()));
            return false;
        }
        // QLineEdit selects everything itself when tabbed into; a passive box keeps its caret, so it
        // gets the focus as if given by code.
        const auto *focus = static_cast<QFocusEvent *>(event);
        if (focus->reason() == Qt::TabFocusReason || focus->reason() == Qt::BacktabFocusReason ||
            focus->reason() == Qt::ShortcutFocusReason) {
            QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
            m_forwardingFocus = true;
            QCoreApplication::sendEvent(edit, &plain);
            m_forwardingFocus = false;
            return true;
        }
        return false;
    }
    case QEvent::FocusOut:
        if (!passive) setBackground(edit, Qt::white);
        return false;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down: {
            // Posted: the move happens after this key has been dealt with.
            const bool forward = key->key() == Qt::Key_Down;
            QPointer<QLineEdit> from = edit;
            QMetaObject::invokeMethod(
                this,
                [from, forward] {
                    if (from) moveFocus(from, forward);
                },
                Qt::QueuedConnection);
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            moveFocus(edit, true);
            return true;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            // Qt marks each key of the numeric keypad, so no held-key state is needed to tell its
            // decimal key from the main keyboard's.
            if ((key->modifiers() & Qt::KeypadModifier) && !m_decimal.isEmpty()) {
                edit->insert(m_decimal.left(1));
                return true;
            }
            return false;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void ClCntrl::listMouseMove(QPoint pos, Qt::MouseButtons buttons)
{
    if (buttons != Qt::NoButton) return;
    QListWidget *list = vListBox;
    if (!list->viewport()->rect().contains(pos) || list->count() == 0) {
        list->setToolTip(QString());
        return;
    }
    QListWidgetItem *item = list->itemAt(pos);
    if (!item) {
        // Empty space: the item nearest to the point, as the platform's list hit test answers.
        int best = -1;
        for (int i = 0; i < list->count(); ++i) {
            const QRect r = list->visualItemRect(list->item(i));
            if (r.isEmpty()) continue;
            const int distance = pos.y() < r.top()      ? r.top() - pos.y()
                                 : pos.y() > r.bottom() ? pos.y() - r.bottom()
                                                        : 0;
            if (best < 0 || distance < best) {
                best = distance;
                item = list->item(i);
            }
        }
    }
    list->setToolTip(item ? item->text() : QString());
}
