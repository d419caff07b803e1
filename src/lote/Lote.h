#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// planexo-lote: the automatic process, the group correction, the transfer and the shipment list
// without a window, for scripts. It never asks: whatever the window would ask is given on the
// command line or refused. One function per command.
class Lote {
  public:
    // Exit statuses.
    enum Status { Ok = 0, Refused = 1, Failed = 2 };

    Lote(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    // Runs one command line (without the program's name); the exit status.
    int run(const QStringList &arguments);

    static QString help();

    int procesar();
    int transferir();
    int listar();
    int corregir();

  private:
    friend class Procesar;

    // Start-up on the program folder; false (with the message printed) when it fails.
    bool open();
    // The value of --name, or empty; `present` tells whether it was given.
    QString option(const QString &name, bool *present = nullptr) const;
    QStringList options(const QString &name) const;
    bool flag(const QString &name) const { return m_args.contains(name); }
    int refuse(const QString &text);
    int fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
    QStringList m_args;
};
