#include "shared/Interaction.h"

#include "data/PlanexoError.h"

#include <cstdio>

// A window that nobody can answer: the procedure that needed it ends with this error.
static PlanexoError noWindow(const QString &window)
{
    return PlanexoError(30010, QStringLiteral("No hay quien responda la ventana ") + window,
                        QStringLiteral("Planexo"));
}

QString Interaction::relacionPais(const QString &)
{
    throw noWindow(QStringLiteral("frmRelPais"));
}

QString Interaction::cargaSufijos(const QStringList &, const QString &)
{
    throw noWindow(QStringLiteral("FrmCargaSufijos"));
}

QString Interaction::saveFile(const QString &, const QString &, const QString &)
{
    return QString();
}

namespace {

class Unattended : public Interaction {
public:
    Answer message(const QString &text, Icon, Buttons buttons, const QString &) override
    {
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString openFile(const QString &, const QString &) override { return QString(); }
    void setBusy(bool) override {}
};

} // namespace

static Interaction *s_current = nullptr;

Interaction &interaction()
{
    static Unattended unattended;
    return s_current ? *s_current : unattended;
}

Interaction *setInteraction(Interaction *replacement)
{
    Interaction *previous = s_current;
    s_current = replacement;
    return previous;
}
