#pragma once

#include "shared/Interaction.h"

#include <QHash>
#include <QString>
#include <QVector>
#include <initializer_list>

// Answers for nobody: messages are kept for the report, the replace question takes the command
// line's answer, and the relation dialog takes the --pais relations, saved as the dialog saves them.
class LoteInteraction : public Interaction {
  public:
    struct Shown {
        QString text;
        Icon icon;
    };
    QVector<Shown> shown;
    bool replace = false;
    QHash<QString, QString> countries; // case-folded origin text -> country code

    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &) override;
    std::optional<QString> input(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString openFile(const QString &, const QString &) override { return QString(); }
    void setBusy(bool) override {}
    QString relacionPais(const QString &origin) override;

    // The last message of one of these icons.
    QString last(std::initializer_list<Icon> icons) const;
};

// Installs an interaction while it lives, and puts the previous one back.
class InteractionScope {
  public:
    explicit InteractionScope(Interaction *interaction) : m_previous(setInteraction(interaction)) {}
    ~InteractionScope() { setInteraction(m_previous); }
    InteractionScope(const InteractionScope &) = delete;
    InteractionScope &operator=(const InteractionScope &) = delete;

  private:
    Interaction *m_previous;
};

namespace lote {
// Message texts carry VB's CR LF pairs; a terminal wants plain line feeds.
QString plain(QString text);
// The shipment number as the shipment window stores it: its quotes become blanks, as the window's
// statement makes them, so the shipment and its articles carry the same number. What the window's
// box cannot hold (a line break or tab, more characters than its 32767) is refused; empty text
// when accepted, else the reason.
QString windowNumber(QString *number);
} // namespace lote
