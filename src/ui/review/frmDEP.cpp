#include "ui/review/frmDEP.h"
#include "ui/app/Twips.h"

#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <memory>
#include <optional>

namespace {

struct ColumnSpec {
    const char16_t *header;
    int width; // twips
    const char *field;
};

const ColumnSpec columns[frmDEP::columnCount] = {
    {u"Orden", 650, "ARTORD"},       {u"Articulo", 1800, "ARTNRO"}, {u"Descripción", 3500, "ARTDSC"},
    {u"Origen", 600, "ARTORG"},      {u"Cantidad", 1440, "ARTCAN"}, {u"Unitario", 1440, "ARTUNI"},
    {u"Total", 1440, "ARTTOT"},      {u"Posición", 1600, "PRCNCM"}, {u"Estado", 800, "PRCEST"},
    {u"CRC", 1440, "PRCCRC"},
};

const QColor darkRed(128, 0, 0);
const QColor darkBlue(0, 0, 128);
const QColor teal(0, 128, 128);

} // namespace

frmDEP::frmDEP(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmDEP"));
    setWindowTitle(QStringLiteral("Resultados"));
    // Closing unloads the window: the next list button builds and fills a new one.
    setAttribute(Qt::WA_DeleteOnClose);

    lstDEP = new QTreeWidget(this);
    lstDEP->setObjectName(QStringLiteral("lstDEP"));
    lstDEP->setAccessibleName(QStringLiteral("Resultados"));
    lstDEP->setColumnCount(columnCount);
    lstDEP->setRootIsDecorated(false);
    lstDEP->setUniformRowHeights(true);
    lstDEP->setAllColumnsShowFocus(true);
    lstDEP->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstDEP->setSelectionMode(QAbstractItemView::SingleSelection);
    lstDEP->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstDEP->header()->setStretchLastSection(false);
    lstDEP->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QTreeWidgetItem *header = lstDEP->headerItem();
    for (int c = 0; c < columnCount; ++c) {
        header->setText(c, QString::fromUtf16(columns[c].header));
        header->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
        lstDEP->setColumnWidth(c, twips::px(columns[c].width));
    }
    lstDEP->installEventFilter(this);
    connect(lstDEP, &QTreeWidget::itemDoubleClicked, this, [this] { AbrirRegistro(); });

    // Wide enough for every column at its width.
    int width = 0;
    for (const ColumnSpec &column : columns)
        width += twips::px(column.width);
    resize(width + twips::px(450), twips::px(6300));
    layoutList();
    twips::fitToScreen(this);
}

void frmDEP::Form_Load()
{
    m_loaded = true;
    reload();
}

void frmDEP::showEvent(QShowEvent *event)
{
    // Showing an open window only brings it forward; the list is filled once, when it loads.
    if (!m_loaded)
        Form_Load();
    QWidget::showEvent(event);
}

void frmDEP::reload()
{
    if (shared().iModoLista == 1)
        CargarRegConErrores();
    else
        CargarRegOK();
}

void frmDEP::CargarRegConErrores()
{
    fill(Mode::Errors);
}

void frmDEP::CargarRegOK()
{
    fill(Mode::Ok);
}

void frmDEP::fill(Mode mode)
{
    SharedState &s = shared();
    lstDEP->clear();
    QList<QTreeWidgetItem *> items;
    std::optional<PlanexoError> failure;
    Recordset rs;
    try {
        if (mode == Mode::Errors)
            s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                            QStringLiteral(" and (PRCEST = '' or PRCEST IS NULL or PRCCRC <> 'OK' or PRCCRC is null)"
                                           " order by PRCEST,PRCCRC,ARTORD");
        else
            s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                            QStringLiteral(" and  PRCCRC = 'OK' order by ARTORD");
        s.gestor->CrearRs(rs);
        while (!rs.Eof()) {
            auto item = std::make_unique<QTreeWidgetItem>();
            item->setText(colOrden, vb::format(rs.Fields(QStringLiteral("ARTORD")), QStringLiteral("0000")));
            for (int c = colArticulo; c < columnCount; ++c)
                item->setText(c, s.fmt->EsNull(rs.Fields(QString::fromLatin1(columns[c].field))));
            for (int c = 0; c < columnCount; ++c)
                item->setTextAlignment(c, Qt::AlignLeft | Qt::AlignVCenter);
            const QString state = item->text(colEstado);
            std::optional<QColor> colour;
            if (mode == Mode::Errors)
                colour = state.isEmpty() ? darkRed : darkBlue;
            else if (state == QLatin1String("M"))
                colour = teal;
            if (colour) {
                for (int c = 0; c < columnCount; ++c)
                    item->setForeground(c, *colour);
            }
            items << item.release();
            rs.MoveNext();
        }
    } catch (const PlanexoError &e) {
        failure = e;
    }
    rs.Close();
    // The rows read before a failure stay listed.
    lstDEP->addTopLevelItems(items);
    if (!items.isEmpty())
        lstDEP->setCurrentItem(items.first());
    if (failure)
        interaction().message(standardMessage(*failure, QStringLiteral(" - seccion [Planexo.frmDEP.]")),
                              Interaction::Icon::None);
}

void frmDEP::AbrirRegistro()
{
    if (lstDEP->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem *item = lstDEP->currentItem();
    if (!item)
        item = lstDEP->topLevelItem(0);
    SharedState &s = shared();
    s.sRetorno.clear();
    if (editor)
        editor(item->text(colOrden));
    if (s.sRetorno == QLatin1String("OK"))
        reload();
}

bool frmDEP::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstDEP && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AbrirRegistro();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDEP::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutList();
}

void frmDEP::layoutList()
{
    // 40 twips from the top and left, 90 twips less than the inner width and height; a window
    // smaller than that leaves the list empty-sized rather than negative.
    lstDEP->setGeometry(twips::px(40), twips::px(40), qMax(0, width() - twips::px(90)),
                        qMax(0, height() - twips::px(90)));
}
