#pragma once

#include "store/pinboard.h"

#include <QAbstractListModel>

#include <vector>

namespace corvane {

// The pinboards in tab order, for the panel's tab strip. Reset only when the list differs.
class PinboardListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // Role names are the tab delegate's required property names.
    enum Role {
        PinboardIDRole = Qt::UserRole + 1,
        NameRole,
        ColorIndexRole,
        ItemCountRole,
        PositionRole,
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    const std::vector<Pinboard> &pinboards() const { return m_pinboards; }
    // Replaces the list; false, and nothing notified, when it equals the current one.
    bool setPinboards(const std::vector<Pinboard> &pinboards);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    std::vector<Pinboard> m_pinboards;
};

} // namespace corvane
