#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <algorithm>
#include <utility>

// The keyword list shown in List1: an ordered sequence of strings, never sorted.
// Any string is a valid item, the empty string and duplicates included.
class KeywordListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit KeywordListModel(QObject *parent = nullptr);

    qsizetype count() const { return m_items.size(); }
    // The item's text, or the empty string where there is no item (negative indexes included).
    QString itemAt(qsizetype index) const;
    void append(const QString &item);
    // One insertion for many items, so a view lays out once.
    void append(const QStringList &items);
    // Removes item `index`; later items move down by one. Where there is no item the list
    // stays as it was and the result is false.
    bool removeAt(qsizetype index);
    // Removes `count` items from `first` on in one step; false and no change when the range
    // is not wholly inside the list.
    bool removeRange(qsizetype first, qsizetype count);
    // Removes the items from `from` on for which `matches` holds and returns how many went.
    // A few runs of them are removed in place, so a view keeps its selection; many scattered
    // ones are removed in one pass and a model reset.
    template<typename Predicate>
    qsizetype removeIf(Predicate matches, qsizetype from = 0);

    const QStringList &items() const { return m_items; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void removeRuns(const QList<std::pair<qsizetype, qsizetype>> &runsFromBack);
    void keepOnly(const QList<bool> &remove, qsizetype from);

    QStringList m_items;
};

template<typename Predicate>
qsizetype KeywordListModel::removeIf(Predicate matches, qsizetype from)
{
    constexpr qsizetype maxRuns = 64;
    QList<std::pair<qsizetype, qsizetype>> runs; // (first, count), from the back
    qsizetype removed = 0;
    qsizetype end = m_items.size();
    const qsizetype begin = std::max<qsizetype>(from, 0);
    while (end > begin) {
        while (end > begin && !matches(m_items.at(end - 1)))
            --end;
        qsizetype first = end;
        while (first > begin && matches(m_items.at(first - 1)))
            --first;
        if (first < end) {
            runs.append({first, end - first});
            removed += end - first;
        }
        end = first;
        if (runs.size() > maxRuns)
            break;
    }
    if (runs.size() <= maxRuns) {
        removeRuns(runs);
        return removed;
    }
    QList<bool> remove(m_items.size() - begin);
    for (qsizetype i = begin; i < m_items.size(); ++i)
        remove[i - begin] = matches(m_items.at(i));
    const qsizetype before = m_items.size();
    keepOnly(remove, begin);
    return before - m_items.size();
}
