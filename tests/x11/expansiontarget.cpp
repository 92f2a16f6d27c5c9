// A window with a focused text field for the end-to-end tests of text expansion. It reports
// on standard output "ready <window id> <other window id>" once the field has the keyboard
// focus, and "text <base64 of the UTF-8 text>" whenever the field changes; it empties the
// field on the line "clear" and exits on "quit" or the end of its input.

#include <QApplication>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

namespace {

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);

    QPlainTextEdit field;
    field.setWindowTitle(QStringLiteral("Expansion target"));
    field.resize(600, 300);
    QWidget other;
    other.setWindowTitle(QStringLiteral("Other window"));
    other.resize(200, 100);
    other.move(700, 0);
    other.show();
    field.show();

    QObject::connect(&field, &QPlainTextEdit::textChanged,
        [&field] { say("text " + field.toPlainText().toUtf8().toBase64()); });

    // Without a window manager nobody gives the window the focus: ask until it has it.
    QTimer focusTimer;
    focusTimer.setInterval(50);
    QObject::connect(&focusTimer, &QTimer::timeout, [&] {
        if (field.isActiveWindow() && field.hasFocus()) {
            focusTimer.stop();
            say("ready " + QByteArray::number(field.winId()) + ' '
                + QByteArray::number(other.winId()));
            return;
        }
        field.activateWindow();
        field.setFocus();
    });
    focusTimer.start();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            QApplication::quit();
            return;
        }
        pending.append(buffer, count);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "clear")
                field.clear();
            else if (command == "quit")
                QApplication::quit();
        }
    });
    return application.exec();
}
