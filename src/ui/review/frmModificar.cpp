#include "ui/review/frmModificar.h"

#include "ui/review/FrmPosicion.h"
#include "review/SuffixVerification.h"
#include "ui/app/QtInteraction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "data/clPRINC.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <optional>

namespace {

const char *const kTag = "Tag";

// A position as the nomenclator keys it: commas typed for points read as points.
QString pointed(QString position)
{
    return position.replace(QLatin1Char(','), QLatin1Char('.'));
}

} // namespace

frmModificar::frmModificar(QWidget *parent) : QDialog(parent), verificarSufijos(VerificarSufijos)
{
    setObjectName(QStringLiteral("frmModificar"));
    setWindowTitle(QStringLiteral("Modificar"));
    setFixedSize(640, 470);

    Frame1 = new QGroupBox(QStringLiteral("Datos del archivo origen"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(8, 6, 624, 118);
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
    lbEstado->setGeometry(520, 86, 94, 24);
    lbEstado->setAlignment(Qt::AlignCenter);
    lbEstado->setFrameShape(QFrame::Panel);
    lbEstado->setFrameShadow(QFrame::Sunken);

    Frame2 = new QGroupBox(QStringLiteral("Datos Extra"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(8, 130, 624, 306);
    txtPRCNCM = lineEdit("txtPRCNCM", 10, 42, 150, Frame2);
    txtPRCNCM->setText(QStringLiteral("8252.00.00.000B"));
    label(QStringLiteral("Posición"), txtPRCNCM, 10, 22, 150, Frame2);
    lbPRCLAP = new QLabel(QStringLiteral("LAPI"), Frame2);
    lbPRCLAP->setObjectName(QStringLiteral("lbPRCLAP"));
    lbPRCLAP->setGeometry(166, 42, 50, 24);
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
    cboPRCORI->setGeometry(250, 96, 364, 24);
    cboPRCORI->setMaxVisibleItems(20);
    label(QStringLiteral("Pais Origen"), cboPRCORI, 250, 76, 364, Frame2);
    cboidPRCORI = new QComboBox(Frame2);
    cboidPRCORI->setObjectName(QStringLiteral("cboidPRCORI"));
    cboidPRCORI->setAccessibleName(QStringLiteral("Código de país"));
    cboidPRCORI->hide();

    txtPRCSUF = new QPlainTextEdit(Frame2);
    txtPRCSUF->setObjectName(QStringLiteral("txtPRCSUF"));
    txtPRCSUF->setGeometry(10, 150, 604, 82);
    txtPRCSUF->setReadOnly(true);
    txtPRCSUF->setTabChangesFocus(true);
    txtPRCSUF->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    label(QStringLiteral("Sufijos"), txtPRCSUF, 10, 130, 200, Frame2);
    txtARTDSCMARIA = lineEdit("txtARTDSCMARIA", 10, 262, 604, Frame2);
    label(QStringLiteral("Descripción Maria"), txtARTDSCMARIA, 10, 242, 200, Frame2);

    Label17 = new QLabel(QStringLiteral("[F11] Guardar -  [ESC]  Salir"), this);
    Label17->setObjectName(QStringLiteral("Label17"));
    Label17->setGeometry(8, 442, 624, 20);

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
}

QLineEdit *frmModificar::lineEdit(const char *name, int x, int y, int w, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(x, y, w, 24);
    return box;
}

QLabel *frmModificar::label(const QString &caption, QWidget *buddy, int x, int y, int w, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QStringLiteral("Label%1").arg(++m_labelCount));
    l->setGeometry(x, y, w, 18);
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
            ProcesarNCM(position, txtARTNRO->text());
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
    SharedState &s = shared();
    try {
        Recordset rs;
        s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                        QStringLiteral(" and ARTORD = ") + sql::number(vb::cdbl(m_tag));
        if (!s.gestor->CrearRs(rs)) return;
        const auto text = [&](const char *field) { return s.fmt->EsNull(rs.Fields(QLatin1String(field))); };
        const auto amount = [&](const char *field) {
            return vb::format(s.fmt->EsNumero(rs.Fields(QLatin1String(field))), QStringLiteral("00.00"));
        };
        txtARTNRO->setText(text("ARTNRO"));
        txtARTDSC->setText(text("ARTDSC"));
        txtARTORG->setText(text("ARTORG"));
        txtARTCAN->setText(amount("ARTCAN"));
        txtARTUNI->setText(amount("ARTUNI"));
        txtARTTOT->setText(amount("ARTTOT"));
        txtARTDSCMARIA->setText(text("DESCRIPCION_MARIA"));
        txtPRCNCM->setText(pointed(text("PRCNCM")));
        txtPRCSUF->setPlainText(text("PRCSUF"));
        txtPRCDUN->setText(text("PRCDUN"));
        txtPRCECA->setText(amount("PRCECA"));
        txtPRCESM->setText(text("PRCESM"));

        lbPRCEUN->setText(QStringLiteral("Unidad Estadistica [") + text("PRCEUN") + QStringLiteral("]"));

        const QString specificUnit = text("PRCSUN");
        if (!specificUnit.isEmpty()) {
            lbPRCSUN->setText(QStringLiteral("Derecho Especifico [") + specificUnit + QStringLiteral("]"));
            lbPRCSUN->show();
            txtPRCSCA->setText(amount("PRCSCA"));
            txtPRCSCA->show();
            txtPRCSCA->setProperty(kTag, specificUnit);
        } else {
            lbPRCSUN->hide();
            lbPRCSUN->setText(QString());
            txtPRCSCA->setText(QStringLiteral("0"));
        }

        const QString result = text("PRCCRC");
        lbEstado->setText(result);
        // A record with errors can be saved only after its position has been processed again.
        if (result == QLatin1String("OK")) {
            txtPRCNCM->setProperty(kTag, text("PRCEUN"));
            m_tagPosition = txtPRCNCM->text();
            const bool lapi = text("PRCLAP") == QLatin1String("S");
            lbPRCLAP->setVisible(lapi);
            lbPRCLAP->setProperty(kTag, lapi ? QStringLiteral("S") : QStringLiteral("N"));
        }

        const QString origin = text("ARTORG");
        rs.Close();
        cboidPRCORI->clear();
        cboPRCORI->clear();
        s.gestor->Sql = QStringLiteral("select * from pais order by descripcion");
        int match = 9999;
        if (s.gestor->CrearRs(rs)) {
            QStringList ids, names;
            for (int row = 1; !rs.Eof(); ++row, rs.MoveNext()) {
                const QString id = s.fmt->EsNull(rs.Fields(QStringLiteral("id")));
                ids << id;
                names << s.fmt->EsNull(rs.Fields(QStringLiteral("Descripcion")));
                if (id == origin) match = row;
            }
            cboidPRCORI->addItems(ids);
            cboPRCORI->addItems(names);
        }
        cboPRCORI->setCurrentIndex(match != 9999 ? match - 1 : -1);
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
        if (p_NCM.size() <= 13 || p_NCM.size() >= 16) {
            busy.reset();
            interaction().message(QStringLiteral("Error en la estructura de la posición"),
                                  Interaction::Icon::Exclamation);
            return QString();
        }
        p_NCM = pointed(p_NCM);

        DataConnection &ncm = s.enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
        const Dialect &d = ncm.dialect();
        const auto col = [&](const char *name) { return d.column(QLatin1String(name)); };
        ncm.Sql = QStringLiteral("select ") + col("001") + QLatin1Char(',') + col("002") + QLatin1Char(',') +
                  col("003") + QLatin1Char(',') + col("012") + QStringLiteral(" as uest ,") + col("059") +
                  QStringLiteral(" as lapi from NCM where ") + QStringLiteral(" ") + col("001") +
                  QStringLiteral(" = ") + sql::text(p_NCM.left(10)) + QStringLiteral(" and ") + col("002") +
                  QStringLiteral(" = ") + sql::text(p_NCM.mid(11, 3)) + QStringLiteral("  and ") +
                  col("003") + QStringLiteral(" = ") + sql::text(p_NCM.right(1));
        Recordset rs;
        if (!ncm.CrearRs(rs)) {
            interaction().message(QStringLiteral("Posición no encontrada en Nomenclador"),
                                  Interaction::Icon::Exclamation);
            return QString();
        }
        const auto field = [&](const char *name) { return s.fmt->EsNull(rs.Fields(QLatin1String(name))); };
        const QString unit = vb::format(field("uest"), QStringLiteral("00"));
        const QString found = field("001") + QLatin1Char('.') + field("002") + field("003");
        const bool lapi = !field("lapi").isEmpty();
        rs.Close();

        lbPRCEUN->setText(QStringLiteral("Unidad Estadistica [") + unit + QStringLiteral("]"));
        txtPRCNCM->setProperty(kTag, unit);
        m_tagPosition = p_NCM;

        QString previous = txtPRCSUF->toPlainText();
        QString article = p_Articulo;
        txtPRCSUF->setPlainText(verificarSufijos(p_NCM, previous, 1, article));

        lbPRCLAP->setProperty(kTag, lapi ? QStringLiteral("S") : QStringLiteral("N"));
        lbPRCLAP->setVisible(lapi);
        return found;
    } catch (const PlanexoError &e) {
        interaction().message(QString::number(e.number()) + QStringLiteral(" - ") + e.description() +
                                  QStringLiteral("\r\n\r\nSección [Velmora.frmModificar.ProcesarNCM]"),
                              Interaction::Icon::Critical);
        return QString();
    }
}

bool frmModificar::VerificarDatos()
{
    SharedState &s = shared();
    const auto refuse = [](const QString &text, Interaction::Icon icon = Interaction::Icon::Exclamation) {
        interaction().message(text, icon);
        return false;
    };
    try {
        oCHKX::clPRINC check;
        check.ConexionString(*s.enlace);

        // The statistical unit belongs to the position it was taken for: a position changed in the
        // box since then has to be processed again.
        const QString unit = txtPRCNCM->property(kTag).toString();
        if (unit.isEmpty() || pointed(txtPRCNCM->text()) != m_tagPosition)
            return refuse(QStringLiteral("Falta información sobre la posición arancelaria."));
        if (txtPRCDUN->text().trimmed().isEmpty())
            return refuse(QStringLiteral("Falta ingresar unidad declarada"));
        if (txtPRCDUN->text() == unit) {
            const double quantity = s.fmt->EsNumero(txtPRCECA->text());
            if (quantity == 0)
                txtPRCECA->setText(txtARTCAN->text());
            else if (s.fmt->EsNumero(txtARTCAN->text()) != quantity)
                return refuse(
                    QStringLiteral("La Cantidad Declarada debe ser igual a la Cantidad Especifica"));
        }
        if (!vb::isNumeric(txtPRCESM->text().trimmed()))
            return refuse(QStringLiteral("Estado de mercaderia inválida"), Interaction::Icon::Critical);
        const int result = check.ValidarSufijos(pointed(txtPRCNCM->text()), txtPRCSUF->toPlainText());
        if (result == 1) return refuse(QStringLiteral("La posición es Inexistente!"));
        if (result == 2) return refuse(QStringLiteral("Sufijos inválidos"));
        return true;
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_VerificarDatos]")),
            Interaction::Icon::Critical);
        return false;
    }
}

void frmModificar::GrabarDatos()
{
    if (!VerificarDatos()) return;
    SharedState &s = shared();
    try {
        const auto value = [](const QString &column, const QString &literal) {
            return column + QStringLiteral(" = ") + literal + QStringLiteral(", ");
        };
        QString st = QStringLiteral("update ART set ");
        st += value(QStringLiteral("PRCNCM"), sql::text(pointed(txtPRCNCM->text())));
        st += value(QStringLiteral("PRCLAP"), sql::text(lbPRCLAP->property(kTag).toString()));
        st += value(QStringLiteral("PRCSUF"), sql::text(txtPRCSUF->toPlainText()));
        st += value(QStringLiteral("PRCDUN"), sql::text(txtPRCDUN->text()));
        st += value(QStringLiteral("PRCEUN"), sql::text(txtPRCNCM->property(kTag).toString()));
        st += value(QStringLiteral("PRCECA"), sql::numberFromText(txtPRCECA->text()));
        if (!txtPRCSCA->isHidden()) {
            st += value(QStringLiteral("PRCSUN"), sql::text(txtPRCSCA->property(kTag).toString()));
            st += value(QStringLiteral("PRCSCA"), sql::numberFromText(txtPRCSCA->text()));
        }
        if (!txtARTDSCMARIA->text().trimmed().isEmpty())
            st += value(QStringLiteral("DESCRIPCION_MARIA"), sql::text(txtARTDSCMARIA->text()));
        st += value(QStringLiteral("PRCESM"), sql::text(txtPRCESM->text()));
        // No country chosen: the stored origin stays.
        const int country = cboPRCORI->currentIndex();
        if (country >= 0 && country < cboidPRCORI->count())
            st += value(QStringLiteral("ARTORG"), sql::text(cboidPRCORI->itemText(country)));
        st += QStringLiteral("PRCEST = 'M', PRCCRC = 'OK' where ARTORD = ") + sql::number(vb::cdbl(m_tag)) +
              QStringLiteral(" and INTNRO = ") + sql::text(s.sInternoActual) + QStringLiteral(" ");
        s.gestor->Sql = st;
        if (s.gestor->Ejecutar() > 0) {
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
