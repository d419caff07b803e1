#include "lote/LoteInteraction.h"

#include "config/Relations.h"
#include "data/clGestor.h"
#include "shared/SharedState.h"

Interaction::Answer LoteInteraction::message(const QString &text, Icon icon, Buttons buttons, const QString &)
{
    shown.push_back({text, icon});
    if (buttons != Buttons::Ok) return replace ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

QString LoteInteraction::relacionPais(const QString &origin)
{
    const QString code = countries.value(origin.toCaseFolded());
    if (code.isEmpty()) return Interaction::relacionPais(origin);
    relations::addCountry(*shared().gestor, origin, code);
    // The relation is known now; the process's own notice of the unknown origin is no news.
    const QString notice = QStringLiteral("Pais ") + origin + QStringLiteral(" no reconocido");
    if (!shown.isEmpty() && shown.last().text == notice) shown.removeLast();
    return code;
}

QString LoteInteraction::last(std::initializer_list<Icon> icons) const
{
    for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
        for (Icon icon : icons)
            if (it->icon == icon) return it->text;
    }
    return QString();
}

namespace lote {

QString plain(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString windowNumber(QString *number)
{
    if (number->trimmed().isEmpty()) return QStringLiteral("Debe ingresar el número interno");
    if (number->size() > 32767)
        return QStringLiteral("El número de interno tiene más de 32767 caracteres: la ventana no lo admite");
    for (QChar c : *number)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral(
                "El número de interno tiene saltos de línea o tabulaciones: la ventana no los admite");
    number->replace(QLatin1Char('\''), QLatin1Char(' '));
    return QString();
}

} // namespace lote
