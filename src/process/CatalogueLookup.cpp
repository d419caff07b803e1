#include "CatalogueLookup.h"

#include "ProcessRun.h"
#include "SuffixText.h"
#include "app/Progress.h"
#include "app/SharedState.h"
#include "data/SqlText.h"

static bool blank(const QString &value)
{
    return value.trimmed().isEmpty();
}

QString CatalogueLookup::nomenclatorKey(const DataConnection &ncm, const QString &position)
{
    const Dialect &d = ncm.dialect();
    return QStringLiteral(" ") + d.column(QStringLiteral("001")) + QStringLiteral(" = ") +
           sql::text(position.left(10)) + QStringLiteral(" and ") + d.column(QStringLiteral("002")) +
           QStringLiteral(" = ") + sql::text(position.mid(11, 3));
}

DataConnection &CatalogueLookup::nomenclator()
{
    if (!m_ncm)
        m_ncm = &m_run.state.enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
    return *m_ncm;
}

CatalogueLookup::Position &CatalogueLookup::lapiOf(const QString &position)
{
    Position &p = m_positions[position];
    if (!p.lapiQueried) {
        Recordset rs;
        m_run.step = step::NomenclatorLapi;
        DataConnection &ncm = nomenclator();
        p.lapiFound = m_run.query(ncm,
                                  QStringLiteral("select ") + ncm.dialect().column(QStringLiteral("059")) +
                                      QStringLiteral(" as lapi from ncm where ") + nomenclatorKey(ncm, position),
                                  rs);
        if (p.lapiFound)
            p.lapi = m_run.state.fmt->EsNull(rs.Fields(QStringLiteral("lapi")));
        p.lapiQueried = true;
    }
    return p;
}

CatalogueLookup::Position &CatalogueLookup::unitsOf(const QString &position)
{
    Position &p = m_positions[position];
    if (!p.unitsQueried) {
        Recordset rs;
        m_run.step = step::NomenclatorUnits;
        DataConnection &ncm = nomenclator();
        const Dialect &d = ncm.dialect();
        p.unitsFound = m_run.query(ncm,
                                   QStringLiteral("select ") + d.column(QStringLiteral("012")) +
                                       QStringLiteral(" as estadistica,") + d.column(QStringLiteral("020")) +
                                       QStringLiteral(" as deresp from ncm where ") + nomenclatorKey(ncm, position),
                                   rs);
        if (p.unitsFound) {
            p.statistical = m_run.state.fmt->EsNull(rs.Fields(QStringLiteral("estadistica")));
            p.specificDuty = m_run.state.fmt->EsNull(rs.Fields(QStringLiteral("deresp")));
        }
        p.unitsQueried = true;
    }
    return p;
}

void CatalogueLookup::updateArticle(const Recordset &article, const Recordset &catalogue)
{
    const SharedState &s = m_run.state;
    auto art = [&](const char *name) { return s.fmt->EsNull(article.Fields(QLatin1String(name))); };
    auto cat = [&](const char *name) { return s.fmt->EsNull(catalogue.Fields(QLatin1String(name))); };
    QString &u = m_run.buffer;
    const QString position = cat("ncm");

    u = QStringLiteral("update ART set ");
    if (blank(art("PRCNCM")))
        u += QStringLiteral("PRCNCM = ") + sql::text(position) + QStringLiteral(",");

    const QString lapi = cat("lapi");
    if (!blank(lapi)) {
        u += QStringLiteral("PRCLAP = ") + sql::text(lapi) + QStringLiteral(",");
    } else {
        const Position &p = lapiOf(position);
        const bool marked = p.lapiFound && p.lapi == QLatin1String("*");
        u += marked ? QStringLiteral("PRCLAP = 'S',") : QStringLiteral("PRCLAP = 'N',");
    }

    const QString ownMaria = art("DESCRIPCION_MARIA");
    const QString catalogueMaria = cat("descripcion_maria");
    u += QStringLiteral("DESCRIPCION_MARIA = ") +
         sql::text(!blank(ownMaria) || blank(catalogueMaria) ? ownMaria : catalogueMaria) + QStringLiteral(",");

    QString suffixes = cat("sufijos");
    const QString brand = art("MARCA");
    if (!blank(brand))
        suffixes = cambiarCadenaSufijo(suffixes, QStringLiteral("AA"), brand);
    u += QStringLiteral("PRCSUF = ") + sql::text(suffixes) + QStringLiteral(",");

    if (blank(art("ARTORG")))
        u += QStringLiteral("ARTORG = ") + sql::text(cat("idpais")) + QStringLiteral(",");

    const QString ownDescription = art("ARTDSC");
    const QString catalogueDescription = cat("descripcion");
    u += QStringLiteral("ARTDSC = ") +
         sql::text(!blank(ownDescription) || blank(catalogueDescription) ? ownDescription : catalogueDescription) +
         QStringLiteral(",");

    const Position &units = unitsOf(position);
    if (units.unitsFound) {
        u += QStringLiteral("PRCEUN = ") + sql::text(units.statistical) + QStringLiteral(",");
        if (!blank(units.specificDuty))
            u += QStringLiteral("PRCSUN = ") + sql::text(units.specificDuty) + QStringLiteral(",");
    }

    const QString goodsState = cat("estadomerc");
    u += QStringLiteral("PRCESM = ") + sql::text(blank(goodsState) ? s.PRCESM : goodsState) + QStringLiteral(",");
    u += QStringLiteral("PRCEST = 'A' ");

    u += QStringLiteral("WHERE INTNRO = ") + sql::text(s.sInternoActual) + QStringLiteral("  and ARTNRO = ") +
         sql::text(art("ARTNRO")) + QStringLiteral("  and MARCA = ") + sql::text(art("MARCA")) +
         QStringLiteral("  and ARTORD = ") + sql::number(s.fmt->EsNumero(article.Fields(QStringLiteral("ARTORD"))));

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
    if (articles.RecordCount() > 0)
        progress.setMaximum(articles.RecordCount());

    DataConnection *catalogue = nullptr;
    const QString select = QStringLiteral("select ncm, lapi, sufijos, idunidad, estadistica, estadomerc, deresp, "
                                          "preciounitario, descripcion, idpais , descripcion_maria from "
                                          "catarticulos where idcatalogo = ") +
                           sql::text(s.INTCAT) + QStringLiteral(" and idarticulo = ");
    WriteBatch batch(*s.gestor);
    Recordset found;
    while (!articles.Eof()) {
        m_run.step = step::CatalogueQuery;
        if (!catalogue)
            catalogue = &s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
        if (m_run.query(*catalogue, select + sql::text(s.fmt->EsNull(articles.Fields(QStringLiteral("ARTNRO")))),
                        found))
            updateArticle(articles, found);
        progress.setValue(articles.AbsolutePosition());
        articles.MoveNext();
    }
    batch.commit();
}
