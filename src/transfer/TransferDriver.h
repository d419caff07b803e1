#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class ArticleRows;
class CalveraCommand;
class DataConnection;
class Progress;
class Recordset;
struct SharedState;

// The transfer of the current shipment to Calvera: the pre-check, the shipment's header and items,
// and the catalogue update, reporting through the interaction and the progress display.
//
// The catalogue update's error report names its step: 40/50 reading the articles, 80/90 the
// catalogue lookup, 100-450 the update (390 the date, 450 running it), 460-630 the insert (520 the
// unit price, 630 running it), 640/650 the progress bar.
class TransferDriver {
  public:
    TransferDriver(SharedState &state, Progress &progress);
    ~TransferDriver();

    // The whole transfer; reports everything by message box and caption.
    void FRM3_Tranferir();
    // True when no article of the shipment still needs review.
    bool FRAM3_Transfer_A_Validar();
    // Header and items into Calvera; true when every article with check result OK was written.
    bool FRAM3_Transfer_B_Pasaje();
    // Calvera's catalogue updated or extended with every article; true at the end.
    bool FRAM3_Transfer_C_ActualCAT();

    // The text of an SQL number: a non-numeric value (set to 0 on the caller's side too) is 0, a
    // decimal separator is a point, whatever the user's locale.
    static QString setAnsi(QVariant &value);
    // The unit price written to Calvera: the total formatted "00.00" divided by the quantity, the
    // quotient formatted "00.0000"; Null when either is Null, error 11 for a zero quantity.
    static QVariant unitPrice(const QVariant &total, const QVariant &quantity);
    // What the catalogue rows carry in usuario: the login name and the program's version.
    static QString signature();

    // Sees every statement before it runs (tracing and tests).
    void setStatementObserver(std::function<void(const QString &)> observer)
    {
        m_observer = std::move(observer);
    }
    // The clock of the catalogue's fecha (tests fix it).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // The local time to the second.
    static std::function<QDateTime()> systemClock();

  private:
    void requireComponents() const;
    DataConnection &calvera() const;
    bool query(DataConnection &connection, const QString &statement, Recordset &rs);
    // `observed` is what the observer sees; `executed`, when given, what runs in its place.
    bool query(DataConnection &connection, const QString &observed, ArticleRows &articles,
               const QString &executed = QString());
    static QString allArticles(const QString &shipment);
    long long execute(DataConnection &connection, const QString &statement);
    // The statements built from an article; the catalogue's take the steps of their error report.
    CalveraCommand subitemsInsert(const ArticleRows &articles, qsizetype row) const;
    CalveraCommand catalogueUpdate(const ArticleRows &articles, qsizetype row, const QDateTime &when);
    CalveraCommand catalogueInsert(const ArticleRows &articles, qsizetype row);
    // The catalogue's fecha as a literal, made once for every second.
    QString fecha(const QDateTime &when);
    // Whether up to `count` codes from `from` on are in the configured catalogue, read set-wise for
    // the per-article lookups that follow.
    void readCatalogueAhead(DataConnection &cal, const QStringList &codes, qsizetype from, int count,
                            QHash<QString, bool> &inCatalogue);

    SharedState &m_state;
    Progress &m_progress;
    std::function<void(const QString &)> m_observer;
    std::function<QDateTime()> m_clock;
    int m_step = 0;
    // For one catalogue update: the signature, the last date literal, the statements' shapes.
    QString m_signature;
    QDate m_fechaDate;
    QTime m_fechaTime;
    QString m_fecha;
    QHash<QString, QString> m_updateShapes;
    // Within FRM3_Tranferir on a held shipment: the articles are read once, by the items' step,
    // and kept for the catalogue update.
    bool m_readOnce = false;
    std::unique_ptr<ArticleRows> m_allArticles;
};
