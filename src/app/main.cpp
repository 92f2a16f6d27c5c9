#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::fputs("corvane: the application mode is not available in this build yet.\n", stderr);
    return 0;
}
