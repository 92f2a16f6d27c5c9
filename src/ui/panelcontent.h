#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QQmlEngine;
class QQuickItem;

namespace corvane {

class HistoryModel;

// The history panel's content: the QML view over the model, made inside a window.
class PanelContent : public QObject
{
    Q_OBJECT

public:
    PanelContent(QQmlEngine &engine, HistoryModel &model, const QString &blobFolder,
        QObject *parent = nullptr);

    // Creates the view as a child of parentItem, filling it; nullptr (with the errors
    // logged) when the view cannot be made.
    QQuickItem *create(QQuickItem *parentItem);
    // Puts the keyboard focus into the search field.
    void focusSearch();

    std::function<void()> onDismiss;

private:
    bool eventFilter(QObject *watched, QEvent *event) override;

    QQmlEngine &m_engine;
    HistoryModel &m_model;
    QPointer<QQuickItem> m_root;
};

} // namespace corvane
