#include "CatalogueLookup.h"

#include "ProcessRun.h"
#include "SuffixText.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/DataConnection.h"
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
        m_run.announce([&] {
            const Dialect &d = ncm.dialect();
            Statement st(QStringLiteral("select ") + d.column(QStringLiteral("059")) +
                         QStringLiteral(" as lapi,") + d.column(QStringLiteral("012")) +
                         QStringLiteral(" as estadistica,") + d.column(QStringLiteral("020")) +
                         QStringLiteral(" as deresp from ncm where "));
            appendNomenclatorKey(st, ncm, position);
            return st;
        });
        if (!m_positions.contains(key)) readPositionsAhead(position);
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
    // Columns: clave1, clave2, lapi, estadistica, deresp.
    const QVector<QVector<QVariant>> rows = ncm.rows(Statement(ncm.Sql));
    for (const QString &key : asked)
        m_positions.insert(key, Position());
    const cFMTX::PRINC &fmt = *m_run.state.fmt;
    for (const QVector<QVariant> &row : rows) {
        Position &p = m_positions[fmt.EsNull(row[0]) + QLatin1Char('|') + fmt.EsNull(row[1])];
        if (p.found) continue; // the first row of a key, as a lookup of its own would read
        p.found = true;
        p.lapi = fmt.EsNull(row[2]);
        p.statistical = fmt.EsNull(row[3]);
        p.specificDuty = fmt.EsNull(row[4]);
    }
    m_positionsAhead.clear();
}

void CatalogueLookup::readCatalogueAhead(DataConnection &catalogue, const QStringList &codes, qsizetype from)
{
    constexpr int kCodesPerRead = 500;
    QList<QStringList> keys;
    QStringList ordered;
    QSet<QString> asked;
    for (qsizetype i = from; i < codes.size() && keys.size() < kCodesPerRead; ++i) {
        if (m_codesRead.contains(codes[i]) || asked.contains(codes[i])) continue;
        asked.insert(codes[i]);
        keys << QStringList{codes[i]};
        ordered << codes[i];
    }
    const QString columns = QStringLiteral(
        "select k.column1 as clave, c.ncm, c.lapi, c.sufijos, c.estadomerc, c.descripcion, c.idpais, "
        "c.descripcion_maria from ");
    const QString join = QStringLiteral(" join catarticulos c on c.idcatalogo = ") +
                         sql::text(m_run.state.INTCAT) + QStringLiteral(" and c.idarticulo = k.column1");
    QVector<QVector<QVariant>> rows;
    if (catalogue.dialect().engine() == Dialect::Engine::SQLite) {
        // SQLite parses long literal lists slowly: the codes travel as one bound JSON array.
        // The cross join keeps the codes the outer loop whatever the planner's guesses.
        catalogue.Sql =
            columns + QStringLiteral("(select value as column1 from json_each(?)) k cross") + join;
        rows = catalogue.rows(Statement(catalogue.Sql, {DataConnection::jsonArray(ordered)}));
    } else {
        catalogue.Sql = columns + sql::valuesTable(keys) + QStringLiteral(" k") + join;
        rows = catalogue.rows(Statement(catalogue.Sql));
    }
    m_codesRead.unite(asked);
    const cFMTX::PRINC &fmt = *m_run.state.fmt;
    for (QVector<QVariant> &row : rows) {
        const QString code = fmt.EsNull(row[Catalogue::Code]);
        if (m_catalogueRows.contains(code)) continue; // the first row, as the lookup of one code reads
        m_positionsAhead << fmt.EsNull(row[Catalogue::Ncm]);
        m_catalogueRows.insert(code, std::move(row));
    }
}

void CatalogueLookup::updateArticle(const QVector<QVariant> &article, const QVector<QVariant> &catalogue)
{
    const SharedState &s = m_run.state;
    auto art = [&](int column) { return s.fmt->EsNull(article[column]); };
    auto cat = [&](int column) { return s.fmt->EsNull(catalogue[column]); };
    const QString comma = QStringLiteral(",");
    const QString position = cat(Catalogue::Ncm);

    // The buffer shows the update as built so far when a lookup fails.
    Statement u(QStringLiteral("update ART set "));
    auto lookUp = [&](const QString &p) -> const Position & {
        try {
            return positionOf(p);
        } catch (...) {
            m_run.setBuffer(u);
            throw;
        }
    };
    if (blank(art(Article::Prcncm))) u.sql(QStringLiteral("PRCNCM = ")).text(position).sql(comma);

    const QString lapi = cat(Catalogue::Lapi);
    if (!blank(lapi)) {
        u.sql(QStringLiteral("PRCLAP = ")).text(lapi).sql(comma);
    } else {
        const Position &p = lookUp(position);
        const bool marked = p.found && p.lapi == QLatin1String("*");
        u.sql(marked ? QStringLiteral("PRCLAP = 'S',") : QStringLiteral("PRCLAP = 'N',"));
    }

    const QString ownMaria = art(Article::DescripcionMaria);
    const QString catalogueMaria = cat(Catalogue::DescripcionMaria);
    u.sql(QStringLiteral("DESCRIPCION_MARIA = "))
        .text(!blank(ownMaria) || blank(catalogueMaria) ? ownMaria : catalogueMaria)
        .sql(comma);

    QString suffixes = cat(Catalogue::Sufijos);
    const QString brand = art(Article::Marca);
    if (!blank(brand)) suffixes = cambiarCadenaSufijo(suffixes, QStringLiteral("AA"), brand);
    u.sql(QStringLiteral("PRCSUF = ")).text(suffixes).sql(comma);

    if (blank(art(Article::Artorg)))
        u.sql(QStringLiteral("ARTORG = ")).text(cat(Catalogue::Idpais)).sql(comma);

    const QString ownDescription = art(Article::Artdsc);
    const QString catalogueDescription = cat(Catalogue::Descripcion);
    u.sql(QStringLiteral("ARTDSC = "))
        .text(!blank(ownDescription) || blank(catalogueDescription) ? ownDescription : catalogueDescription)
        .sql(comma);

    const Position &units = lookUp(position);
    if (units.found) {
        u.sql(QStringLiteral("PRCEUN = ")).text(units.statistical).sql(comma);
        if (!blank(units.specificDuty))
            u.sql(QStringLiteral("PRCSUN = ")).text(units.specificDuty).sql(comma);
    }

    const QString goodsState = cat(Catalogue::Estadomerc);
    u.sql(QStringLiteral("PRCESM = ")).text(blank(goodsState) ? s.PRCESM : goodsState).sql(comma);
    u.sql(QStringLiteral("PRCEST = 'A' "));

    u.sql(QStringLiteral("WHERE INTNRO = "))
        .text(s.sInternoActual)
        .sql(QStringLiteral("  and ARTNRO = "))
        .text(art(Article::Artnro))
        .sql(QStringLiteral("  and MARCA = "))
        .text(art(Article::Marca))
        .sql(QStringLiteral("  and ARTORD = "))
        .integer(qint64(s.fmt->EsNumero(article[Article::Artord])));

    m_run.setBuffer(u);
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
    const QVector<QVector<QVariant>> articles = m_run.rows(
        *s.gestor, QStringLiteral("select DISTINCT ARTNRO,ARTORD,ARTORG, ARTUNI,MARCA,PRCNCM,PRCSUF "
                                  ",ARTDSC,DESCRIPCION_MARIA from ART where INTNRO = ") +
                       sql::text(s.sInternoActual) + QStringLiteral(" order by ARTNRO"));
    // A bar cannot have an empty range; with no rows it keeps the one it has.
    if (!articles.isEmpty()) progress.setMaximum(int(articles.size()));

    QStringList codes;
    codes.reserve(articles.size());
    for (const QVector<QVariant> &article : articles)
        codes << s.fmt->EsNull(article[Article::Artnro]);

    DataConnection *catalogue = nullptr;
    Batch batch(*s.gestor);
    std::unique_ptr<Batch> catalogueReads;
    for (qsizetype index = 0; index < articles.size(); ++index) {
        m_run.step = step::CatalogueQuery;
        if (!catalogue) {
            catalogue = &s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
            catalogueReads = std::make_unique<Batch>(*catalogue);
        }
        const QString &code = codes[index];
        m_run.announce([&] {
            return Statement(QStringLiteral("select ncm, lapi, sufijos, idunidad, estadistica, estadomerc, "
                                            "deresp, preciounitario, descripcion, idpais , descripcion_maria "
                                            "from catarticulos where idcatalogo = "))
                .text(s.INTCAT)
                .sql(QStringLiteral(" and idarticulo = "))
                .text(code);
        });
        if (!m_codesRead.contains(code)) readCatalogueAhead(*catalogue, codes, index);
        const auto row = m_catalogueRows.constFind(code);
        if (row != m_catalogueRows.constEnd()) updateArticle(articles[index], *row);
        progress.setValue(int(index + 1));
    }
    batch.commit();
    m_ncmReads.reset();
}
