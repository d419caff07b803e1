// Drives the real planexo as an operator would, loaded into it with LD_PRELOAD:
//   PLANEXO_DRIVE=cancel1|cancel2|cancel3|close
// once the main window is up it walks the wizard to the step named (1, 2 or 3, pressing
// "Siguiente >") and ends the program with "Cancelar", or on step 1 closes the main window as the
// window manager does. It prints each step it sees ("paso: Paso 2") and what it pressed on
// standard error; the program's exit status is the caller's to check.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace {

QWidget *mainWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMain") && w->isVisible()) return w;
    return nullptr;
}

void say(const QString &text)
{
    std::fprintf(stderr, "drive: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QString stepShown(QWidget *w)
{
    const auto *label = w->findChild<QLabel *>(QStringLiteral("lbPasoNro"));
    return label ? label->text() : QString();
}

void press(QWidget *w, const char *name)
{
    auto *button = w->findChild<QAbstractButton *>(QString::fromLatin1(name));
    if (!button) {
        say(QStringLiteral("no button %1").arg(QLatin1String(name)));
        return;
    }
    say(QStringLiteral("pressed %1 (%2)").arg(QLatin1String(name), button->text()));
    button->click();
}

// One action per tick, so that every step's events run between them as they would for a person.
void tick(const QString &plan, int done)
{
    QWidget *w = mainWindow();
    // A message box would wait for an answer that never comes: it is named and the run ends there.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        const auto *box = qobject_cast<QMessageBox *>(modal);
        say(QStringLiteral("unexpected window: ") + (box ? box->text() : modal->objectName()));
        QApplication::exit(3);
        return;
    }
    if (!w) {
        QTimer::singleShot(50, [plan, done] { tick(plan, done); });
        return;
    }
    const int target = plan == QLatin1String("close") ? 1 : plan.right(1).toInt();
    const QString shown = stepShown(w);
    if (done == 0) say(QStringLiteral("paso: ") + shown);
    const int step = shown.right(1).toInt();
    if (step < target && done < 4) {
        press(w, "cmdSiguiente");
        say(QStringLiteral("paso: ") + stepShown(w));
    } else if (plan == QLatin1String("close")) {
        say(QStringLiteral("closing the main window"));
        w->windowHandle()->close();
        return;
    } else {
        press(w, "Command4");
        return;
    }
    QTimer::singleShot(50, [plan, done] { tick(plan, done + 1); });
}

void start()
{
    const QString plan = qEnvironmentVariable("PLANEXO_DRIVE");
    if (plan.isEmpty()) return;
    // Queued: it runs once the program's event loop does.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [plan] { tick(plan, 0); }, Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
