#pragma once

#include <QString>

#include <chrono>
#include <memory>

namespace corvane {

class ClipStore;
class ClipboardWatcher;
class LinkEnricher;
class Pasteboard;
class Preferences;
class Workspace;

// The application's service graph: every long-lived service, built once in dependency order
// and kept for the life of the process. Holds what the desktop provides by reference; the
// owner keeps those alive longer than this object.
class AppServices
{
public:
    // How often the watcher looks at the clipboard besides the change signals.
    static constexpr std::chrono::milliseconds watcherInterval { 400 };
    // How long a link title fetch may take.
    static constexpr std::chrono::milliseconds linkTitleTimeout { 8000 };

    struct Desktop
    {
        Pasteboard &pasteboard;
        Workspace &workspace;
    };

    // Opens the store (throwing its error when it cannot be opened), loads the preferences,
    // builds the clipboard watcher and the link enricher and ties them together. The
    // folders default to the user's.
    AppServices(const Desktop &desktop, const QString &storeDirectory, const QString &settingsPath);
    explicit AppServices(const Desktop &desktop);
    ~AppServices();

    AppServices(const AppServices &) = delete;
    AppServices &operator=(const AppServices &) = delete;

    // Starts the services once, after the application has launched: clipboard polling, then
    // the store's maintenance and the removal of left-over drag files (whose failures are
    // ignored).
    void start();

    // A folder as the user is shown it: inside the home folder written from "~".
    static QString displayedLocation(const QString &folder, const QString &home);

    ClipStore &store() const { return *m_store; }
    Preferences &preferences() const { return *m_preferences; }
    ClipboardWatcher &watcher() const { return *m_watcher; }
    LinkEnricher &linkEnricher() const { return *m_linkEnricher; }

private:
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ClipboardWatcher> m_watcher;
    std::unique_ptr<LinkEnricher> m_linkEnricher;
};

} // namespace corvane
