#include "ui/review/frmModificar.h"
#include "ui/app/Twips.h"

#include "data/History.h"
#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "review/RecordEdit.h"
#include "review/SuffixVerification.h"
#include "shared/SharedState.h"
#include "ui/app/QtInteraction.h"
#include "ui/review/FrmHistorial.h"
#include "ui/review/FrmPosicion.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <optional>

namespace {

const char *const kTag = "Tag";

} // namespace

frmModificar::frmModificar(QWidget *parent) : QDialog(parent), verificarSufijos(VerificarSufijos)
{
    setObjectName(QStringLiteral("frmModificar"));
    setWindowTitle(QStringLiteral("Modificar"));
    setFixedSize(twips::px(9600), twips::px(7050));

    Frame1 = new QGroupBox(QStringLiteral("Datos del archivo origen"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twips::rect(120, 90, 9360, 1770));
    txtARTNRO = lineEdit("txtARTNRO", 10, 42, 150, Frame1);
    label(QStringLiteral("Articulo"), txtARTNRO, 10, 22, 150, Frame1);
    txtARTDSC = lineEdit("txtARTDSC", 170, 42, 340, Frame1);
    label(QStringLiteral("Descripción"), txtARTDSC, 170, 22, 340, Frame1);
    txtARTORG = lineEdit("txtARTORG", 520, 42, 94, Frame1);
    label(QStringLiteral("Origen"), txtARTORG, 520, 22, 94, Frame1);
    txtARTCAN = lineEdit("txtARTCAN", 10, 86, 120, Frame1);
    label(QStringLiteral("Cantidad"), txtARTCAN, 10, 66, 120, Frame1);
    txtARTUNI = lineEdit("txtARTUNI", 140, 86, 120, Frame1);
    label(QStringLiteral("Unitario"), txtARTUNI, 140, 66, 120, Frame1);
    txtARTTOT = lineEdit("txtARTTOT", 270, 86, 120, Frame1);
    label(QStringLiteral("Total"), txtARTTOT, 270, 66, 120, Frame1);
    for (QLineEdit *box : {txtARTNRO, txtARTDSC, txtARTORG, txtARTCAN, txtARTUNI, txtARTTOT}) {
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus);
    }
    for (QLineEdit *box : {txtARTCAN, txtARTUNI, txtARTTOT})
        box->setAlignment(Qt::AlignRight);
    lbEstado = new QLabel(Frame1);
    lbEstado->setObjectName(QStringLiteral("lbEstado"));
    lbEstado->setAccessibleName(QStringLiteral("Estado"));
    lbEstado->setGeometry(twips::rect(7800, 1290, 1410, 360));
    lbEstado->setAlignment(Qt::AlignCenter);
    lbEstado->setFrameShape(QFrame::Panel);
    lbEstado->setFrameShadow(QFrame::Sunken);
    lbRegistros = new QLabel(Frame1);
    lbRegistros->setObjectName(QStringLiteral("lbRegistros"));
    lbRegistros->setGeometry(twips::rect(6150, 1290, 1500, 360));
    lbRegistros->hide();

    Frame2 = new QGroupBox(QStringLiteral("Datos Extra"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twips::rect(120, 1950, 9360, 4590));
    txtPRCNCM = lineEdit("txtPRCNCM", 10, 42, 150, Frame2);
    txtPRCNCM->setText(QStringLiteral("8252.00.00.000B"));
    label(QStringLiteral("Posición"), txtPRCNCM, 10, 22, 150, Frame2);
    lbPRCLAP = new QLabel(QStringLiteral("LAPI"), Frame2);
    lbPRCLAP->setObjectName(QStringLiteral("lbPRCLAP"));
    lbPRCLAP->setGeometry(twips::rect(2490, 630, 750, 360));
    lbPRCLAP->setAlignment(Qt::AlignCenter);
    QFont bold = lbPRCLAP->font();
    bold.setBold(true);
    lbPRCLAP->setFont(bold);
    lbPRCLAP->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0)"));
    lbPRCLAP->hide();

    txtPRCECA = lineEdit("txtPRCECA", 226, 42, 130, Frame2);
    txtPRCECA->setText(QStringLiteral("00.00"));
    txtPRCECA->setAlignment(Qt::AlignRight);
    lbPRCEUN = label(QStringLiteral("Unidad Estadistica"), txtPRCECA, 226, 22, 190, Frame2);
    lbPRCEUN->setObjectName(QStringLiteral("lbPRCEUN"));
    txtPRCSCA = lineEdit("txtPRCSCA", 426, 42, 130, Frame2);
    txtPRCSCA->setText(QStringLiteral("00.00"));
    txtPRCSCA->setAlignment(Qt::AlignRight);
    txtPRCSCA->hide();
    lbPRCSUN = label(QStringLiteral("Derecho Especifico [01]"), txtPRCSCA, 426, 22, 190, Frame2);
    lbPRCSUN->setObjectName(QStringLiteral("lbPRCSUN"));

    txtPRCDUN = lineEdit("txtPRCDUN", 10, 96, 110, Frame2);
    txtPRCDUN->setAlignment(Qt::AlignCenter);
    label(QStringLiteral("Unidad Declarada"), txtPRCDUN, 10, 76, 110, Frame2);
    txtPRCESM = lineEdit("txtPRCESM", 130, 96, 110, Frame2);
    txtPRCESM->setText(QStringLiteral("1"));
    txtPRCESM->setAlignment(Qt::AlignCenter);
    label(QStringLiteral("Estado Mercaderia"), txtPRCESM, 130, 76, 110, Frame2);
    cboPRCORI = new QComboBox(Frame2);
    cboPRCORI->setObjectName(QStringLiteral("cboPRCORI"));
    cboPRCORI->setGeometry(twips::rect(3750, 1440, 5460, 360));
    cboPRCORI->setMaxVisibleItems(20);
    label(QStringLiteral("Pais Origen"), cboPRCORI, 250, 76, 364, Frame2);
    cboidPRCORI = new QComboBox(Frame2);
    cboidPRCORI->setObjectName(QStringLiteral("cboidPRCORI"));
    cboidPRCORI->setAccessibleName(QStringLiteral("Código de país"));
    cboidPRCORI->hide();

    txtPRCSUF = new QPlainTextEdit(Frame2);
    txtPRCSUF->setObjectName(QStringLiteral("txtPRCSUF"));
    txtPRCSUF->setGeometry(twips::rect(150, 2250, 9060, 1230));
    txtPRCSUF->setReadOnly(true);
    txtPRCSUF->setTabChangesFocus(true);
    txtPRCSUF->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    label(QStringLiteral("Sufijos"), txtPRCSUF, 10, 130, 200, Frame2);
    txtARTDSCMARIA = lineEdit("txtARTDSCMARIA", 10, 262, 604, Frame2);
    label(QStringLiteral("Descripción Maria"), txtARTDSCMARIA, 10, 242, 200, Frame2);

    Label17 = new QLabel(QStringLiteral("[F11] Guardar -  [ESC]  Salir"), this);
    Label17->setObjectName(QStringLiteral("Label17"));
    Label17->setGeometry(twips::rect(120, 6630, 9360, 300));

    setTabOrder(txtPRCNCM, txtPRCECA);
    setTabOrder(txtPRCECA, txtPRCSCA);
    setTabOrder(txtPRCSCA, txtPRCDUN);
    setTabOrder(txtPRCDUN, txtPRCESM);
    setTabOrder(txtPRCESM, cboPRCORI);
    setTabOrder(cboPRCORI, txtPRCSUF);
    setTabOrder(txtPRCSUF, txtARTDSCMARIA);

    // The window sees every key before the focused control.
    for (QWidget *w : {static_cast<QWidget *>(txtARTNRO), static_cast<QWidget *>(txtARTDSC),
                       static_cast<QWidget *>(txtARTORG), static_cast<QWidget *>(txtARTCAN),
                       static_cast<QWidget *>(txtARTUNI), static_cast<QWidget *>(txtARTTOT),
                       static_cast<QWidget *>(txtPRCNCM), static_cast<QWidget *>(txtPRCECA),
                       static_cast<QWidget *>(txtPRCSCA), static_cast<QWidget *>(txtPRCDUN),
                       static_cast<QWidget *>(txtPRCESM), static_cast<QWidget *>(cboPRCORI),
                       static_cast<QWidget *>(txtPRCSUF), static_cast<QWidget *>(txtARTDSCMARIA)})
        w->installEventFilter(this);
    txtPRCNCM->setFocus();
    twips::fitToScreen(this);
}

QLineEdit *frmModificar::lineEdit(const char *name, int x, int y, int w, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    // x, y and w in the pixels of the 15-twip layout.
    box->setGeometry(twips::rect(x * 15, y * 15, w * 15, 360));
    return box;
}

QLabel *frmModificar::label(const QString &caption, QWidget *buddy, int x, int y, int w, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QStringLiteral("Label%1").arg(++m_labelCount));
    l->setGeometry(twips::rect(x * 15, y * 15, w * 15, 270));
    l->setBuddy(buddy);
    return l;
}

void frmModificar::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    loadOnce();
}

bool frmModificar::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) loadOnce();
    return QDialog::event(event);
}

// The record loads on the first activation only; the lookup and the suffix chooser closing
// activate the window again without reloading it.
void frmModificar::loadOnce()
{
    if (m_loaded) return;
    m_loaded = true;
    CargarDatos();
}

bool frmModificar::handleWindowKey(int key)
{
    if (key == Qt::Key_F11) {
        GrabarDatos();
        return true;
    }
    if (key == Qt::Key_Escape) {
        m_loaded = false;
        reject();
        return true;
    }
    if (key == Qt::Key_F8) {
        MostrarHistorial();
        return true;
    }
    return false;
}

bool frmModificar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (handleWindowKey(key)) return true;
    if (watched == txtPRCNCM) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            QString position = txtPRCNCM->text();
            if (!isGroup()) {
                ProcesarNCM(position, txtARTNRO->text());
            } else if (!ProcesarNCM(position, m_groupArticle).isEmpty()) {
                m_groupProcessed = true;
            }
            return true;
        }
        if (key == Qt::Key_F6) {
            abrirPosicion();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmModificar::keyPressEvent(QKeyEvent *event)
{
    if (handleWindowKey(event->key())) return;
    // No default button: Enter does nothing outside the position box.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}

void frmModificar::abrirPosicion()
{
    FrmPosicion lookup(txtPRCNCM, this);
    uiInteraction().runModal(lookup);
}

void frmModificar::CargarDatos()
{
    if (isGroup()) {
        CargarGrupo();
        return;
    }
    SharedState &s = shared();
    try {
        const std::optional<recordedit::Article> found = recordedit::load(s, m_tag);
        if (!found) return;
        const recordedit::Article &a = *found;
        txtARTNRO->setText(a.ARTNRO);
        txtARTDSC->setText(a.ARTDSC);
        txtARTORG->setText(a.ARTORG);
        txtARTCAN->setText(a.ARTCAN);
        txtARTUNI->setText(a.ARTUNI);
        txtARTTOT->setText(a.ARTTOT);
        txtARTDSCMARIA->setText(a.DESCRIPCION_MARIA);
        txtPRCNCM->setText(a.PRCNCM);
        txtPRCSUF->setPlainText(a.PRCSUF);
        txtPRCDUN->setText(a.PRCDUN);
        txtPRCECA->setText(a.PRCECA);
        txtPRCESM->setText(a.PRCESM);

        lbPRCEUN->setText(QStringLiteral("Unidad Estadistica [") + a.PRCEUN + QStringLiteral("]"));

        if (!a.PRCSUN.isEmpty()) {
            lbPRCSUN->setText(QStringLiteral("Derecho Especifico [") + a.PRCSUN + QStringLiteral("]"));
            lbPRCSUN->show();
            txtPRCSCA->setText(a.PRCSCA);
            txtPRCSCA->show();
            txtPRCSCA->setProperty(kTag, a.PRCSUN);
        } else {
            lbPRCSUN->hide();
            lbPRCSUN->setText(QString());
            txtPRCSCA->setText(QStringLiteral("0"));
        }

        lbEstado->setText(a.PRCCRC);
        // A record with errors can be saved only after its position has been processed again.
        if (a.PRCCRC == QLatin1String("OK")) {
            txtPRCNCM->setProperty(kTag, a.PRCEUN);
            m_tagPosition = txtPRCNCM->text();
            const bool lapi = a.PRCLAP == QLatin1String("S");
            lbPRCLAP->setVisible(lapi);
            lbPRCLAP->setProperty(kTag, lapi ? QStringLiteral("S") : QStringLiteral("N"));
        }

        cboidPRCORI->clear();
        cboPRCORI->clear();
        int match = -1;
        QStringList ids, names;
        for (const recordedit::Country &country : recordedit::countries(s)) {
            if (country.id == a.ARTORG) match = int(ids.size());
            ids << country.id;
            names << country.name;
        }
        cboidPRCORI->addItems(ids);
        cboPRCORI->addItems(names);
        cboPRCORI->setCurrentIndex(match);
        cboidPRCORI->setCurrentIndex(cboPRCORI->currentIndex());
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar.CargarDatos]")),
            Interaction::Icon::Critical);
    }
}

QString frmModificar::ProcesarNCM(QString &p_NCM, const QString &p_Articulo)
{
    SharedState &s = shared();
    std::optional<BusyCursor> busy;
    busy.emplace();
    try {
        if (!recordedit::wellFormed(p_NCM)) {
            busy.reset();
            interaction().message(QStringLiteral("Error en la estructura de la posición"),
                                  Interaction::Icon::Exclamation);
            return QString();
        }
        p_NCM = recordedit::pointed(p_NCM);
        const std::optional<recordedit::Position> position = recordedit::findPosition(s, p_NCM);
        if (!position) {
            interaction().message(QStringLiteral("Posición no encontrada en Nomenclador"),
                                  Interaction::Icon::Exclamation);
            return QString();
        }

        lbPRCEUN->setText(QStringLiteral("Unidad Estadistica [") + position->unit + QStringLiteral("]"));
        txtPRCNCM->setProperty(kTag, position->unit);
        m_tagPosition = p_NCM;

        QString previous = txtPRCSUF->toPlainText();
        QString article = p_Articulo;
        txtPRCSUF->setPlainText(verificarSufijos(p_NCM, previous, 1, article));

        lbPRCLAP->setProperty(kTag, position->lapi ? QStringLiteral("S") : QStringLiteral("N"));
        lbPRCLAP->setVisible(position->lapi);
        return position->found;
    } catch (const PlanexoError &e) {
        interaction().message(QString::number(e.number()) + QStringLiteral(" - ") + e.description() +
                                  QStringLiteral("\r\n\r\nSección [Velmora.frmModificar.ProcesarNCM]"),
                              Interaction::Icon::Critical);
        return QString();
    }
}

recordedit::Draft frmModificar::draft() const
{
    recordedit::Draft d;
    d.position = txtPRCNCM->text();
    d.processedPosition = m_tagPosition;
    d.unit = txtPRCNCM->property(kTag).toString();
    d.declaredUnit = txtPRCDUN->text();
    d.statisticalQuantity = txtPRCECA->text();
    d.quantity = txtARTCAN->text();
    d.goodsState = txtPRCESM->text();
    d.suffixes = txtPRCSUF->toPlainText();
    d.lapi = lbPRCLAP->property(kTag).toString();
    d.hasSpecificDuty = !txtPRCSCA->isHidden();
    d.specificUnit = txtPRCSCA->property(kTag).toString();
    d.specificQuantity = txtPRCSCA->text();
    d.descripcionMaria = txtARTDSCMARIA->text();
    const int country = cboPRCORI->currentIndex();
    if (country >= 0 && country < cboidPRCORI->count())
        d.country = cboidPRCORI->itemText(country);
    return d;
}

bool frmModificar::VerificarDatos()
{
    recordedit::Draft d = draft();
    const bool ok = recordedit::verify(shared(), d);
    if (d.statisticalQuantity != txtPRCECA->text())
        txtPRCECA->setText(d.statisticalQuantity);
    return ok;
}

void frmModificar::GrabarDatos()
{
    if (isGroup()) {
        GrabarGrupo();
        return;
    }
    if (!VerificarDatos()) return;
    SharedState &s = shared();
    try {
        if (recordedit::save(s, draft(), m_tag, history::kEditor)) {
            m_tag.clear();
            s.sRetorno = QStringLiteral("OK");
            m_loaded = false;
            accept();
        }
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_GrabarDatos]")),
            Interaction::Icon::Critical);
    }
}

void frmModificar::setTags(const QStringList &tags)
{
    m_tags = tags;
    m_tag = tags.value(0);
    if (isGroup())
        setWindowTitle(QStringLiteral("Modificar (") + QString::number(tags.size()) + QStringLiteral(" registros)"));
}

// The group opens with the first row's source data and, in each editable field, the value every
// row shares or nothing where they differ.
void frmModificar::CargarGrupo()
{
    SharedState &s = shared();
    try {
        QVector<recordedit::Article> rows;
        rows.reserve(m_tags.size());
        for (const QString &tag : m_tags) {
            if (std::optional<recordedit::Article> a = recordedit::load(s, tag)) rows.push_back(*a);
        }
        if (rows.isEmpty()) return;
        const auto common = [&rows](QString recordedit::Article::*field) {
            const QString first = rows.first().*field;
            for (const recordedit::Article &a : rows)
                if (a.*field != first) return QString();
            return first;
        };
        const recordedit::Article &a = rows.first();
        txtARTNRO->setText(a.ARTNRO);
        txtARTDSC->setText(a.ARTDSC);
        txtARTORG->setText(a.ARTORG);
        txtARTCAN->setText(a.ARTCAN);
        txtARTUNI->setText(a.ARTUNI);
        txtARTTOT->setText(a.ARTTOT);
        lbRegistros->setText(QStringLiteral("(") + QString::number(m_tags.size()) + QStringLiteral(" registros)"));
        lbRegistros->show();
        m_groupArticle = common(&recordedit::Article::ARTNRO);

        txtPRCNCM->setText(common(&recordedit::Article::PRCNCM));
        txtPRCSUF->setPlainText(common(&recordedit::Article::PRCSUF));
        txtPRCDUN->setText(common(&recordedit::Article::PRCDUN));
        txtPRCECA->setText(common(&recordedit::Article::PRCECA));
        txtPRCESM->setText(common(&recordedit::Article::PRCESM));
        txtARTDSCMARIA->setText(common(&recordedit::Article::DESCRIPCION_MARIA));
        lbPRCEUN->setText(QStringLiteral("Unidad Estadistica [") + common(&recordedit::Article::PRCEUN) +
                          QStringLiteral("]"));
        // The specific duty stays each row's own.
        lbPRCSUN->hide();
        lbPRCSUN->setText(QString());
        txtPRCSCA->setText(QStringLiteral("0"));
        lbEstado->setText(common(&recordedit::Article::PRCCRC));
        // Shown only: each row keeps its own mark unless a position is processed for the group.
        lbPRCLAP->setVisible(common(&recordedit::Article::PRCCRC) == QLatin1String("OK") &&
                             common(&recordedit::Article::PRCLAP) == QLatin1String("S"));

        const QString origin = common(&recordedit::Article::ARTORG);
        cboidPRCORI->clear();
        cboPRCORI->clear();
        int match = -1;
        QStringList ids, names;
        for (const recordedit::Country &country : recordedit::countries(s)) {
            if (!origin.isEmpty() && country.id == origin) match = int(ids.size());
            ids << country.id;
            names << country.name;
        }
        cboidPRCORI->addItems(ids);
        cboPRCORI->addItems(names);
        cboPRCORI->setCurrentIndex(match);
        cboidPRCORI->setCurrentIndex(cboPRCORI->currentIndex());

        m_initial = {txtPRCNCM->text(), txtPRCECA->text(), txtPRCDUN->text(), txtPRCESM->text(),
                     txtARTDSCMARIA->text(), cboPRCORI->currentIndex()};
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar.CargarDatos]")),
            Interaction::Icon::Critical);
    }
}

groupcorrection::Changes frmModificar::changes() const
{
    groupcorrection::Changes c;
    if (m_groupProcessed || txtPRCNCM->text() != m_initial.position)
        c.position = groupcorrection::Changes::Position{txtPRCNCM->text(), m_tagPosition,
                                                        txtPRCNCM->property(kTag).toString(),
                                                        lbPRCLAP->property(kTag).toString()};
    if (m_groupProcessed) c.suffixes = txtPRCSUF->toPlainText();
    if (txtPRCDUN->text() != m_initial.declaredUnit) c.declaredUnit = txtPRCDUN->text();
    if (txtPRCECA->text() != m_initial.statisticalQuantity) c.statisticalQuantity = txtPRCECA->text();
    if (txtPRCESM->text() != m_initial.goodsState) c.goodsState = txtPRCESM->text();
    if (txtARTDSCMARIA->text() != m_initial.descripcionMaria) c.descripcionMaria = txtARTDSCMARIA->text();
    const int country = cboPRCORI->currentIndex();
    if (country != m_initial.country && country >= 0 && country < cboidPRCORI->count())
        c.country = cboidPRCORI->itemText(country);
    return c;
}

void frmModificar::GrabarGrupo()
{
    SharedState &s = shared();
    groupcorrection::Result result;
    try {
        BusyCursor busy;
        result = groupcorrection::apply(s, m_tags, changes(), history::kGroup);
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_GrabarDatos]")),
            Interaction::Icon::Critical);
        return;
    }
    interaction().message(groupcorrection::report(result), result.refused.isEmpty()
                                                               ? Interaction::Icon::Information
                                                               : Interaction::Icon::Exclamation);
    // Nothing saved: the window stays open with the operator's input, as the editor's does.
    if (result.saved.isEmpty()) return;
    m_tag.clear();
    s.sRetorno = QStringLiteral("OK");
    m_loaded = false;
    accept();
}

void frmModificar::MostrarHistorial()
{
    const QString tag = m_tags.isEmpty() ? m_tag : m_tags.first();
    FrmHistorial::showRecord(this, tag, txtARTNRO->text(),
                             QStringLiteral(" - seccion [Planexo.frmModificar.Historial]"));
}
