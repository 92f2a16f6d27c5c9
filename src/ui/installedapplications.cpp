#include "installedapplications.h"

#include <QCollator>
#include <QHash>
#include <QVariantMap>

#include <algorithm>

namespace corvane {

InstalledApplications::InstalledApplications(Source source, QObject *parent)
    : QAbstractListModel(parent)
    , m_source(std::move(source))
{ }

int InstalledApplications::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant InstalledApplications::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const InstalledApplication &application = m_shown.at(index.row());
    switch (role) {
    case bundleIDRole:
        return application.bundleID;
    case nameRole:
    case Qt::DisplayRole:
        return application.name;
    default:
        return {};
    }
}

QHash<int, QByteArray> InstalledApplications::roleNames() const
{
    return { { bundleIDRole, "bundleID" }, { nameRole, "name" } };
}

void InstalledApplications::setFilter(const QString &filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    applyFilter();
    Q_EMIT filterChanged();
}

void InstalledApplications::reload()
{
    m_all = m_source ? m_source() : QList<InstalledApplication> {};
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_all.begin(), m_all.end(),
        [&](const InstalledApplication &a, const InstalledApplication &b) {
            return collator.compare(a.name, b.name) < 0;
        });
    applyFilter();
}

void InstalledApplications::applyFilter()
{
    beginResetModel();
    m_shown.clear();
    const QString wanted = m_filter.trimmed();
    for (const InstalledApplication &application : std::as_const(m_all)) {
        if (wanted.isEmpty() || application.name.contains(wanted, Qt::CaseInsensitive)
            || application.bundleID.contains(wanted, Qt::CaseInsensitive))
            m_shown << application;
    }
    endResetModel();
}

QVariantList InstalledApplications::installedEntries(const QStringList &bundleIDs)
{
    // Read afresh each time: applications come and go while the window is open, and the
    // source only reads the folders again when they changed.
    QHash<QString, QString> names;
    for (const InstalledApplication &application :
        m_source ? m_source() : QList<InstalledApplication> {})
        names.insert(application.bundleID, application.name);
    QVariantList entries;
    for (const QString &bundleID : bundleIDs) {
        const auto found = names.constFind(bundleID);
        if (found != names.cend()) {
            entries << QVariantMap { { QStringLiteral("bundleID"), bundleID },
                { QStringLiteral("name"), found.value() } };
        }
    }
    return entries;
}

int InstalledApplications::uninstalledCount(const QStringList &bundleIDs)
{
    return int(bundleIDs.size() - installedEntries(bundleIDs).size());
}

QString InstalledApplications::uninstalledCaption(int count)
{
    if (count <= 0)
        return {};
    return QString::number(count) + QStringLiteral(" more ")
        + (count == 1 ? QStringLiteral("app is") : QStringLiteral("apps are"))
        + QStringLiteral(" on the list but not installed. They stay covered if you install "
                         "them later.");
}

} // namespace corvane
