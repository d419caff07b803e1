// Every window and dialog, filled with the demo shipment, at the default font and at a font half as
// large again: no caption, label, button, heading or visible cell may need more room than it has,
// no control may run off its window, and no window may be larger than the screen's free area.
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "import/FieldLabels.h"
#include "shared/SharedState.h"
#include "ui/app/QtInteraction.h"
#include "ui/app/Translations.h"
#include "ui/app/frmMain.h"
#include "ui/config/frmConfig.h"
#include "ui/config/frmNewPais.h"
#include "ui/config/frmRelPais.h"
#include "ui/import/SheetPanel.h"
#include "import/SheetPreview.h"
#include "ui/import/frmCampos.h"
#include "ui/import/frmFilaTitulos.h"
#include "ui/import/frmHoja.h"
#include "ui/review/FrmCargaSufijos.h"
#include "ui/review/FrmHistorial.h"
#include "ui/review/FrmPosicion.h"
#include "ui/review/frmDEP.h"
#include "ui/review/frmModificar.h"
#include "ui/shipments/frmInterno.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOption>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace {

const QString demoPosition = QStringLiteral("8205.20.00.000A");

// With PLANEXO_SCREENSHOTS set to a folder, the test runs on the real display instead and saves
// the README's pictures of the windows at the default font there.
QString screenshotFolder()
{
    return qEnvironmentVariable("PLANEXO_SCREENSHOTS");
}

void screenshot(QWidget *window, bool wanted, const char *name)
{
    if (!wanted || screenshotFolder().isEmpty()) return;
    window->raise();
    window->activateWindow();
    QTest::qWait(400);
    const QString file =
        QDir(screenshotFolder()).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    QProcess::execute(QStringLiteral("/usr/bin/import"),
                      {QStringLiteral("-window"), QStringLiteral("0x%1").arg(window->winId(), 0, 16), file});
}

// The whole screen, as the operator sees it.
void screenshotScreen(bool wanted, const char *name)
{
    if (!wanted || screenshotFolder().isEmpty()) return;
    QTest::qWait(400);
    const QString file =
        QDir(screenshotFolder()).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    QProcess::execute(QStringLiteral("/usr/bin/import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), file});
}

QString plain(QString text)
{
    // A mnemonic's ampersand takes no room; a doubled one shows one.
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

int advance(const QFont &font, const QString &text)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

QString describe(const QWidget *w)
{
    QString name = w->objectName();
    for (const QWidget *p = w->parentWidget(); p && name.isEmpty(); p = p->parentWidget())
        if (!p->objectName().isEmpty()) name = QStringLiteral("(in %1)").arg(p->objectName());
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), name);
}

// Whether a widget shows on its window: it and its ancestors are visible and it lies inside the
// visible part of each ancestor (a stacked panel not shown, or a hidden twin list, does not count).
bool showing(const QWidget *w)
{
    return w->isVisible() && !w->visibleRegion().isEmpty();
}

class Inspector {
  public:
    explicit Inspector(QString context) : m_context(std::move(context)) {}

    void window(QWidget *window)
    {
        QApplication::processEvents();
        const QRect available = window->screen()->availableGeometry();
        if (window->width() > available.width() || window->height() > available.height())
            fault(window, QStringLiteral("window %1x%2 larger than the screen's %3x%4")
                              .arg(window->width())
                              .arg(window->height())
                              .arg(available.width())
                              .arg(available.height()));
        else if (!available.contains(window->geometry()))
            fault(window, QStringLiteral("window placed off the screen"));
        const auto widgets = window->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!showing(w) || w->window() != window) continue;
            ++m_inspected;
            placed(w);
            if (auto *label = qobject_cast<QLabel *>(w))
                this->label(label);
            else if (auto *button = qobject_cast<QPushButton *>(w))
                this->button(button);
            else if (auto *box = qobject_cast<QGroupBox *>(w))
                groupBox(box);
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                this->combo(combo);
            else if (auto *edit = qobject_cast<QLineEdit *>(w))
                lineEdit(edit);
            else if (auto *header = qobject_cast<QHeaderView *>(w))
                this->header(header);
            else if (auto *view = qobject_cast<QAbstractItemView *>(w))
                cells(view);
        }
    }

    QStringList faults() const { return m_faults; }
    int inspected() const { return m_inspected; }
    int cellsSeen() const { return m_cells; }

  private:
    void fault(const QWidget *w, const QString &what)
    {
        m_faults << m_context + QStringLiteral(": ") + describe(w) + QStringLiteral(": ") + what;
    }

    void tooNarrow(const QWidget *w, const QString &text, int need, int room)
    {
        fault(w, QStringLiteral("\"%1\" needs %2 px, has %3").arg(text).arg(need).arg(room));
    }

    // A control the program placed lies inside its parent.
    void placed(const QWidget *w)
    {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) return;
        const QWidget *parent = w->parentWidget();
        // What a scrolling area holds may be larger than the area.
        if (parent && qobject_cast<QAbstractScrollArea *>(parent->parentWidget()))
            return;
        if (parent && !w->isWindow() && !parent->rect().contains(w->geometry()))
            fault(w, QStringLiteral("runs off its parent (%1 in %2x%3)")
                         .arg(QStringLiteral("%1,%2 %3x%4")
                                  .arg(w->x())
                                  .arg(w->y())
                                  .arg(w->width())
                                  .arg(w->height()))
                         .arg(parent->width())
                         .arg(parent->height()));
    }

    void label(const QLabel *label)
    {
        if (label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText) return;
        QRect room = label->contentsRect();
        const int margin = label->margin();
        room.adjust(margin, margin, -margin, -margin);
        int indent = label->indent();
        if (indent < 0)
            indent = label->frameWidth() > 0
                         ? QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2
                         : 0;
        if (label->alignment() & (Qt::AlignLeft | Qt::AlignRight)) room.setWidth(room.width() - indent);
        const QString text = label->buddy() ? plain(label->text()) : label->text();
        const QFontMetrics metrics(label->font());
        const int need = metrics.horizontalAdvance(text);
        if (need > room.width())
            tooNarrow(label, text, need, room.width());
        else if (metrics.height() > room.height())
            fault(label, QStringLiteral("\"%1\" is %2 px high, has %3")
                             .arg(text)
                             .arg(metrics.height())
                             .arg(room.height()));
    }

    void button(const QPushButton *button)
    {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QString text = plain(button->text());
        const QFontMetrics metrics(button->font());
        // The style's own margin inside the contents, on either side.
        const int need = metrics.horizontalAdvance(text) +
                         2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button) / 2;
        if (need > room.width())
            tooNarrow(button, text, need, room.width());
        else if (metrics.height() > room.height())
            fault(button, QStringLiteral("\"%1\" is %2 px high, has %3")
                              .arg(text)
                              .arg(metrics.height())
                              .arg(room.height()));
    }

    void groupBox(const QGroupBox *box)
    {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = box->alignment();
        const QRect title =
            box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        if (title.right() >= box->width()) tooNarrow(box, box->title(), title.right() + 1, box->width());
    }

    void combo(const QComboBox *combo)
    {
        if (combo->currentText().isEmpty()) return;
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.currentText = combo->currentText();
        const QRect room =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        const int need = advance(combo->font(), combo->currentText());
        if (need > room.width()) tooNarrow(combo, combo->currentText(), need, room.width());
    }

    void lineEdit(const QLineEdit *edit)
    {
        if (edit->text().isEmpty() || edit->echoMode() != QLineEdit::Normal) return;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth =
            edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        option.midLineWidth = 0;
        option.state |= QStyle::State_Sunken;
        QRect room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const QMargins margins = edit->textMargins();
        // Two pixels of the control's own on either side of the text.
        room.adjust(margins.left() + 2, margins.top(), -margins.right() - 2, -margins.bottom());
        const int need = advance(edit->font(), edit->text());
        if (need > room.width()) tooNarrow(edit, edit->text(), need, room.width());
    }

    void header(const QHeaderView *header)
    {
        if (header->orientation() != Qt::Horizontal || !header->model()) return;
        const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            if (header->isSectionHidden(logical)) continue;
            const QString text = header->model()->headerData(logical, Qt::Horizontal).toString();
            const int need = advance(header->font(), text) + margin;
            if (need > header->sectionSize(logical))
                tooNarrow(header, text, need, header->sectionSize(logical));
        }
    }

    // Every cell the view shows in full or in part holds its text.
    void cells(const QAbstractItemView *view)
    {
        const QAbstractItemModel *model = view->model();
        if (!model) return;
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        const QRect viewport = view->viewport()->rect();
        for (int row = 0; row < model->rowCount(); ++row) {
            for (int column = 0; column < model->columnCount(); ++column) {
                const QModelIndex index = model->index(row, column);
                const QRect cell = view->visualRect(index);
                if (!cell.isValid() || !cell.intersects(viewport)) continue;
                const QString text = index.data(Qt::DisplayRole).toString();
                if (text.isEmpty()) continue;
                ++m_cells;
                QFont font = view->font();
                const QVariant cellFont = index.data(Qt::FontRole);
                if (cellFont.canConvert<QFont>()) font = cellFont.value<QFont>().resolve(font);
                const int need = advance(font, text) + margin;
                if (need > cell.width())
                    tooNarrow(view, QStringLiteral("%1 [%2,%3]").arg(text).arg(row).arg(column), need,
                              cell.width());
            }
        }
    }

    QString m_context;
    QStringList m_faults;
    int m_inspected = 0;
    int m_cells = 0;
};

QWidget *topLevel(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

// Whether some visible cell of a view shows the text in full.
bool showsText(const QAbstractItemView *view, const QString &text)
{
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            if (model->index(row, column).data().toString() == text) return true;
    return false;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

    QFont m_baseFont;

  private slots:
    void initTestCase()
    {
        m_baseFont = QApplication::font();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        // The screen the test sets up below: a common laptop's.
        if (screenshotFolder().isEmpty())
            QCOMPARE(available.size(), QSize(1366, 768));
        else
            installQtTranslations(QLocale::system());
    }

    void everyWindow_data()
    {
        QTest::addColumn<double>("factor");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("font 1.5 times larger") << 1.5;
    }

    // The demo invoice taken from step 1 to the record editor, every window inspected on the way.
    void everyWindow()
    {
        QFETCH(double, factor);
        QFont font = m_baseFont;
        font.setPointSizeF(m_baseFont.pointSizeF() * factor);
        QApplication::setFont(font);
        struct RestoreFont {
            QFont base;
            ~RestoreFont() { QApplication::setFont(base); }
        } restore{m_baseFont};

        TestEnv::useComma();
        TestEnv env;
        ScriptedInteraction script;
        Inspector inspect(QString::fromLatin1(QTest::currentDataTag()));
        const bool shots = factor == 1.0;

        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        inspect.window(&w); // step 1: the shipment list
        // The main window fits the screen as it is: its buttons need no scrolling.
        QVERIFY(!w.findChild<QScrollArea *>(QStringLiteral("twipsScrollArea")));
        const QWidget *next = w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente"));
        QVERIFY(w.rect().contains(QRect(next->mapTo(&w, QPoint()), next->size())));
        screenshot(&w, shots, "step1");

        bool rulesShown = false;
        script.expectModal(QStringLiteral("frmConfig"), [&](QDialog &d) {
            auto *unit = d.findChild<QComboBox *>(QStringLiteral("cboUnidad"));
            unit->setCurrentIndex(unit->findText(QStringLiteral("UNIDAD")));
            auto *catalogue = d.findChild<QComboBox *>(QStringLiteral("cboCatalogo"));
            catalogue->setCurrentIndex(catalogue->findText(QStringLiteral("[001] FERRETERIA DEL SUR S.A.")));
            QTest::keyClicks(d.findChild<QLineEdit *>(QStringLiteral("txtEstadoMerc")), QStringLiteral("1"));
            auto *brand = d.findChild<QLineEdit *>(QStringLiteral("txt_Marca"));
            QTest::keyClicks(brand, QStringLiteral("GENERICA"));
            d.show();
            inspect.window(&d);
            screenshot(&d, shots, "config");
            auto *rules = d.findChild<QTableView *>(QStringLiteral("GridUnidDecl"));
            rulesShown = showsText(rules, QStringLiteral("6403.99.90.000X"));
            QTest::keyClick(brand, Qt::Key_Escape);
            return d.result();
        });
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdConfig")), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QVERIFY(rulesShown); // the demo rule's full position was inspected in the rules grid

        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        script.expectOpenFile(TestEnv::workbookFilter(),
                              QStringLiteral(PLANEXO_TEST_DATA_DIR "/../../db/demo/factura_demo.xlsx"));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
        VERIFY_SCRIPT(script);

        QTableView *view = w.fram2()->grid();
        SheetGridModel &grid = w.fram2()->model();
        auto mapColumn = [&](int column, const QString &label) {
            view->setCurrentIndex(grid.index(2, column));
            script.expectModal(QStringLiteral("frmCampos"), [&, label](QDialog &d) {
                d.show();
                inspect.window(&d);
                auto *list = d.findChild<QComboBox *>(QStringLiteral("cboCampos"));
                list->setCurrentIndex(list->findText(label));
                QTest::keyClick(list, Qt::Key_Return);
                return d.result();
            });
            QTest::keyClick(view, Qt::Key_F1);
        };
        mapColumn(0, fieldlabels::CodArticulo);
        mapColumn(1, fieldlabels::DescrModelo);
        mapColumn(2, fieldlabels::Cantidad);
        mapColumn(4, fieldlabels::PTotal);
        mapColumn(5, fieldlabels::Origen);
        mapColumn(6, fieldlabels::KgNeto);
        VERIFY_SCRIPT(script);
        inspect.window(&w); // step 2: the mapped sheet
        if (shots && !screenshotFolder().isEmpty()) view->setCurrentIndex(grid.index(2, 0));
        screenshot(&w, shots, "mapped");
        if (shots && !screenshotFolder().isEmpty()) {
            // Qt's own file dialog, as "Examinar" opens it, in the user's language.
            QTimer::singleShot(800, [] {
                if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                    dialog->resize(860, 480);
                    if (auto *details = dialog->findChild<QTreeView *>())
                        for (int c = 0; c < details->model()->columnCount(details->rootIndex()); ++c)
                            details->resizeColumnToContents(c);
                    screenshot(dialog, true, "examinar");
                    dialog->reject();
                }
            });
            QtInteraction::instance().setParentWidget(&w);
            QtInteraction::instance().openFile(
                TestEnv::workbookFilter(),
                QStringLiteral(PLANEXO_TEST_DATA_DIR "/../../db/demo/factura_demo.xlsx"));
        }

        script.expectMessage(QStringLiteral("Pais REP. POPULAR CHINA no reconocido"),
                             Interaction::Icon::Critical);
        script.expectModal(QStringLiteral("frmRelPais"), [&](QDialog &d) {
            auto *country = d.findChild<QComboBox *>(QStringLiteral("cboPais"));
            country->setCurrentIndex(country->findText(QStringLiteral("CHINA (310)")));
            d.show();
            inspect.window(&d);
            QTest::keyClick(d.findChild<QLineEdit *>(QStringLiteral("txtValor")), Qt::Key_F11);
            return d.result();
        });
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        inspect.window(&w); // step 3: the results
        screenshot(&w, shots, "results");

        // The control printout's preview, with its toolbar.
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM3_cmdRepOK")), Qt::LeftButton);
        QWidget *preview = topLevel(QStringLiteral("Reporte"));
        QVERIFY(preview);
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        inspect.window(preview);
        screenshot(preview, shots, "preview");
        preview->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Both record lists, then the editor and its position lookup over the list's first error.
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM3_cmdRegOk")), Qt::LeftButton);
        auto *okList = qobject_cast<frmDEP *>(topLevel(QStringLiteral("frmDEP")));
        QVERIFY(okList);
        QVERIFY(okList->list()->topLevelItemCount() > 0);
        inspect.window(okList);
        screenshot(okList, shots, "records");
        okList->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM3_cmdRegErr")), Qt::LeftButton);
        auto *errors = qobject_cast<frmDEP *>(topLevel(QStringLiteral("frmDEP")));
        QVERIFY(errors);
        QVERIFY(errors->list()->topLevelItemCount() >= 3);
        inspect.window(errors);

        // A full position in the list and in the editor.
        errors->list()->topLevelItem(0)->setText(frmDEP::colPosicion, demoPosition);
        inspect.window(errors);
        frmModificar editor(errors);
        editor.setTag(errors->list()->topLevelItem(0)->text(frmDEP::colOrden));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto *position = editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM"));
        position->setText(demoPosition);
        inspect.window(&editor);

        position->setText(QStringLiteral("8205.20"));
        FrmPosicion lookup(position, &editor);
        lookup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&lookup));
        auto *positions = lookup.findChild<QListWidget *>(QStringLiteral("LstNCM"));
        QVERIFY(positions);
        positions->addItem(demoPosition);
        inspect.window(&lookup);

        FrmCargaSufijos suffixes(&editor);
        suffixes.CargarOpciones({QStringLiteral("AA(0) - MARCA"), QStringLiteral("AB(0) - MODELO"),
                                 QStringLiteral("ZZ(0) - OTROS, EXCEPTO LOS DE USO PROFESIONAL")});
        suffixes.show();
        inspect.window(&suffixes);

        // The group correction over the first three errors, and a record's history.
        frmModificar group(errors);
        group.setTags({errors->list()->topLevelItem(0)->text(frmDEP::colOrden),
                       errors->list()->topLevelItem(1)->text(frmDEP::colOrden),
                       errors->list()->topLevelItem(2)->text(frmDEP::colOrden)});
        group.show();
        QVERIFY(QTest::qWaitForWindowExposed(&group));
        inspect.window(&group);
        history::Entry change{QStringLiteral("DEMO"), 1, QStringLiteral("DESCRIPCION_MARIA"),
                              QStringLiteral("MARTILLO DE CARPINTERO MANGO DE MADERA"),
                              QStringLiteral("MARTILLO CARPINTERO 500 G MANGO DE FIBRA"), QStringLiteral("TRANSFERENCIA"),
                              QStringLiteral("operador.aduana"), QStringLiteral("PUESTO-ADUANA-03"),
                              QStringLiteral("2026-12-07 23:59:59")};
        FrmHistorial history(QStringLiteral("Registro 0001 MT-500"), {change, change}, &editor);
        history.show();
        inspect.window(&history);

        // The dialogs of the configuration and of the shipment list.
        frmNewPais newRule(&w);
        newRule.show();
        inspect.window(&newRule);
        frmInterno shipment(&w);
        shipment.show();
        inspect.window(&shipment);

        // The heading-row and worksheet choosers of step 2, over suppliers' invoices.
        frmFilaTitulos headingRow(
            sheetpreview::read(QStringLiteral(PLANEXO_TEST_DATA_DIR "/layout_letterhead.xlsx"), 0), 9, 1, &w);
        headingRow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&headingRow));
        inspect.window(&headingRow);
        screenshot(&headingRow, shots, "fila_titulos");
        headingRow.close();
        frmHoja sheets(sheetpreview::sheets(QStringLiteral(PLANEXO_TEST_DATA_DIR "/layout_hidden_sheet.xlsx")), 1, &w);
        sheets.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheets));
        inspect.window(&sheets);
        screenshot(&sheets, shots, "hoja_libro");
        sheets.close();
        // A table right of column A: the chooser selects the cell of its first heading.
        frmFilaTitulos headingCell(
            sheetpreview::read(QStringLiteral(PLANEXO_TEST_DATA_DIR "/layout_b4.xlsx"), 0), 4, 2, &w);
        headingCell.show();
        QVERIFY(QTest::qWaitForWindowExposed(&headingCell));
        inspect.window(&headingCell);
        QCOMPARE(headingCell.columnaSeleccionada(), 2);
        headingCell.close();

        errors->close();
        QVERIFY(inspect.inspected() > 100);
        QVERIFY(inspect.cellsSeen() > 50);
        for (const QString &fault : inspect.faults())
            qWarning().noquote() << fault;
        QVERIFY2(inspect.faults().isEmpty(), qPrintable(QStringLiteral("%1 texts without room").arg(inspect.faults().size())));
    }

    // Step 2 with items left below a blank row: the hint line says so in full, in the room it has.
    void blankRowWarningFits()
    {
        TestEnv::useComma();
        TestEnv env;
        ScriptedInteraction script;
        Inspector inspect(QStringLiteral("blank row"));
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
        script.expectOpenFile(TestEnv::workbookFilter(),
                              QStringLiteral(PLANEXO_TEST_DATA_DIR "/layout_blank_row.xlsx"));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QVERIFY(w.findChild<QLabel *>(QStringLiteral("Label13"))
                    ->text()
                    .contains(QStringLiteral(
                        "Debajo de la fila vacía 8 hay 5 filas con datos que no se cargaron")));
        w.fram2()->grid()->setFocus();
        inspect.window(&w);
        screenshotScreen(!screenshotFolder().isEmpty(), "filas_sin_cargar");
        // Over the same window, the chooser selecting the first heading's cell of a table at B4.
        frmFilaTitulos headingCell(sheetpreview::read(QStringLiteral(PLANEXO_TEST_DATA_DIR "/layout_b4.xlsx"), 0), 4, 2,
                                   &w);
        headingCell.show();
        QVERIFY(QTest::qWaitForWindowExposed(&headingCell));
        screenshotScreen(!screenshotFolder().isEmpty(), "fila_titulos_celda");
        headingCell.close();
        for (const QString &fault : inspect.faults())
            qWarning().noquote() << fault;
        QVERIFY(inspect.faults().isEmpty());
    }

    // Dialogs open centred on their parent window.
    void dialogsCentredOnParent()
    {
        TestEnv env;
        env.connect();
        QWidget parent;
        parent.setGeometry(200, 150, 900, 500);
        parent.show();
        frmInterno dialog(&parent);
        QCOMPARE(dialog.frameGeometry().center(), parent.frameGeometry().center());
    }
};

int main(int argc, char **argv)
{
    // An offscreen screen of a common laptop's size, so that "fits the screen" means what it says.
#ifdef Q_OS_WIN
    // The platform's arguments are separated by colons, which a drive letter would cut: the file
    // goes under the working folder and is named relative to it.
    QTemporaryDir dir(QStringLiteral("test_layout-XXXXXX"));
    const QString config = QDir::current().relativeFilePath(dir.filePath(QStringLiteral("screen.json")));
#else
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
#endif
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return 2;
    file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,
                                "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    if (screenshotFolder().isEmpty())
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
    QApplication app(argc, argv);
    TestLayout test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_layout.moc"
