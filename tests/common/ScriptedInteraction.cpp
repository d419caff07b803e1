#include "ScriptedInteraction.h"

ScriptedInteraction::ScriptedInteraction()
{
    m_previous = setInteraction(this);
}

ScriptedInteraction::~ScriptedInteraction()
{
    setInteraction(m_previous);
}

void ScriptedInteraction::clear()
{
    m_script.clear();
    m_failures.clear();
    m_log.clear();
}

QString ScriptedInteraction::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Message:
        return QStringLiteral("message");
    case Kind::Input:
        return QStringLiteral("input");
    case Kind::OpenFile:
        return QStringLiteral("file dialog");
    case Kind::SaveFile:
        return QStringLiteral("save dialog");
    case Kind::Modal:
        return QStringLiteral("modal");
    }
    return QString();
}

static QString iconName(Interaction::Icon icon)
{
    switch (icon) {
    case Interaction::Icon::None:
        return QStringLiteral("none");
    case Interaction::Icon::Information:
        return QStringLiteral("information");
    case Interaction::Icon::Exclamation:
        return QStringLiteral("exclamation");
    case Interaction::Icon::Critical:
        return QStringLiteral("critical");
    case Interaction::Icon::Question:
        return QStringLiteral("question");
    }
    return QString();
}

QString ScriptedInteraction::report() const
{
    QStringList lines = m_failures;
    for (const Step &step : m_script)
        lines << QStringLiteral("expected %1 never shown: %2").arg(kindName(step.kind), step.text);
    lines << QStringLiteral("prompts shown:") << m_log;
    return lines.join(QLatin1Char('\n'));
}

void ScriptedInteraction::expectMessage(const QString &text, Icon icon, Buttons buttons, Answer answer)
{
    Step s{Kind::Message, text, {}, {}, icon, buttons, answer, std::nullopt, {}, {}};
    m_script.push_back(s);
}

void ScriptedInteraction::expectInput(const QString &prompt, const QString &title, const QString &proposed,
                                      std::optional<QString> answer)
{
    Step s{Kind::Input, prompt, title, proposed, Icon::None, Buttons::Ok, Answer::Ok, answer, {}, {}};
    m_script.push_back(s);
}

void ScriptedInteraction::expectOpenFile(const QString &filter, const QString &answer)
{
    Step s{Kind::OpenFile, filter, {}, answer, Icon::None, Buttons::Ok, Answer::Ok, std::nullopt, {}, {}};
    m_script.push_back(s);
}

void ScriptedInteraction::expectSaveFile(const QString &title, const QString &filter,
                                         const QString &proposedPath, const QString &answer)
{
    Step s{Kind::SaveFile, proposedPath, title,        answer, Icon::None,
           Buttons::Ok,    Answer::Ok,   std::nullopt, {},     {}};
    s.filter = filter;
    m_script.push_back(s);
}

void ScriptedInteraction::expectModal(const QString &objectName, ModalDriver driver)
{
    Step s{Kind::Modal, objectName, {}, {}, Icon::None, Buttons::Ok, Answer::Ok, std::nullopt, std::move(driver), {}};
    m_script.push_back(s);
}

bool ScriptedInteraction::take(Kind kind, const QString &what, Step *step)
{
    m_log << kindName(kind) + QStringLiteral(": ") + what;
    if (m_script.empty()) {
        m_failures << QStringLiteral("unexpected %1: %2").arg(kindName(kind), what);
        return false;
    }
    if (m_script.front().kind != kind) {
        m_failures << QStringLiteral("expected %1 \"%2\" but got %3: %4")
                          .arg(kindName(m_script.front().kind), m_script.front().text, kindName(kind), what);
        m_script.pop_front();
        return false;
    }
    *step = m_script.front();
    m_script.pop_front();
    return true;
}

Interaction::Answer ScriptedInteraction::message(const QString &text, Icon icon, Buttons buttons, const QString &)
{
    Step step;
    if (!take(Kind::Message, text, &step))
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    if (step.text != text)
        m_failures << QStringLiteral("message text differs:\n  expected: %1\n  actual:   %2").arg(step.text, text);
    if (step.icon != icon)
        m_failures << QStringLiteral("message \"%1\": icon %2, expected %3").arg(text, iconName(icon), iconName(step.icon));
    if (step.buttons != buttons)
        m_failures << QStringLiteral("message \"%1\": other buttons than expected").arg(text);
    return step.answer;
}

std::optional<QString> ScriptedInteraction::input(const QString &prompt, const QString &title, const QString &proposed)
{
    Step step;
    if (!take(Kind::Input, prompt, &step))
        return std::nullopt;
    if (step.text != prompt || step.title != title || step.proposed != proposed)
        m_failures << QStringLiteral("input differs:\n  expected: %1 | %2 | %3\n  actual:   %4 | %5 | %6")
                          .arg(step.text, step.title, step.proposed, prompt, title, proposed);
    return step.inputAnswer;
}

QString ScriptedInteraction::openFile(const QString &filter, const QString &initialName)
{
    m_lastOpenFileFolder = initialName;
    Step step;
    if (!take(Kind::OpenFile, filter, &step))
        return QString();
    if (step.text != filter)
        m_failures << QStringLiteral("file dialog filter differs: expected %1, got %2").arg(step.text, filter);
    return step.proposed;
}

QString ScriptedInteraction::saveFile(const QString &title, const QString &filter,
                                      const QString &proposedPath)
{
    Step step;
    if (!take(Kind::SaveFile, proposedPath, &step)) return QString();
    if (step.text != proposedPath || step.title != title || step.filter != filter)
        m_failures << QStringLiteral(
                          "save dialog differs:\n  expected: %1 | %2 | %3\n  actual:   %4 | %5 | %6")
                          .arg(step.title, step.filter, step.text, title, filter, proposedPath);
    return step.proposed;
}

int ScriptedInteraction::runModal(QDialog &dialog)
{
    Step step;
    if (!take(Kind::Modal, dialog.objectName(), &step))
        return QDialog::Rejected;
    if (step.text != dialog.objectName())
        m_failures << QStringLiteral("modal window %1, expected %2").arg(dialog.objectName(), step.text);
    return step.driver ? step.driver(dialog) : dialog.result();
}

void ScriptedInteraction::setBusy(bool busy)
{
    if (busy) {
        ++m_busyCalls;
        ++m_busyDepth;
    } else {
        --m_busyDepth;
    }
}
