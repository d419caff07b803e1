#include "ui/review/FrmHistorial.h"
#include "ui/app/Twips.h"

#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "review/RecordEdit.h"
#include "shared/SharedState.h"
#include "ui/app/QtInteraction.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

FrmHistorial::FrmHistorial(const QString &caption, const QVector<history::Entry> &entries, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmHistorial"));
    setWindowTitle(QStringLiteral("Historial"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(caption, this);
    title->setObjectName(QStringLiteral("lbHistorial"));
    // Never lower than its text, whatever the platform's font measures.
    title->setMinimumHeight(title->fontMetrics().height());
    layout->addWidget(title);

    lstHistorial = new QTreeWidget(this);
    lstHistorial->setObjectName(QStringLiteral("lstHistorial"));
    lstHistorial->setRootIsDecorated(false);
    lstHistorial->setUniformRowHeights(true);
    lstHistorial->setAllColumnsShowFocus(true);
    lstHistorial->setHeaderLabels({QStringLiteral("Fecha"), QStringLiteral("Columna"), QStringLiteral("Antes"),
                                   QStringLiteral("Después"), QStringLiteral("Origen"), QStringLiteral("Usuario"),
                                   QStringLiteral("Puesto")});
    title->setBuddy(lstHistorial);
    QList<QTreeWidgetItem *> items;
    for (const history::Entry &e : entries)
        items << new QTreeWidgetItem(QStringList{e.when, recordedit::fieldCaption(e.column), e.before,
                                                 e.after, e.origin, e.user, e.workstation});
    lstHistorial->addTopLevelItems(items);
    if (!items.isEmpty()) lstHistorial->setCurrentItem(items.first());
    // Values run from a unit code to a whole suffix text: each column as wide as its longest text,
    // never narrower than its usual width; the list scrolls sideways on a narrow screen.
    const int widths[columnCount] = {2100, 2000, 2400, 2400, 1600, 1400, 1600};
    int total = 0;
    for (int c = 0; c < columnCount; ++c) {
        lstHistorial->resizeColumnToContents(c);
        const int width = qMax(twips::px(widths[c]), lstHistorial->columnWidth(c) + twips::px(120));
        lstHistorial->setColumnWidth(c, width);
        total += width;
    }
    layout->addWidget(lstHistorial);
    resize(total + twips::px(600), twips::px(5000));
    twips::fitToScreen(this);
}

void FrmHistorial::showRecord(QWidget *parent, const QString &tag, const QString &article,
                              const QString &section)
{
    if (tag.isEmpty()) return;
    SharedState &s = shared();
    QVector<history::Entry> entries;
    try {
        entries = history::forRecord(*s.gestor, s.sInternoActual, int(vb::cdbl(tag)));
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, section), Interaction::Icon::Critical);
        return;
    }
    FrmHistorial window(QStringLiteral("Registro ") + tag + QStringLiteral(" ") + article, entries, parent);
    uiInteraction().runModal(window);
}
