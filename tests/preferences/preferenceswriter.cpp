// A second process for the preference tests: "churn PATH COUNT" rewrites the file COUNT times
// with a large, self-consistent set of values, as another process would while the tests load
// it.

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() >= 4 && arguments[1] == u"churn") {
        const int count = arguments[3].toInt();
        for (int generation = 1; generation <= count; ++generation) {
            QSettings settings(arguments[2], QSettings::IniFormat);
            QStringList names;
            for (int i = 0; i < 1000; ++i)
                names.append(QStringLiteral("g%1-%2").arg(generation).arg(i));
            settings.setValue(QStringLiteral("itemLimit"), generation);
            settings.setValue(QStringLiteral("expansionIgnoredBundleIDs"), names);
            settings.setValue(QStringLiteral("dayLimit"), generation);
            settings.sync();
            if (settings.status() != QSettings::NoError)
                return 3;
            std::printf("%d\n", generation);
            std::fflush(stdout);
        }
        return 0;
    }
    std::fprintf(stderr, "usage: preferenceswriter churn PATH COUNT\n");
    return 1;
}
