#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace corvane {

// One installed application: its desktop entry id (what ignore lists hold) and its name.
struct InstalledApplication
{
    QString bundleID;
    QString name;
};

// The installed applications for the settings window: the chooser's searchable list, and
// which entries of an ignore list are installed. The list is read from its source each time
// a chooser opens or an ignore list is shown, so applications installed meanwhile appear.
class InstalledApplications : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the settings window")
    Q_PROPERTY(QString filter READ filter WRITE setFilter NOTIFY filterChanged)

public:
    using Source = std::function<QList<InstalledApplication>()>;
    enum Role { bundleIDRole = Qt::UserRole + 1, nameRole };

    explicit InstalledApplications(Source source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString filter() const { return m_filter; }
    // Shows only applications whose name or id contains the text, ignoring case.
    void setFilter(const QString &filter);

    // Reads the installed applications again, sorted by name.
    Q_INVOKABLE void reload();
    // The installed entries of an ignore list in its order, each as {bundleID, name}.
    Q_INVOKABLE QVariantList installedEntries(const QStringList &bundleIDs);
    // How many entries of an ignore list are not installed.
    Q_INVOKABLE int uninstalledCount(const QStringList &bundleIDs);
    // The caption for n listed applications that are not installed; empty for 0.
    Q_INVOKABLE static QString uninstalledCaption(int count);

Q_SIGNALS:
    void filterChanged();

private:
    void applyFilter();

    Source m_source;
    QList<InstalledApplication> m_all;
    QList<InstalledApplication> m_shown;
    QString m_filter;
};

} // namespace corvane
