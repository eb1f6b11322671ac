#include "memtablemodel.h"

#include "codepage.h"

TMemTableModel::TMemTableModel(TMemTable *table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table)
{
    connect(table, &TMemTable::RowsAboutToBeInserted, this,
            [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(table, &TMemTable::RowsInserted, this, [this] { endInsertRows(); });
    connect(table, &TMemTable::RowsAboutToBeRemoved, this,
            [this](int first, int last) { beginRemoveRows(QModelIndex(), first, last); });
    connect(table, &TMemTable::RowsRemoved, this, [this] { endRemoveRows(); });
    connect(table, &TMemTable::RowChanged, this, [this](int row) {
        if (columnCount() > 0)
            Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    connect(table, &TMemTable::AboutToReset, this, [this] { beginResetModel(); });
    connect(table, &TMemTable::ResetDone, this, [this] { endResetModel(); });
    connect(table, &TMemTable::CurrentChanged, this, &TMemTableModel::CurrentRowChanged);
    // A table that goes away first leaves an empty model rather than a dangling one.
    connect(table, &QObject::destroyed, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

void TMemTableModel::SetCaption(int column, const QString &caption)
{
    m_captions.insert(column, caption);
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

void TMemTableModel::SetAlignment(int column, Qt::Alignment alignment)
{
    m_alignments.insert(column, alignment);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::TextAlignmentRole});
}

int TMemTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_table ? 0 : m_table->RecordCount();
}

int TMemTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_table ? 0 : m_table->FieldCount();
}

bool TMemTableModel::validCell(const QModelIndex &index) const
{
    return m_table && index.isValid() && !index.parent().isValid() && index.row() >= 0
           && index.row() < m_table->RecordCount() && index.column() >= 0
           && index.column() < m_table->FieldCount();
}

QVariant TMemTableModel::data(const QModelIndex &index, int role) const
{
    if (!validCell(index))
        return {};
    const int row = index.row();
    const int field = index.column();
    const TMemFieldDef &def = m_table->FieldDef(field);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return FromWin1251(m_table->StringAt(row, field));
    case Qt::CheckStateRole:
        if (def.Kind != TMemFieldKind::Logical)
            return {};
        return m_table->IntegerAt(row, field) ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole: {
        const auto it = m_alignments.constFind(field);
        return it == m_alignments.cend() ? QVariant() : QVariant(int(*it));
    }
    case MaxLengthRole: return def.Kind == TMemFieldKind::Text ? QVariant(def.Size) : QVariant();
    default: return {};
    }
}

QVariant TMemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && m_table && section >= 0 && section < m_table->RecordCount())
            return section + 1;
        return {};
    }
    if (!m_table || section < 0 || section >= m_table->FieldCount())
        return {};
    if (role == FieldNameRole)
        return m_table->FieldDef(section).Name;
    if (role != Qt::DisplayRole)
        return {};
    const auto it = m_captions.constFind(section);
    return it == m_captions.cend() ? m_table->FieldDef(section).Name : *it;
}

Qt::ItemFlags TMemTableModel::flags(const QModelIndex &index) const
{
    if (!validCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_editable) {
        if (m_table->FieldDef(index.column()).Kind == TMemFieldKind::Logical)
            f |= Qt::ItemIsUserCheckable;
        else
            f |= Qt::ItemIsEditable;
    }
    return f;
}

bool TMemTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_editable || !validCell(index))
        return false;
    const int field = index.column();
    const bool logical = m_table->FieldDef(field).Kind == TMemFieldKind::Logical;
    if (role != (logical ? Qt::CheckStateRole : Qt::EditRole))
        return false;
    try {
        m_table->SetRecNo(index.row() + 1);
        m_table->Edit();
        if (logical)
            m_table->SetAsBoolean(field, value.toInt() == Qt::Checked);
        else
            m_table->SetAsString(field, ToWin1251(value.toString()));
        m_table->Post(); // tells the view through RowChanged
        return true;
    } catch (const EMemTableError &e) {
        m_table->Cancel();
        Q_EMIT EditRefused(e.Text);
        return false;
    }
}
