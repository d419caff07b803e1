#include "ui/app/frmMain.h"
#include "ui/app/Twips.h"

#include "Version.h"
#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "import/SavedMapping.h"
#include "process/ProcessDriver.h"
#include "shared/SharedState.h"
#include "shared/Startup.h"
#include "shipments/Shipments.h"
#include "transfer/TransferDriver.h"
#include "ui/app/QtInteraction.h"
#include "ui/config/frmConfig.h"
#include "ui/import/SheetPanel.h"
#include "ui/process/ResultsPanel.h"
#include "ui/shipments/ShipmentList.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QScreen>
#include <QTreeWidget>

namespace {
// The tallest step panel without a list or grid to shrink: the results, with a margin.
constexpr int kResultsPanelHeight = 3330;
} // namespace

frmMain::frmMain(const QString &programFolder, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_programFolder(programFolder)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Planexo"));
    setFixedSize(twips::px(9795), twips::px(6975));

    Label1 = new QLabel(QStringLiteral("PLANEXO GENERICO (OSTROVA)"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(0, 0, width(), twips::px(660));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setIndent(14);
    Label1->setAutoFillBackground(true);
    QPalette banner = Label1->palette();
    banner.setColor(QPalette::Window, QColor(0, 51, 102));
    banner.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(banner);
    QFont bannerFont = Label1->font();
    bannerFont.setPointSize(bannerFont.pointSize() + 5);
    bannerFont.setBold(true);
    Label1->setFont(bannerFont);

    lbPasoNro = new QLabel(QStringLiteral("Paso 1"), this);
    lbPasoNro->setObjectName(QStringLiteral("lbPasoNro"));
    lbPasoNro->setGeometry(twips::rect(180, 750, 1050, 330));
    QFont stepFont = lbPasoNro->font();
    stepFont.setBold(true);
    stepFont.setPointSize(stepFont.pointSize() + 2);
    lbPasoNro->setFont(stepFont);
    lbPasoDesc = new QLabel(QStringLiteral("Seleccione el interno a procesar"), this);
    lbPasoDesc->setObjectName(QStringLiteral("lbPasoDesc"));
    lbPasoDesc->setGeometry(twips::rect(1290, 750, 8100, 330));

    m_frames = new QStackedWidget(this);
    m_frames->setGeometry(twips::rect(120, 1140, 9555, 4770));
    m_frames->setFrameShape(QFrame::StyledPanel);
    FRAM1 = new ShipmentList(m_frames);
    FRAM2 = new SheetPanel(m_frames);
    FRAM3 = new ResultsPanel(m_frames);
    m_frames->addWidget(FRAM1);
    m_frames->addWidget(FRAM2);
    m_frames->addWidget(FRAM3);
    connect(FRAM2, &SheetPanel::workbookLoaded, this, &frmMain::onWorkbookLoaded);

    Main_lbMensaje = new QLabel(this);
    Main_lbMensaje->setObjectName(QStringLiteral("Main_lbMensaje"));
    Main_lbMensaje->setGeometry(twips::rect(180, 5970, 9450, 270));
    // Read out as it stands; what it is, is its description.
    Main_lbMensaje->setAccessibleDescription(QStringLiteral("Mensaje"));
    Main_PrB = new QProgressBar(this);
    Main_PrB->setObjectName(QStringLiteral("Main_PrB"));
    Main_PrB->setGeometry(twips::rect(180, 6270, 9450, 150));
    Main_PrB->setTextVisible(false);
    Main_PrB->setAccessibleName(QStringLiteral("Progreso"));
    Main_PrB->setVisible(false);

    lbVersion = new QLabel(QStringLiteral("Version"), this);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    lbVersion->setGeometry(twips::rect(180, 6540, 4950, 300));
    QFont small = lbVersion->font();
    small.setPointSize(std::max(small.pointSize() - 1, 6));
    lbVersion->setFont(small);

    cmdConfig = new QPushButton(QStringLiteral("Configur."), this);
    cmdConfig->setObjectName(QStringLiteral("cmdConfig"));
    cmdConfig->setGeometry(twips::rect(5280, 6480, 1380, 390));
    Command4 = new QPushButton(QStringLiteral("Cancelar"), this);
    Command4->setObjectName(QStringLiteral("Command4"));
    Command4->setGeometry(twips::rect(6750, 6480, 1380, 390));
    cmdSiguiente = new QPushButton(QStringLiteral("Siguiente >"), this);
    cmdSiguiente->setObjectName(QStringLiteral("cmdSiguiente"));
    cmdSiguiente->setGeometry(twips::rect(8220, 6480, 1440, 390));
    cmdSiguiente->setProperty("Tag", QString());

    connect(cmdSiguiente, &QPushButton::clicked, this, &frmMain::MAIN_CambiarPaso);
    connect(Command4, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdConfig, &QPushButton::clicked, this, &frmMain::cmdConfig_Click);

    // On a screen too short for the designed height (a large font on a small screen) the step
    // panels give back height from their list and grid, down to what the results panel needs, so
    // that the whole window and its buttons stay in view.
    const int overflow = height() - twips::roomOnScreen(this).height();
    const int spare = m_frames->height() - twips::px(kResultsPanelHeight);
    if (const int taken = std::min(overflow, spare); taken > 0) {
        twips::shrinkHeight(m_frames, taken);
        twips::shrinkHeight(FRAM1->list(), taken);
        twips::shrinkHeight(FRAM2->grid(), taken);
        setFixedSize(width(), height() - taken);
    }
    twips::fitToScreen(this);
}

QString frmMain::siguienteTag() const
{
    return cmdSiguiente->property("Tag").toString();
}

void frmMain::Form_Load()
{
    SharedState &s = shared();
    int step = 10;
    try {
        step = 60;
        lbVersion->setText(QStringLiteral("Versión: %1.%2.%3 - %4")
                               .arg(planexo::version::major)
                               .arg(planexo::version::minor)
                               .arg(planexo::version::revision)
                               .arg(QString::fromUtf8(planexo::version::description)));
        startup::openComponents(s, m_programFolder, step);
        step = 100;
        FRAM1->FRAM1_CargarInternos();
        startup::readDefaults(s, step);
        step = 150;
        s.iPaso = 1;
    } catch (const PlanexoError &e) {
        interaction().message(e.description() + QStringLiteral("\r\n\r\n") + QString::number(e.number()) +
                                  QStringLiteral(" - seccion[Planexo.frmMain.Form_Load Linea ") +
                                  QString::number(step) + QStringLiteral(" ]::") + e.source(),
                              Interaction::Icon::None);
    }
}

void frmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Start-up could not focus the list while the window was hidden.
    if (shared().iPaso == 1 && m_frames->currentWidget() == FRAM1)
        FRAM1->list()->setFocus();
}

void frmMain::showStep(QWidget *frame, const QString &number, const QString &description)
{
    m_frames->currentWidget()->setEnabled(false);
    frame->setEnabled(true);
    m_frames->setCurrentWidget(frame);
    lbPasoNro->setText(number);
    lbPasoDesc->setText(description);
}

void frmMain::MAIN_CambiarPaso()
{
    SharedState &s = shared();
    try {
        switch (s.iPaso) {
        case 1: {
            if (FRAM1->list()->topLevelItemCount() == 0) {
                interaction().message(
                    QStringLiteral("Debe seleccionar un interno para continuar, presione [ INSERT ] para crear uno."),
                    Interaction::Icon::Exclamation);
                return;
            }
            s.iPaso = 2;
            s.sInternoActual = FRAM1->selectedShipment();
            showStep(FRAM2, QStringLiteral("Paso 2"), QStringLiteral("Abrir archivo excel para procesar"));
            cmdSiguiente->setEnabled(false);
            if (const double count = shipments::articleCount(s, s.sInternoActual); count >= 0) {
                if (count > 0) {
                    cmdSiguiente->setEnabled(true);
                    Main_lbMensaje->setText(
                        QStringLiteral("Este interno contiene registros haga click en SIGUIENTE, para depurar."));
                    cmdSiguiente->setProperty("Tag", QStringLiteral("OK"));
                } else {
                    cmdSiguiente->setProperty("Tag", QString());
                }
            }
            break;
        }
        case 2: {
            Main_lbMensaje->clear();
            bool processed = false;
            if (siguienteTag() != QLatin1String("OK")) {
                if (!FRAM2->FRAM2_VerificarDatos())
                    return;
                if (!FRAM2_GuardarDatosToBase())
                    return;
                processed = true;
            }
            showStep(FRAM3, QStringLiteral("Paso 3"), QStringLiteral("Depuración de Datos procesadoss"));
            FRAM3->FRAM3_CargarEstadisticas();
            // Items left below a blank row are said again once the process has stored the rest.
            if (const QString left = FRAM2->filasSinCargar(); processed && !left.isEmpty())
                Main_lbMensaje->setText(left);
            cmdSiguiente->setText(QStringLiteral("Transferir"));
            QFont bold = cmdSiguiente->font();
            bold.setBold(true);
            cmdSiguiente->setFont(bold);
            s.iPaso = 3;
            break;
        }
        case 3:
            FRM3_Tranferir();
            break;
        default:
            break;
        }
    } catch (const PlanexoError &e) {
        interaction().message(e.description() + QStringLiteral("\r\n\r\n") + QString::number(e.number()),
                              Interaction::Icon::None);
    }
}

bool frmMain::FRAM2_GuardarDatosToBase()
{
    ProcessDriver driver(shared(), *this);
    if (!driver.FRAM2_GuardarDatosToBase(FRAM2->model()))
        return false;
    try {
        savedmapping::remember(*shared().gestor, FRAM2->model(), FRAM2->plan());
    } catch (const PlanexoError &) {
        // A mapping that could not be remembered is mapped again next time; the process stands.
    }
    return true;
}

void frmMain::FRM3_Tranferir()
{
    TransferDriver driver(shared(), *this);
    driver.FRM3_Tranferir();
}

void frmMain::onWorkbookLoaded()
{
    cmdSiguiente->setEnabled(true);
    cmdSiguiente->setProperty("Tag", QString());
}

void frmMain::cmdConfig_Click()
{
    frmConfig dialog(this);
    uiInteraction().runModal(dialog);
}

void frmMain::setCaption(const QString &caption)
{
    Main_lbMensaje->setText(caption);
    Main_lbMensaje->repaint();
}

QString frmMain::caption() const
{
    return Main_lbMensaje->text();
}

void frmMain::setMinimum(int minimum)
{
    Main_PrB->setMinimum(minimum);
}

void frmMain::setMaximum(int maximum)
{
    Main_PrB->setMaximum(maximum);
}

int frmMain::maximum() const
{
    return Main_PrB->maximum();
}

void frmMain::setValue(int value)
{
    Main_PrB->setValue(value);
    Main_PrB->repaint();
}

int frmMain::value() const
{
    return Main_PrB->value();
}

void frmMain::setBarVisible(bool visible)
{
    Main_PrB->setVisible(visible);
}

bool frmMain::barVisible() const
{
    return !Main_PrB->isHidden();
}
