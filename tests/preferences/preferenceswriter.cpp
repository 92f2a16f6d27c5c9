// A second process for the preference tests. "samples PATH" assigns the last sample of
// every setting through Preferences and exits; "churn PATH COUNT" rewrites the file COUNT
// times with a large, self-consistent set of values, as another process would while the
// tests load it.
#include "preferences/preferences.h"
#include "preferencesamples.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>

using namespace corvane;

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() >= 3 && arguments[1] == u"samples") {
        Preferences preferences(arguments[2]);
        for (const auto &[key, value] : test::lastPreferenceSamples()) {
            if (!preferences.setProperty(key.constData(), value))
                return 2;
        }
        return 0;
    }
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
    std::fprintf(stderr, "usage: preferenceswriter samples PATH | churn PATH COUNT\n");
    return 1;
}
