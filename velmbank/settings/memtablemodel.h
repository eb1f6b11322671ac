#pragma once
// An item model over a memory table for the grids: rows are read in place (nothing is copied),
// and the table's row notifications become the model's, so a view follows appends, inserts,
// deletes and posts without being reset. Captions and alignment are the grid's business and
// are kept here, not in the table.

#include "memtable.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

class TMemTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        MaxLengthRole = Qt::UserRole + 1, // a text field's width: what an editor lets the operator type
        FieldNameRole,                    // horizontal header: the field's name
    };

    explicit TMemTableModel(TMemTable *table, QObject *parent = nullptr);

    TMemTable *Table() const { return m_table; }

    // Header text of a column; the field name while none is set.
    void SetCaption(int column, const QString &caption);
    void SetAlignment(int column, Qt::Alignment alignment);
    // Editable cells go through Edit and Post of the table; a refused value is shown and the
    // row keeps its former value.
    void SetEditable(bool editable) { m_editable = editable; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

Q_SIGNALS:
    void CurrentRowChanged(int row); // the table's cursor, 0-based, -1 on an empty table
    // setData refused a value (the table's message); the view tells the operator, since an
    // item model must not open a box in the middle of an edit.
    void EditRefused(const QString &message);

private:
    bool validCell(const QModelIndex &index) const;

    QPointer<TMemTable> m_table;
    QHash<int, QString> m_captions;
    QHash<int, Qt::Alignment> m_alignments;
    bool m_editable = false;
};
