#pragma once

#include "ui/import/SheetGridStyle.h"

#include "import/SavedMapping.h"

#include <QFrame>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// Step 2 of the wizard (FRAM2): choosing the workbook, the preview grid and the column mapping.
class SheetPanel : public QFrame {
    Q_OBJECT
public:
    explicit SheetPanel(QWidget *parent = nullptr);

    SheetGridModel &model() { return m_model; }
    const SheetGridModel &model() const { return m_model; }
    QTableView *grid() const { return FRAM2_Grid; }

    bool Seleccionar_Archivo_XLS();
    bool lf_LevantarExcel(const QString &p_Archivo);
    void FRAM2_EstablecerCampo();
    // Checks the mapping row; false after showing the first failing check's message.
    bool FRAM2_VerificarDatos();

signals:
    // A workbook was loaded into the grid: the wizard enables its next-step button and empties
    // its already-processed mark.
    void workbookLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The mapping remembered for the loaded sheet's headings, which F2 applies.
    const std::optional<savedmapping::Mapping> &rememberedMapping() const { return m_remembered; }

private:
    void FRAM2_CmdProcesar_Click();
    void buscarMapeoRecordado();
    void aplicarMapeoRecordado();

    SheetGridStyle m_model;
    QLabel *Label4 = nullptr;
    QLineEdit *FRAM2_TxtArchivo = nullptr;
    QPushButton *FRAM2_CmdProcesar = nullptr;
    QTableView *FRAM2_Grid = nullptr;
    QLabel *Label13 = nullptr;
    std::optional<savedmapping::Mapping> m_remembered;
};
