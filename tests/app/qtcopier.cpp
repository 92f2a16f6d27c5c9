// A Qt application that copies and exits at once, as a user closing an editor right after a
// copy would. Qt hands the clipboard to the clipboard manager on the way out, if there is
// one. Usage: qtcopier TEXT (prints "copied" once the clipboard is its own).

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qtcopier TEXT\n");
        return 2;
    }
    QGuiApplication::clipboard()->setText(QString::fromUtf8(argv[1]), QClipboard::Clipboard);
    std::printf("copied\n");
    std::fflush(stdout);
    // Long enough for a watcher to notice the copy at least once, as a user's would.
    QTimer::singleShot(300, &application, &QGuiApplication::quit);
    return application.exec();
}
