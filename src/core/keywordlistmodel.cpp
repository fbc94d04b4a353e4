#include "core/keywordlistmodel.h"

#include <limits>

KeywordListModel::KeywordListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

QString KeywordListModel::itemAt(qsizetype index) const
{
    if (index < 0 || index >= m_items.size())
        return QString();
    return m_items.at(index);
}

void KeywordListModel::append(const QString &item)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_items.append(item);
    endInsertRows();
}

void KeywordListModel::append(const QStringList &items)
{
    if (items.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(items.size()) - 1);
    m_items.append(items);
    endInsertRows();
}

bool KeywordListModel::removeAt(qsizetype index)
{
    return removeRange(index, 1);
}

bool KeywordListModel::removeRange(qsizetype first, qsizetype count)
{
    if (first < 0 || count <= 0 || first > m_items.size() - count)
        return false;
    beginRemoveRows(QModelIndex(), int(first), int(first + count - 1));
    m_items.remove(first, count);
    endRemoveRows();
    return true;
}

void KeywordListModel::removeRuns(const QList<std::pair<qsizetype, qsizetype>> &runsFromBack)
{
    for (const auto &[first, count] : runsFromBack)
        removeRange(first, count);
}

void KeywordListModel::keepOnly(const QList<bool> &remove, qsizetype from)
{
    beginResetModel();
    QStringList kept;
    kept.reserve(m_items.size());
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (i < from || !remove.at(i - from))
            kept.append(std::move(m_items[i]));
    }
    m_items = std::move(kept);
    endResetModel();
}

int KeywordListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    // Item views address rows with int; the list itself has no such limit.
    return int(std::min<qsizetype>(m_items.size(), std::numeric_limits<int>::max()));
}

QVariant KeywordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_items.at(index.row());
    return QVariant();
}
