#include "CatalogueLookup.h"

#include "ProcessRun.h"
#include "SuffixText.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/PRINC.h"
#include "data/SqlText.h"

CatalogueLookup::CatalogueLookup(ProcessRun &run) : m_run(run) {}

CatalogueLookup::~CatalogueLookup() = default;

static bool blank(const QString &value)
{
    return value.trimmed().isEmpty();
}

void CatalogueLookup::appendNomenclatorKey(Statement &st, const DataConnection &ncm, const QString &position)
{
    const Dialect &d = ncm.dialect();
    st.sql(QStringLiteral(" ") + d.column(QStringLiteral("001")) + QStringLiteral(" = "))
        .text(position.left(10))
        .sql(QStringLiteral(" and ") + d.column(QStringLiteral("002")) + QStringLiteral(" = "))
        .text(position.mid(11, 3));
}

DataConnection &CatalogueLookup::nomenclator()
{
    if (!m_ncm) {
        m_ncm = &m_run.state.enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
        m_ncmReads = std::make_unique<Batch>(*m_ncm);
    }
    return *m_ncm;
}

static QString positionKey(const QString &position)
{
    return position.left(10) + QLatin1Char('|') + position.mid(11, 3);
}

const CatalogueLookup::Position &CatalogueLookup::positionOf(const QString &position)
{
    const QString key = positionKey(position);
    if (!m_positionsAsked.contains(key)) {
        m_run.step = step::NomenclatorQuery;
        DataConnection &ncm = nomenclator();
        const Dialect &d = ncm.dialect();
        Statement st(QStringLiteral("select ") + d.column(QStringLiteral("059")) +
                     QStringLiteral(" as lapi,") + d.column(QStringLiteral("012")) +
                     QStringLiteral(" as estadistica,") + d.column(QStringLiteral("020")) +
                     QStringLiteral(" as deresp from ncm where "));
        appendNomenclatorKey(st, ncm, position);
        m_run.announce(ncm, st);
        if (!m_positions.contains(key)) readPositionsAhead(position);
        ncm.Sql = st.literal();
        m_positionsAsked.insert(key);
    }
    return *m_positions.find(key);
}

void CatalogueLookup::readPositionsAhead(const QString &position)
{
    constexpr int kPositionsPerRead = 500;
    DataConnection &ncm = nomenclator();
    const Dialect &d = ncm.dialect();
    QList<QStringList> keys{{position.left(10), position.mid(11, 3)}};
    QSet<QString> asked{positionKey(position)};
    for (const QString &ahead : std::as_const(m_positionsAhead)) {
        if (keys.size() >= kPositionsPerRead) break;
        const QString key = positionKey(ahead);
        if (m_positions.contains(key) || asked.contains(key)) continue;
        asked.insert(key);
        keys << QStringList{ahead.left(10), ahead.mid(11, 3)};
    }
    ncm.Sql = QStringLiteral("select k.column1 as clave1, k.column2 as clave2, n.") +
              d.column(QStringLiteral("059")) + QStringLiteral(" as lapi, n.") +
              d.column(QStringLiteral("012")) + QStringLiteral(" as estadistica, n.") +
              d.column(QStringLiteral("020")) + QStringLiteral(" as deresp from ") + sql::valuesTable(keys) +
              QStringLiteral(" k join ncm n on n.") + d.column(QStringLiteral("001")) +
              QStringLiteral(" = k.column1 and n.") + d.column(QStringLiteral("002")) +
              QStringLiteral(" = k.column2");
    Recordset rs;
    ncm.CrearRs(rs);
    for (const QString &key : asked)
        m_positions.insert(key, Position());
    const cFMTX::PRINC &fmt = *m_run.state.fmt;
    for (; !rs.Eof(); rs.MoveNext()) {
        Position &p = m_positions[fmt.EsNull(rs.Fields(QStringLiteral("clave1"))) + QLatin1Char('|') +
                                  fmt.EsNull(rs.Fields(QStringLiteral("clave2")))];
        if (p.found) continue; // the first row of a key, as a lookup of its own would read
        p.found = true;
        p.lapi = fmt.EsNull(rs.Fields(QStringLiteral("lapi")));
        p.statistical = fmt.EsNull(rs.Fields(QStringLiteral("estadistica")));
        p.specificDuty = fmt.EsNull(rs.Fields(QStringLiteral("deresp")));
    }
    m_positionsAhead.clear();
}

void CatalogueLookup::readCatalogueAhead(DataConnection &catalogue, const QStringList &codes, qsizetype from)
{
    constexpr int kCodesPerRead = 500;
    QList<QStringList> keys;
    QSet<QString> asked;
    for (qsizetype i = from; i < codes.size() && keys.size() < kCodesPerRead; ++i) {
        if (m_codesRead.contains(codes[i]) || asked.contains(codes[i])) continue;
        asked.insert(codes[i]);
        keys << QStringList{codes[i]};
    }
    catalogue.Sql =
        QStringLiteral(
            "select k.column1 as clave, c.ncm, c.lapi, c.sufijos, c.idunidad, c.estadistica, "
            "c.estadomerc, c.deresp, c.preciounitario, c.descripcion, c.idpais , c.descripcion_maria "
            "from ") +
        sql::valuesTable(keys) + QStringLiteral(" k join catarticulos c on c.idcatalogo = ") +
        sql::text(m_run.state.INTCAT) + QStringLiteral(" and c.idarticulo = k.column1");
    Recordset rs;
    catalogue.CrearRs(rs);
    m_catalogueFields = rs.fieldNames().mid(1);
    m_codesRead.unite(asked);
    const cFMTX::PRINC &fmt = *m_run.state.fmt;
    for (; !rs.Eof(); rs.MoveNext()) {
        const QString code = fmt.EsNull(rs.Fields(QStringLiteral("clave")));
        if (m_catalogueRows.contains(code)) continue; // the first row, as the lookup of one code reads
        QVector<QVariant> row;
        row.reserve(m_catalogueFields.size());
        for (const QString &field : std::as_const(m_catalogueFields))
            row << rs.Fields(field);
        m_catalogueRows.insert(code, row);
        m_positionsAhead << fmt.EsNull(rs.Fields(QStringLiteral("ncm")));
    }
}

void CatalogueLookup::updateArticle(const Recordset &article, const Recordset &catalogue)
{
    const SharedState &s = m_run.state;
    auto art = [&](const char *name) { return s.fmt->EsNull(article.Fields(QLatin1String(name))); };
    auto cat = [&](const char *name) { return s.fmt->EsNull(catalogue.Fields(QLatin1String(name))); };
    const QString comma = QStringLiteral(",");
    const QString position = cat("ncm");

    // The buffer follows the update as it is built, for the error report of a failing lookup.
    Statement u(QStringLiteral("update ART set "));
    m_run.buffer = u.literal();
    if (blank(art("PRCNCM"))) u.sql(QStringLiteral("PRCNCM = ")).text(position).sql(comma);

    const QString lapi = cat("lapi");
    if (!blank(lapi)) {
        u.sql(QStringLiteral("PRCLAP = ")).text(lapi).sql(comma);
    } else {
        m_run.buffer = u.literal();
        const Position &p = positionOf(position);
        const bool marked = p.found && p.lapi == QLatin1String("*");
        u.sql(marked ? QStringLiteral("PRCLAP = 'S',") : QStringLiteral("PRCLAP = 'N',"));
    }

    const QString ownMaria = art("DESCRIPCION_MARIA");
    const QString catalogueMaria = cat("descripcion_maria");
    u.sql(QStringLiteral("DESCRIPCION_MARIA = "))
        .text(!blank(ownMaria) || blank(catalogueMaria) ? ownMaria : catalogueMaria)
        .sql(comma);

    QString suffixes = cat("sufijos");
    const QString brand = art("MARCA");
    if (!blank(brand)) suffixes = cambiarCadenaSufijo(suffixes, QStringLiteral("AA"), brand);
    u.sql(QStringLiteral("PRCSUF = ")).text(suffixes).sql(comma);

    if (blank(art("ARTORG"))) u.sql(QStringLiteral("ARTORG = ")).text(cat("idpais")).sql(comma);

    const QString ownDescription = art("ARTDSC");
    const QString catalogueDescription = cat("descripcion");
    u.sql(QStringLiteral("ARTDSC = "))
        .text(!blank(ownDescription) || blank(catalogueDescription) ? ownDescription : catalogueDescription)
        .sql(comma);

    m_run.buffer = u.literal();
    const Position &units = positionOf(position);
    if (units.found) {
        u.sql(QStringLiteral("PRCEUN = ")).text(units.statistical).sql(comma);
        if (!blank(units.specificDuty))
            u.sql(QStringLiteral("PRCSUN = ")).text(units.specificDuty).sql(comma);
    }

    const QString goodsState = cat("estadomerc");
    u.sql(QStringLiteral("PRCESM = ")).text(blank(goodsState) ? s.PRCESM : goodsState).sql(comma);
    u.sql(QStringLiteral("PRCEST = 'A' "));

    u.sql(QStringLiteral("WHERE INTNRO = "))
        .text(s.sInternoActual)
        .sql(QStringLiteral("  and ARTNRO = "))
        .text(art("ARTNRO"))
        .sql(QStringLiteral("  and MARCA = "))
        .text(art("MARCA"))
        .sql(QStringLiteral("  and ARTORD = "))
        .integer(qint64(s.fmt->EsNumero(article.Fields(QStringLiteral("ARTORD")))));

    m_run.buffer = u.literal();
    m_run.step = step::UpdateArticle;
    m_run.execute(*s.gestor, u);
}

void CatalogueLookup::run()
{
    SharedState &s = m_run.state;
    Progress &progress = m_run.progress;

    m_run.step = step::Stage2Start;
    progress.setCaption(QStringLiteral("Procesando... Etapa 2 de 4: Buscando articulos en catalogo"));
    progress.setMinimum(0);
    progress.setValue(1);
    progress.setMaximum(10);

    m_run.step = step::ReadArticles;
    Recordset articles;
    m_run.query(*s.gestor,
                QStringLiteral("select DISTINCT ARTNRO,ARTORD,ARTORG, ARTUNI,MARCA,PRCNCM,PRCSUF ,ARTDSC,"
                               "DESCRIPCION_MARIA from ART where INTNRO = ") +
                    sql::text(s.sInternoActual) + QStringLiteral(" order by ARTNRO"),
                articles);
    // A bar cannot have an empty range; with no rows it keeps the one it has.
    if (articles.RecordCount() > 0) progress.setMaximum(articles.RecordCount());

    QStringList codes;
    for (; !articles.Eof(); articles.MoveNext())
        codes << s.fmt->EsNull(articles.Fields(QStringLiteral("ARTNRO")));
    articles.MoveFirst();

    DataConnection *catalogue = nullptr;
    Statement select(
        QStringLiteral("select ncm, lapi, sufijos, idunidad, estadistica, estadomerc, deresp, "
                       "preciounitario, descripcion, idpais , descripcion_maria from catarticulos "
                       "where idcatalogo = "));
    select.text(s.INTCAT).sql(QStringLiteral(" and idarticulo = "));
    Batch batch(*s.gestor);
    std::unique_ptr<Batch> catalogueReads;
    Recordset found;
    while (!articles.Eof()) {
        m_run.step = step::CatalogueQuery;
        if (!catalogue) {
            catalogue = &s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
            catalogueReads = std::make_unique<Batch>(*catalogue);
        }
        const qsizetype index = articles.AbsolutePosition() - 1;
        const QString &code = codes[index];
        Statement lookup = select;
        lookup.text(code);
        m_run.announce(*catalogue, lookup);
        if (!m_codesRead.contains(code)) readCatalogueAhead(*catalogue, codes, index);
        catalogue->Sql = lookup.literal();
        const auto row = m_catalogueRows.constFind(code);
        if (row != m_catalogueRows.constEnd()) {
            found.assign(m_catalogueFields, {*row});
            updateArticle(articles, found);
        }
        progress.setValue(articles.AbsolutePosition());
        articles.MoveNext();
    }
    batch.commit();
    m_ncmReads.reset();
}
