#include "PositionCheck.h"

#include "ProcessRun.h"
#include "data/DataConnection.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/clPRINC.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"

#include <QVector>
#include <memory>
#include <utility>

QString PositionCheck::gradeClause(int result)
{
    switch (result) {
    case 0:
        return QStringLiteral("PRCCRC = 'OK' ");
    case 1:
        return QStringLiteral("PRCCRC = 'POS', PRCEST = 'E' ");
    case 2:
        return QStringLiteral("PRCCRC = 'SUF', PRCEST = 'E' ");
    default:
        return QStringLiteral("PRCCRC = 'ERR', PRCEST = 'E' ");
    }
}

namespace {

// The grade updates, written set-wise when no observer watches the statements: up to kRows
// consecutive rows in two updates (the rows graded OK, whose PRCEST stays, and the others) that give
// each row what its own update would. They run inside a savepoint: when one fails, the rows are
// written again one by one, so that the rows before the failing row keep their grades and the error
// report shows that row's own update.
class Grades {
  public:
    static constexpr int kRows = 500;

    Grades(ProcessRun &run, DataConnection &db, const QString &shipment)
        : m_run(run), m_db(db), m_shipment(shipment), m_setWise(!run.observer)
    {
    }

    // The update of one row, as the error report and the observer show it.
    Statement statementOf(int result, qint64 order) const
    {
        return Statement(QStringLiteral("update ART set ") + PositionCheck::gradeClause(result) +
                         QStringLiteral("where INTNRO = "))
            .text(m_shipment)
            .sql(QStringLiteral("  and ARTORD = "))
            .integer(order);
    }

    void add(int result, qint64 order)
    {
        m_last = {result, order};
        if (!m_setWise) {
            runOne(result, order);
            return;
        }
        m_pending.push_back(m_last);
        if (m_pending.size() >= kRows) flush();
    }

    void flush()
    {
        if (m_pending.isEmpty()) return;
        const QVector<std::pair<int, qint64>> pending = std::exchange(m_pending, {});
        m_run.step = step::GradeArticle;
        QString ok, others, othersCase[4];
        for (const auto &[result, order] : pending) {
            const int k = kind(result);
            append(k == 0 ? ok : others, order);
            if (k > 0) append(othersCase[k], order);
        }
        QStringList updates;
        const QString where =
            QStringLiteral(" where INTNRO = ") + sql::text(m_shipment) + QStringLiteral(" and ARTORD in (");
        if (!ok.isEmpty())
            updates << QStringLiteral("update ART set PRCCRC = 'OK'") + where + ok + QLatin1Char(')');
        if (!others.isEmpty()) {
            static const char *const grades[4] = {"OK", "POS", "SUF", "ERR"};
            QString update = QStringLiteral("update ART set PRCCRC = case");
            for (int k = 1; k < 4; ++k)
                if (!othersCase[k].isEmpty())
                    update += QStringLiteral(" when ARTORD in (") + othersCase[k] +
                              QStringLiteral(") then '") + QLatin1String(grades[k]) + QLatin1Char('\'');
            updates << update + QStringLiteral(" end, PRCEST = 'E'") + where + others + QLatin1Char(')');
        }
        if (!command(QStringLiteral("SAVEPOINT grades"))) {
            runEach(pending);
            return;
        }
        bool written = true;
        for (const QString &update : std::as_const(updates))
            if (written) written = command(update);
        if (written) written = command(QStringLiteral("RELEASE SAVEPOINT grades"));
        if (!written) {
            command(QStringLiteral("ROLLBACK TO SAVEPOINT grades"));
            command(QStringLiteral("RELEASE SAVEPOINT grades"));
            runEach(pending);
        }
    }

    // The buffer as the row-by-row run leaves it: the last row's update, once there is one.
    void showLastInBuffer()
    {
        if (m_last.second >= 0 && m_setWise) m_run.setBuffer(statementOf(m_last.first, m_last.second));
    }

  private:
    void runOne(int result, qint64 order)
    {
        m_run.step = step::GradeArticle;
        const Statement grade = statementOf(result, order);
        m_run.setBuffer(grade);
        m_run.execute(m_db, grade);
    }

    void runEach(const QVector<std::pair<int, qint64>> &rows)
    {
        for (const auto &[result, order] : rows)
            runOne(result, order);
    }

    // False when the command failed; its error is left to the row-by-row writing.
    bool command(const QString &text)
    {
        try {
            m_db.Sql = text;
            m_db.Ejecutar();
            return true;
        } catch (const PlanexoError &) {
            return false;
        }
    }

    static void append(QString &list, qint64 order)
    {
        if (!list.isEmpty()) list += QLatin1Char(',');
        list += QString::number(order);
    }

    static int kind(int result) { return result >= 0 && result <= 2 ? result : 3; }

    ProcessRun &m_run;
    DataConnection &m_db;
    QString m_shipment;
    bool m_setWise;
    QVector<std::pair<int, qint64>> m_pending;
    std::pair<int, qint64> m_last{0, -1};
};

} // namespace

void PositionCheck::run()
{
    SharedState &s = m_run.state;
    oAlm::clGestor &db = *s.gestor;
    Progress &progress = m_run.progress;
    const QString shipment = sql::text(s.sInternoActual);

    m_run.step = step::Stage4Start;
    progress.setCaption(QStringLiteral("Procesando... Etapa 4 de 4: Validando NCM..."));
    progress.setValue(0);
    progress.setValue(1);

    m_run.step = step::ReadFound;
    // Columns: PRCNCM, PRCSUF, INTNRO, ARTORD.
    const QVector<QVector<QVariant>> rows =
        m_run.rows(db, QStringLiteral("select PRCNCM, PRCSUF, INTNRO, ARTORD from ART where INTNRO = ") +
                           shipment + QStringLiteral(" and PRCEST = 'A'"));
    if (!rows.isEmpty()) progress.setMaximum(int(rows.size()));

    Batch batch(db);
    // The suffix check reads the nomenclator row by row: one read transaction over all of it.
    std::unique_ptr<Batch> nomenclatorReads;
    m_run.step = step::ValidateSuffixes;
    if (!rows.isEmpty())
        nomenclatorReads =
            std::make_unique<Batch>(s.enlace->getDataConnectionByEntity(QStringLiteral("NCM")));
    QStringList positions;
    positions.reserve(rows.size());
    for (const QVector<QVariant> &row : rows)
        positions << s.fmt->EsNull(row[0]);
    m_run.checker.anticipate(positions);
    Grades grades(m_run, db, s.sInternoActual);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        m_run.step = step::ValidateSuffixes;
        int result = 0;
        try {
            result = m_run.checker.ValidarSufijos(positions[i], s.fmt->EsNull(rows[i][1]));
        } catch (const PlanexoError &) {
            // The rows checked before keep their grades, as when each was written at once.
            grades.flush();
            grades.showLastInBuffer();
            m_run.step = step::ValidateSuffixes;
            throw;
        }
        grades.add(result, qint64(s.fmt->EsNumero(rows[i][3])));
        progress.setValue(int(i + 1));
    }
    grades.flush();

    m_run.step = step::StatisticalQuantity;
    m_run.setBuffer(QStringLiteral("update ART set PRCECA = ARTCAN where INTNRO = ") + shipment +
                    QStringLiteral(" and PRCDUN = PRCEUN and PRCCRC = 'OK' "));
    m_run.execute(db, m_run.buffer);
    batch.commit();
}
