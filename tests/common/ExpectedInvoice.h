#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>

// The invoice every producer wrote (tests/data/make_fixtures.py and its copies by LibreOffice,
// gnumeric, SheetJS and the others), ten rows of eight columns as the readers must give it in the
// current locale. Dates as the dates a workbook holds, or, datesAsWritten, as the text a text file
// holds where LibreOffice exported them (es_AR zero-padded, en_US not).
inline QVector<QStringList> expectedInvoice(bool datesAsWritten = false)
{
    const bool c = QLocale().decimalPoint() == QLatin1String(",");
    auto n = [c](const char *point) {
        QString s = QString::fromLatin1(point);
        if (c) s.replace('.', ',');
        return s;
    };
    auto d = [&](int day, int month, int year) {
        if (datesAsWritten && c)
            return QStringLiteral("%1/%2/%3")
                .arg(day, 2, 10, QChar('0'))
                .arg(month, 2, 10, QChar('0'))
                .arg(year);
        return c ? QStringLiteral("%1/%2/%3").arg(day).arg(month).arg(year)
                 : QStringLiteral("%1/%2/%3").arg(month).arg(day).arg(year);
    };
    return {
        {"Codigo", "Descripcion", "Cantidad", "Total", "NCM", "Origen", "Fecha", ""},
        {"A-100", "Tornillo de acero inoxidable", "100", n("1234.5"), "7318.15.00", "China", d(15, 1, 2024),
         ""},
        {"B-200", "Válvula 1/2\" de bronce", "25", n("890.25"), "8481.80.99", "Alemania", d(29, 2, 2024), ""},
        {"C-300", "Muñeco de acción «Ñandú»", "3", n("15.75"), "9503.00.99", "España", d(31, 12, 2023), ""},
        {"4711", "Bomba centrífuga", "1", n("99999.99"), "8413.70.10", "Italia", d(1, 3, 2024), ""},
        {"D-500", "Cable 'unipolar' 2,5 mm", "1500", n("1234567.891"), "8544.49.00", "Brasil", d(30, 6, 2024),
         ""},
        {"E-600", "Caño de PVC", "12", "7", "3917.23.00", "Brasil", d(1, 7, 2024), ""},
        {"F-700", "Llave térmica", n("0.5"), n("-12.5"), "8536.20.00", "Japón", d(24, 12, 2024), ""},
        {"G-800", "  Resistencia con blancos  ", "2", n("0.001"), "8533.21.20", "Estados Unidos",
         d(2, 1, 2025), ""},
        {"", "", "", "", "", "", "", ""},
    };
}
