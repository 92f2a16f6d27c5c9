#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QQmlEngine;
class QQuickItem;

namespace corvane {

class HistoryModel;

// The history panel's content: registers what the views need on an engine and builds the
// panel view over the model inside a given item. The window around it is its owner's.
class PanelContent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString blobFolder READ blobFolder CONSTANT)

public:
    // Registers the image providers on engine; blobFolder is the store's payload folder.
    PanelContent(QQmlEngine &engine, HistoryModel &model, const QString &blobFolder,
        QObject *parent = nullptr);
    ~PanelContent() override;

    // Creates the panel view as a child of parentItem, filling it; nullptr (with the QML
    // errors logged) when the view cannot be built.
    QQuickItem *create(QQuickItem *parentItem);

    // Called when the view asks to hide the panel (Escape).
    std::function<void()> onDismiss;

    // The store's payload folder, where image cards read their pictures.
    QString blobFolder() const { return m_blobFolder; }

    // Puts keyboard focus in the search field.
    void focusSearch();

    // The view's way to ask for the panel to hide.
    Q_INVOKABLE void dismiss();

Q_SIGNALS:
    void focusSearchRequested();

private:
    QQmlEngine &m_engine;
    HistoryModel &m_model;
    QString m_blobFolder;
};

} // namespace corvane
