#include "review/GroupCorrection.h"

#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "data/clPRINC.h"
#include "shared/SharedState.h"

namespace groupcorrection {

recordedit::Draft draftOf(const recordedit::Article &a)
{
    recordedit::Draft d;
    d.position = a.PRCNCM;
    // As the editor loads it: only a graded row keeps its unit and LAPI mark without a new Enter.
    if (a.PRCCRC == QLatin1String("OK")) {
        d.processedPosition = a.PRCNCM;
        d.unit = a.PRCEUN;
        d.lapi = a.PRCLAP == QLatin1String("S") ? QStringLiteral("S") : QStringLiteral("N");
    }
    d.declaredUnit = a.PRCDUN;
    d.statisticalQuantity = a.PRCECA;
    d.quantity = a.ARTCAN;
    d.goodsState = a.PRCESM;
    d.suffixes = a.PRCSUF;
    d.hasSpecificDuty = !a.PRCSUN.isEmpty();
    d.specificUnit = a.PRCSUN;
    d.specificQuantity = d.hasSpecificDuty ? a.PRCSCA : QStringLiteral("0");
    d.descripcionMaria = a.DESCRIPCION_MARIA;
    // No country given: the stored origin stays, as the editor saves a row whose country it shows.
    return d;
}

recordedit::Draft applied(const recordedit::Article &a, const Changes &c)
{
    recordedit::Draft d = draftOf(a);
    if (c.position) {
        d.position = c.position->text;
        d.processedPosition = c.position->processed;
        d.unit = c.position->unit;
        d.lapi = c.position->lapi;
    }
    if (c.suffixes) d.suffixes = *c.suffixes;
    if (c.declaredUnit) d.declaredUnit = *c.declaredUnit;
    if (c.statisticalQuantity) d.statisticalQuantity = *c.statisticalQuantity;
    if (c.goodsState) d.goodsState = *c.goodsState;
    if (c.descripcionMaria) d.descripcionMaria = *c.descripcionMaria;
    if (c.country) d.country = *c.country;
    return d;
}

Result apply(SharedState &s, const QStringList &tags, const Changes &changes, const QString &origin)
{
    Result result;
    result.total = int(tags.size());
    // One component for the group: it reads each position's suffix codes once.
    oCHKX::clPRINC checker;
    std::optional<recordedit::Refusal> unchecked;
    try {
        checker.ConexionString(*s.enlace);
    } catch (const PlanexoError &e) {
        unchecked = recordedit::Refusal{
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_VerificarDatos]")),
            Interaction::Icon::Critical};
    }
    s.gestor->beginBatch();
    for (const QString &tag : tags) {
        QString article;
        std::optional<recordedit::Refusal> refusal = unchecked;
        try {
            const std::optional<recordedit::Article> a = refusal ? std::nullopt : recordedit::load(s, tag);
            if (!refusal && !a) refusal = recordedit::Refusal{QStringLiteral("El registro no existe")};
            if (!refusal) {
                article = a->ARTNRO;
                recordedit::Draft d = applied(*a, changes);
                refusal = recordedit::check(s, d, checker);
                if (!refusal && !recordedit::save(s, d, tag, origin))
                    refusal = recordedit::Refusal{QStringLiteral("El registro no se modificó")};
            }
        } catch (const PlanexoError &e) {
            refusal = recordedit::Refusal{
                standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_GrabarDatos]")),
                Interaction::Icon::Critical};
        }
        if (refusal)
            result.refused.push_back({tag, article, *refusal});
        else
            result.saved << tag;
    }
    try {
        s.gestor->commitBatch();
    } catch (const PlanexoError &) {
        s.gestor->rollbackBatch();
        throw;
    }
    return result;
}

QString report(const Result &r)
{
    const QString saved = QString::number(r.saved.size());
    if (r.refused.isEmpty())
        return QStringLiteral("Se guardaron ") + saved + QStringLiteral(" registros.");
    QString text = QStringLiteral("Se guardaron ") + saved + QStringLiteral(" de ") + QString::number(r.total) +
                   QStringLiteral(" registros.\r\n\r\nNo se guardaron:");
    for (const Refused &x : r.refused) {
        // Messages may carry their own line breaks; each refused row stays on one line.
        QString message = x.refusal.text;
        message.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        text += QStringLiteral("\r\n") + x.tag + QStringLiteral(" ") + x.article + QStringLiteral(": ") + message;
    }
    return text;
}

} // namespace groupcorrection
