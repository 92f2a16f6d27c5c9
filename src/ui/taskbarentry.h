#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QWindow;

namespace corvane {

class Preferences;

// Corvane's entry in the task bar and window switcher while the preferences ask for one: a
// small window kept minimised, titled and iconed as the application. Restoring or activating
// it runs onActivate (the panel comes up, as a reopen does) and the window goes back to the
// task bar.
class TaskbarEntry : public QObject
{
    Q_OBJECT

public:
    explicit TaskbarEntry(Preferences &preferences, QObject *parent = nullptr);
    ~TaskbarEntry() override;

    std::function<void()> onActivate;

    // Whether the entry's window exists on the desktop now.
    bool isShown() const;
    QWindow *window() const { return m_window.get(); }

private:
    void update();
    void activated();

    Preferences &m_preferences;
    std::unique_ptr<QWindow> m_window;
};

} // namespace corvane
