#include "appdelegate.h"

#include "app/appservices.h"
#include "common/logging.h"
#include "platform/x11/clipboardxlib.h"
#include "platform/x11/x11pasteboard.h"
#include "platform/x11/x11workspace.h"
#include "store/clipstore.h"
#include "store/errordescription.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

namespace corvane {

AppDelegate::AppDelegate()
    : m_pasteboard(std::make_unique<X11Pasteboard>())
    , m_workspace(std::make_unique<X11Workspace>(xlib::applicationDisplayName()))
{
    try {
        m_services = std::make_unique<AppServices>(
            AppServices::Desktop { .pasteboard = *m_pasteboard, .workspace = *m_workspace });
    } catch (const std::exception &error) {
        m_failure = errorDescription(error);
    }
}

AppDelegate::~AppDelegate() = default;

std::optional<int> AppDelegate::launch()
{
    if (const auto other = m_instance.claim()) {
        qCInfo(lcLaunch,
            "Another Corvane (pid %lld, %s) is already running — activating it and standing "
            "down.",
            static_cast<long long>(other->processID),
            qUtf8Printable(other->executablePath.value_or(QStringLiteral("unknown"))));
        return 0;
    }
    if (m_services) {
        connect(&m_instance, &SingleInstance::activationRequested, this, [] {
            // There is no window to bring forward yet; the history panel will come here.
            qCInfo(lcLaunch, "Another start of Corvane asked this one to come forward");
        });
        m_services->start();
        return std::nullopt;
    }
    reportFailure();
    return 1;
}

void AppDelegate::reportFailure()
{
    const QString description = m_failure.value_or(QStringLiteral("Unknown error"));
    qCCritical(lcLaunch, "Could not open the history: %s", qUtf8Printable(description));
    QMessageBox alert(QMessageBox::Critical, QStringLiteral("Corvane"),
        QStringLiteral("Corvane could not open its history"), QMessageBox::Ok);
    alert.setInformativeText(description + QStringLiteral("\n\nThe history lives in ")
        + AppServices::displayedLocation(ClipStore::defaultDirectory(), QDir::homePath())
        + QStringLiteral("."));
    alert.exec();
}

} // namespace corvane
