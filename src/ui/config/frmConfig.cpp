#include "ui/config/frmConfig.h"
#include "ui/app/Twips.h"

#include "config/Relations.h"
#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "ui/app/ClCntrl.h"
#include "ui/app/QtInteraction.h"
#include "ui/config/frmNewPais.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <functional>

static const QString kLoadLocation = QStringLiteral(" - seccion [Planexo.frmConfig.Form_Load]");

// A component missing after a failed start-up fails like VB's unset object variable.
template <typename T> static T &component(const std::unique_ptr<T> &object)
{
    if (!object)
        throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                           QStringLiteral("Planexo"));
    return *object;
}

static QLabel *label(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    return l;
}

static QComboBox *combo(QWidget *parent, const char *name, QRect geometry)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setGeometry(geometry);
    return c;
}

static QLineEdit *textBox(QWidget *parent, const char *name, QRect geometry)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QLatin1String(name));
    t->setGeometry(geometry);
    return t;
}

frmConfig::frmConfig(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configuración"));
    setFixedSize(twips::px(9000), twips::px(4770));

    lblUnidad = label(this, "lblUnidad", QStringLiteral("Unidad Declarada por Defecto"),
                      twips::rect(180, 180, 3600, 270));
    cboUnidad = combo(this, "cboUnidad", twips::rect(180, 480, 3600, 360));
    lblUnidad->setBuddy(cboUnidad);
    cboIdUnidad = combo(this, "cboIdUnidad", twips::rect(180, 480, 3600, 360));
    cboIdUnidad->setAccessibleName(QStringLiteral("Id de unidad declarada"));
    cboIdUnidad->setVisible(false);

    lblCatalogo =
        label(this, "lblCatalogo", QStringLiteral("Catalogo Calvera"), twips::rect(180, 990, 3600, 270));
    cboCatalogo = combo(this, "cboCatalogo", twips::rect(180, 1290, 3600, 360));
    lblCatalogo->setBuddy(cboCatalogo);
    cboIdCatalogo = combo(this, "cboIdCatalogo", twips::rect(180, 1290, 3600, 360));
    cboIdCatalogo->setAccessibleName(QStringLiteral("Id de catalogo"));
    cboIdCatalogo->setVisible(false);

    lblEstado = label(this, "lblEstado", QStringLiteral("Estado de la Mercaderia"),
                      twips::rect(180, 1830, 3600, 270));
    QFont heading = lblEstado->font();
    heading.setBold(true);
    lblEstado->setFont(heading);
    lblEstadoValor = label(this, "lblEstadoValor", QStringLiteral("Valor predeterminado"),
                           twips::rect(360, 2190, 2250, 270));
    txtEstadoMerc = textBox(this, "txtEstadoMerc", twips::rect(2700, 2145, 480, 360));
    txtEstadoMerc->setMaxLength(1);
    lblEstadoValor->setBuddy(txtEstadoMerc);

    lblRango =
        label(this, "lblRango", QStringLiteral("Rango de variación"), twips::rect(180, 2730, 2250, 270));
    txtPRECIO_RANGO = textBox(this, "txtPRECIO_RANGO", twips::rect(2520, 2685, 960, 360));
    txtPRECIO_RANGO->setText(QStringLiteral("0.0"));
    lblRango->setBuddy(txtPRECIO_RANGO);
    lblRangoUnidad = label(this, "lblRangoUnidad", QStringLiteral("% Precio unitario"),
                           twips::rect(3570, 2730, 1620, 270));

    Lbl_Marca = label(this, "Lbl_Marca", QStringLiteral("Marca"), twips::rect(180, 3270, 900, 270));
    txt_Marca = textBox(this, "txt_Marca", twips::rect(1170, 3225, 2610, 360));
    txt_Marca->setMaxLength(20);
    Lbl_Marca->setBuddy(txt_Marca);

    lblReglas = label(this, "lblReglas", QStringLiteral("Reglas de Unidad Declarada"),
                      twips::rect(5280, 180, 3540, 270));
    GridUnidDecl = new QTableWidget(0, 2, this);
    GridUnidDecl->setObjectName(QStringLiteral("GridUnidDecl"));
    GridUnidDecl->setGeometry(twips::rect(5280, 480, 3540, 3120));
    GridUnidDecl->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridUnidDecl->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridUnidDecl->setSelectionMode(QAbstractItemView::SingleSelection);
    GridUnidDecl->verticalHeader()->setVisible(false);
    GridUnidDecl->horizontalHeader()->setStretchLastSection(true);
    lblReglas->setBuddy(GridUnidDecl);
    lblReglasHint = label(this, "lblReglasHint", QStringLiteral("[INSERT] Agregar - [DELETE] Eliminar"),
                          twips::rect(5280, 3690, 3540, 270));

    lblHint = label(this, "lblHint", QStringLiteral("[ESC] Cerrar"), twips::rect(180, 4320, 3600, 270));

    setTabOrder(cboUnidad, cboCatalogo);
    setTabOrder(cboCatalogo, txtEstadoMerc);
    setTabOrder(txtEstadoMerc, txtPRECIO_RANGO);
    setTabOrder(txtPRECIO_RANGO, txt_Marca);
    setTabOrder(txt_Marca, GridUnidDecl);

    Form_Load();

    // The window sees the keys before its controls: installed last, so that this filter runs
    // before the input-control helper's.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    // The lists' drop-downs are windows of their own, made on demand.
    for (QComboBox *list : {cboUnidad, cboCatalogo})
        list->view()->installEventFilter(this);
    cboUnidad->setFocus();
    twips::fitToScreen(this);
}

void frmConfig::Form_Load()
{
    SharedState &s = shared();

    m_cntrl = new ClCntrl(this);
    m_cntrl->sLinkText(txtPRECIO_RANGO);

    s.AA_MARCA = settings::read(QStringLiteral("AA_MARCA"));
    txt_Marca->setText(s.AA_MARCA);

    const QString tolerance = settings::read(QStringLiteral("PRECIO_UNITARIO"), QStringLiteral("0"));
    try {
        s.PRECIO_UNITARIO = vb::cdbl(tolerance);
        txtPRECIO_RANGO->setText(vb::str(s.PRECIO_UNITARIO));
    } catch (const PlanexoError &e) {
        // The stored text stays in view so that the operator sees what to correct.
        txtPRECIO_RANGO->setText(tolerance);
        interaction().message(standardMessage(e, kLoadLocation), Interaction::Icon::Critical);
    }

    txtEstadoMerc->setText(settings::read(QStringLiteral("PRCESM")));

    cboIdUnidad->clear();
    cboUnidad->clear();
    cboCatalogo->clear();
    cboIdCatalogo->clear();

    m_storedUnit = settings::read(QStringLiteral("INTDUN"));
    m_storedCatalogue = settings::read(QStringLiteral("INTCAT"));
    // One failure to reach Calvera is reported once, not once per list.
    DataConnection *calvera = nullptr;
    try {
        calvera = &component(s.enlace).getDataConnectionByEntity(QStringLiteral("INTERNOS"));
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, kLoadLocation), Interaction::Icon::Critical);
    }
    if (calvera) {
        try {
            loadUnits(*calvera);
        } catch (const PlanexoError &e) {
            interaction().message(standardMessage(e, kLoadLocation), Interaction::Icon::Critical);
        }
        try {
            loadCatalogues(*calvera);
        } catch (const PlanexoError &e) {
            interaction().message(standardMessage(e, kLoadLocation), Interaction::Icon::Critical);
        }
    }

    try {
        Cargar_Pais();
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, kLoadLocation), Interaction::Icon::Critical);
    }
}

// Fills a description list and its hidden id twin, selecting the last row whose id equals the
// stored value, else the first.
static void fillTwinLists(const relations::CodeList &list, const QString &stored, QComboBox *shown,
                          QComboBox *ids)
{
    if (!list.ids.isEmpty()) {
        shown->addItems(list.names);
        ids->addItems(list.ids);
    }
    if (shown->count() > 0) {
        const int position = int(list.ids.lastIndexOf(stored));
        shown->setCurrentIndex(position >= 0 ? position : 0);
        ids->setCurrentIndex(shown->currentIndex());
    }
}

void frmConfig::loadUnits(DataConnection &calvera)
{
    fillTwinLists(relations::units(calvera), m_storedUnit, cboUnidad, cboIdUnidad);
    m_unitsRead = true;
}

void frmConfig::loadCatalogues(DataConnection &calvera)
{
    fillTwinLists(relations::catalogues(calvera), m_storedCatalogue, cboCatalogo, cboIdCatalogo);
    m_cataloguesRead = true;
}

void frmConfig::Cargar_Pais()
{
    GridUnidDecl->clearSelection();
    GridUnidDecl->setRowCount(0);
    GridUnidDecl->setHorizontalHeaderLabels({QStringLiteral("NCM"), QStringLiteral("U.D.")});
    GridUnidDecl->setColumnWidth(0, twips::px(1400));

    const QVector<QPair<QString, QString>> rules = relations::declaredUnits(component(shared().gestor));
    GridUnidDecl->setRowCount(int(rules.size()));
    for (int row = 0; row < rules.size(); ++row) {
        GridUnidDecl->setItem(row, 0, new QTableWidgetItem(rules[row].first));
        GridUnidDecl->setItem(row, 1, new QTableWidgetItem(rules[row].second));
    }
    if (GridUnidDecl->rowCount() > 0)
        GridUnidDecl->setCurrentCell(0, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

static QString idAt(const QComboBox *ids, int position)
{
    return position >= 0 && position < ids->count() ? ids->itemText(position) : QString();
}

void frmConfig::GrabarySalir()
{
    SharedState &s = shared();
    const QString tolerance = txtPRECIO_RANGO->text();
    if (!vb::isNumeric(tolerance)) {
        interaction().message(QStringLiteral("Debe ingresar un valor numerico en Rango de Variacion"),
                              Interaction::Icon::Exclamation);
        txtPRECIO_RANGO->setFocus();
        return;
    }

    // A list that could not be read keeps the stored value rather than erasing it.
    s.INTDUN = m_unitsRead ? idAt(cboIdUnidad, cboUnidad->currentIndex()) : m_storedUnit;
    settings::write(QStringLiteral("INTDUN"), s.INTDUN);
    s.INTCAT = m_cataloguesRead ? idAt(cboIdCatalogo, cboCatalogo->currentIndex()) : m_storedCatalogue;
    settings::write(QStringLiteral("INTCAT"), s.INTCAT);
    s.PRCESM = txtEstadoMerc->text();
    settings::write(QStringLiteral("PRCESM"), s.PRCESM);
    s.AA_MARCA = txt_Marca->text();
    settings::write(QStringLiteral("AA_MARCA"), s.AA_MARCA);
    s.PRECIO_UNITARIO = vb::cdbl(vb::format(vb::cdbl(tolerance), QStringLiteral("00.00")));
    settings::write(QStringLiteral("PRECIO_UNITARIO"), tolerance);

    if (s.PRCESM.trimmed().isEmpty()) {
        interaction().message(QStringLiteral("Debe ingresar el Código de Estado de Mercaderia"),
                              Interaction::Icon::Exclamation);
        return;
    }
    accept();
}

void frmConfig::Eliminar_PaisRel()
{
    try {
        if (GridUnidDecl->rowCount() == 0) return;
        const int row = GridUnidDecl->currentRow();
        if (row < 0) return;
        const auto cell = [this, row](int column) {
            const QTableWidgetItem *item = GridUnidDecl->item(row, column);
            return item ? item->text() : QString();
        };
        if (relations::removeDeclaredUnit(component(shared().gestor), cell(0), cell(1)) > 0) {
            if (GridUnidDecl->rowCount() == 1)
                GridUnidDecl->setRowCount(0);
            else
                GridUnidDecl->removeRow(row);
        }
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmConfig.Eliminar_PaisRel]")),
            Interaction::Icon::Critical);
    }
}

void frmConfig::Agregar_PaisRel()
{
    SharedState &s = shared();
    s.sNewRuleNcm.clear();
    s.sNewRuleUnit.clear();
    {
        frmNewPais dialog(this);
        uiInteraction().runModal(dialog);
    }
    if (s.sNewRuleNcm.isEmpty() || s.sNewRuleUnit.isEmpty()) return;
    try {
        Cargar_Pais();
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmConfig.Agregar_PaisRel]")),
            Interaction::Icon::Critical);
    }
}

bool frmConfig::handleKey(QObject *watched, int key)
{
    if (key == Qt::Key_Escape) {
        cboUnidad->hidePopup();
        cboCatalogo->hidePopup();
        GrabarySalir();
        return true;
    }
    if (watched == GridUnidDecl) {
        if (key == Qt::Key_Delete) {
            Eliminar_PaisRel();
            return true;
        }
        if (key == Qt::Key_Insert) {
            Agregar_PaisRel();
            return true;
        }
    }
    return false;
}

bool frmConfig::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(watched, static_cast<QKeyEvent *>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void frmConfig::keyPressEvent(QKeyEvent *event)
{
    // Escape saves instead of QDialog's reject; Enter has no default button to press.
    if (handleKey(this, event->key())) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}

void frmConfig::closeEvent(QCloseEvent *event)
{
    // The close box saves as Escape does; a failed check keeps the window open.
    if (isVisible() && !m_closing) {
        m_closing = true;
        GrabarySalir();
        m_closing = false;
        if (isVisible()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}
