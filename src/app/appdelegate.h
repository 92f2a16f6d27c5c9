#pragma once

#include "app/singleinstance.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace corvane {

class AppServices;
class Pasteboard;
class Workspace;

// The application's frame on the desktop: builds the service graph once (or keeps the reason
// it could not), then at launch applies the single-instance rule and either starts the
// services or reports the history that could not be opened. Needs a QApplication on xcb.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    // The exit status when the process should end now (another instance runs, or the
    // history could not be opened and the alert was dismissed); nothing when the
    // application runs.
    std::optional<int> launch();

private:
    void reportFailure();

    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<AppServices> m_services;
    std::optional<QString> m_failure;
    SingleInstance m_instance;
};

} // namespace corvane
