#pragma once

#include <QString>
#include <exception>

// The one error type of the program: a VB-style error with number, description and source.
class PlanexoError : public std::exception {
public:
    PlanexoError(long number, QString description, QString source = {})
        : m_number(number), m_description(std::move(description)), m_source(std::move(source)),
          m_what(m_description.toUtf8())
    {
    }

    long number() const { return m_number; }
    const QString &description() const { return m_description; }
    const QString &source() const { return m_source; }
    void setSource(const QString &source) { m_source = source; }
    const char *what() const noexcept override { return m_what.constData(); }

    // VB's own runtime errors.
    static PlanexoError divisionByZero() { return {11, QStringLiteral("División por cero"), QStringLiteral("Planexo")}; }
    static PlanexoError typeMismatch() { return {13, QStringLiteral("No coinciden los tipos"), QStringLiteral("Planexo")}; }

private:
    long m_number;
    QString m_description;
    QString m_source;
    QByteArray m_what;
};

// Description, two line breaks, number and location: the program's standard failure text.
inline QString standardMessage(const PlanexoError &e, const QString &location)
{
    return e.description() + QStringLiteral("\r\n\r\n") + QString::number(e.number()) + location;
}
