#pragma once

#include <QAbstractListModel>
#include <QStringList>

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
    // Replaces the whole list in one reset (used to commit a bulk edit).
    void replaceAll(QStringList items);

    const QStringList &items() const { return m_items; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QStringList m_items;
};
