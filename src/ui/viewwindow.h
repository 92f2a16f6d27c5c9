#pragma once

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <memory>

class QLoggingCategory;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;

namespace corvane {

// A top-level window showing one view of the Corvane.Ui module, with an engine of its own:
// built on first use at the view's implicit size, then kept; the view follows the window's
// size.
class ViewWindow
{
public:
    // qmlFile is the view's file in the module ("SettingsView.qml"); the properties are
    // handed to it as it is created; a view that fails to load is logged in category.
    ViewWindow(QString title, QString qmlFile, QVariantMap initialProperties,
        const QLoggingCategory &category);
    ~ViewWindow();

    ViewWindow(const ViewWindow &) = delete;
    ViewWindow &operator=(const ViewWindow &) = delete;

    // Builds the window if needed; false (with the QML errors in the log) when the view
    // cannot be made.
    bool build();
    // Shows the built window, raised and with the focus.
    void present();
    // Drops the view and asks the window to hand back its textures, which it does on its
    // next frame; the window stays until destruction.
    void releaseView();

    QQuickWindow *window() const { return m_window.get(); }
    QQuickItem *view() const;

private:
    QString m_title;
    QString m_qmlFile;
    QVariantMap m_initialProperties;
    const QLoggingCategory &m_category;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    QPointer<QObject> m_view;
};

} // namespace corvane
