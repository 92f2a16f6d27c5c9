#include "panel/pinboardlistmodel.h"

namespace corvane {

bool PinboardListModel::setPinboards(const std::vector<Pinboard> &pinboards)
{
    if (pinboards == m_pinboards)
        return false;
    beginResetModel();
    m_pinboards = pinboards;
    endResetModel();
    return true;
}

int PinboardListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_pinboards.size());
}

QVariant PinboardListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Pinboard &pinboard = m_pinboards[static_cast<std::size_t>(index.row())];
    switch (role) {
    case PinboardIDRole:
        return QVariant::fromValue(static_cast<qint64>(pinboard.id));
    case NameRole:
    case Qt::DisplayRole:
        return pinboard.name;
    case ColorIndexRole:
        return QVariant::fromValue(static_cast<qint64>(pinboard.colorIndex));
    case ItemCountRole:
        return QVariant::fromValue(static_cast<qint64>(pinboard.itemCount));
    case PositionRole:
        return index.row();
    default:
        return {};
    }
}

QHash<int, QByteArray> PinboardListModel::roleNames() const
{
    return {
        { PinboardIDRole, "pinboardID" },
        { NameRole, "name" },
        { ColorIndexRole, "colorIndex" },
        { ItemCountRole, "itemCount" },
        { PositionRole, "position" },
    };
}

} // namespace corvane
