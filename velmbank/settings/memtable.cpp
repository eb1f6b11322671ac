#include "memtable.h"

#include "codepage.h"

#include <algorithm>
#include <limits>
#include <utility>

EMemTableError::EMemTableError(const QString &text) : Text(text), Message(ToWin1251(text)) {}

namespace {

// %g of the original message formatter: up to 15 significant digits, no exponent for
// everything an integer field can reasonably hold.
QString FormatG(qint64 value) { return QString::number(double(value), 'g', 15); }

[[noreturn]] void Refuse(const QString &text) { throw EMemTableError(text); }

// Case-insensitive prefix of a word, the way the original logical fields read "T" or "fal".
bool IsPrefixOf(const QByteArray &value, const char *word)
{
    const QByteArray w(word);
    return !value.isEmpty() && value.size() <= w.size()
           && value.compare(w.left(value.size()), Qt::CaseInsensitive) == 0;
}

} // namespace

// --- TMemField --------------------------------------------------------------------------------

const TMemFieldDef &TMemField::Def() const { return m_table->FieldDef(m_index); }
bool TMemField::IsNull() const { return m_table->IsNull(m_index); }
QByteArray TMemField::AsString() const { return m_table->AsString(m_index); }
qint64 TMemField::AsInteger() const { return m_table->AsInteger(m_index); }
bool TMemField::AsBoolean() const { return m_table->AsBoolean(m_index); }
void TMemField::SetAsString(const QByteArray &value) const { m_table->SetAsString(m_index, value); }
void TMemField::SetAsInteger(qint64 value) const { m_table->SetAsInteger(m_index, value); }
void TMemField::SetAsBoolean(bool value) const { m_table->SetAsBoolean(m_index, value); }
void TMemField::Clear() const { m_table->Clear(m_index); }

// --- structure ---------------------------------------------------------------------------------

TMemTable::TMemTable(QObject *parent) : QObject(parent) {}
TMemTable::~TMemTable() = default;

int TMemTable::addField(const QString &name, TMemFieldKind kind, int size, std::optional<qint64> minValue,
                        std::optional<qint64> maxValue)
{
    if (Active())
        Refuse(QStringLiteral("Cannot perform this operation on an open dataset"));
    const QString key = name.toUpper();
    if (key.isEmpty())
        Refuse(QStringLiteral("Field name missing"));
    if (m_byName.contains(key))
        Refuse(QStringLiteral("Duplicate field name '%1'").arg(name));
    if (minValue && *minValue > *maxValue)
        Refuse(QStringLiteral("Field '%1' has an empty range").arg(name));
    const bool tell = viewsListening(); // the column count of views changes
    if (tell)
        Q_EMIT AboutToReset();
    TMemFieldDef def;
    def.Name = name;
    def.Kind = kind;
    def.Size = std::max(0, size);
    def.MinValue = minValue;
    def.MaxValue = maxValue;
    def.Slot = kind == TMemFieldKind::Text ? m_textSlots++ : m_numberSlots++;
    m_fields.push_back(def);
    const int index = int(m_fields.size()) - 1;
    m_byName.insert(key, index);
    if (tell)
        Q_EMIT ResetDone();
    return index;
}

int TMemTable::AddTextField(const QString &name, int size)
{
    return addField(name, TMemFieldKind::Text, size, std::nullopt, std::nullopt);
}

int TMemTable::AddIntegerField(const QString &name)
{
    return addField(name, TMemFieldKind::Integer, 0, std::nullopt, std::nullopt);
}

int TMemTable::AddIntegerField(const QString &name, qint64 minValue, qint64 maxValue)
{
    return addField(name, TMemFieldKind::Integer, 0, minValue, maxValue);
}

int TMemTable::AddLogicalField(const QString &name)
{
    return addField(name, TMemFieldKind::Logical, 0, std::nullopt, std::nullopt);
}

void TMemTable::ClearFields()
{
    if (Active())
        Refuse(QStringLiteral("Cannot perform this operation on an open dataset"));
    if (m_fields.empty())
        return;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT AboutToReset();
    m_fields.clear();
    m_byName.clear();
    m_textSlots = m_numberSlots = 0;
    if (tell)
        Q_EMIT ResetDone();
}

int TMemTable::FieldIndex(const QString &name) const
{
    // Callers mostly spell a name as it was defined, once per row: that is found without making
    // an upper-case copy (names are unique whatever their case).
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].Name == name)
            return int(i);
    return m_byName.value(name.toUpper(), -1);
}

TMemField TMemTable::FieldByName(const QString &name)
{
    const int index = FieldIndex(name);
    if (index < 0)
        Refuse(QStringLiteral("Field '%1' not found").arg(name));
    return TMemField(this, index);
}

int TMemTable::checkField(int field) const
{
    if (field < 0 || field >= int(m_fields.size()))
        Refuse(QStringLiteral("Field index out of range"));
    return field;
}

// --- life ---------------------------------------------------------------------------------------

void TMemTable::Open()
{
    if (Active())
        return;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT AboutToReset();
    clearRows();
    m_state = TMemTableState::Browse;
    m_cur = 0;
    m_bof = m_eof = true;
    if (tell)
        Q_EMIT ResetDone();
}

void TMemTable::Close()
{
    if (!Active())
        return;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT AboutToReset();
    m_backup.reset();
    clearRows();
    m_state = TMemTableState::Inactive;
    m_cur = 0;
    m_bof = m_eof = true;
    if (tell)
        Q_EMIT ResetDone();
}

void TMemTable::CopyFrom(const TMemTable &source)
{
    if (&source == this)
        return;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT AboutToReset();
    m_backup.reset();
    clearRows();
    m_fields = source.m_fields;
    m_byName = source.m_byName;
    m_textSlots = source.m_textSlots;
    m_numberSlots = source.m_numberSlots;
    m_buf.reserve(size_t(source.m_count));
    for (int r = 0; r < source.m_count; ++r)
        m_buf.push_back(source.rowAt(r)); // implicitly shared: no cell is copied until written
    // A row of the source still being edited is taken as it stands now.
    m_count = source.m_count;
    m_gapStart = m_gapEnd = m_buf.size();
    m_state = TMemTableState::Browse;
    m_cur = 0;
    m_bof = true;
    m_eof = m_count == 0;
    if (tell)
        Q_EMIT ResetDone();
    if (!m_disabled)
        Q_EMIT CurrentChanged(CurrentRow());
}

void TMemTable::checkActive() const
{
    if (!Active())
        Refuse(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TMemTable::checkBrowseMode()
{
    checkActive();
    if (m_state == TMemTableState::Edit || m_state == TMemTableState::Insert)
        Post();
}

void TMemTable::checkWritable() const
{
    checkActive();
    if (m_state != TMemTableState::Edit && m_state != TMemTableState::Insert)
        Refuse(QStringLiteral("Dataset not in edit or insert mode"));
}

// --- cursor -------------------------------------------------------------------------------------

void TMemTable::setCurrent(int row)
{
    if (row == m_cur)
        return;
    m_cur = row;
    if (!m_disabled)
        Q_EMIT CurrentChanged(CurrentRow());
}

void TMemTable::First()
{
    checkBrowseMode();
    setCurrent(0);
    m_bof = true;
    m_eof = m_count == 0;
}

void TMemTable::Last()
{
    checkBrowseMode();
    setCurrent(std::max(0, m_count - 1));
    m_eof = true;
    m_bof = m_count == 0;
}

void TMemTable::Next() { MoveBy(1); }
void TMemTable::Prior() { MoveBy(-1); }

int TMemTable::MoveBy(int distance)
{
    checkBrowseMode();
    if (m_count == 0) {
        m_bof = m_eof = true;
        return 0;
    }
    if (distance == 0)
        return 0;
    const qint64 wanted = qint64(m_cur) + distance;
    const int target = int(std::clamp<qint64>(wanted, 0, m_count - 1));
    const int moved = target - m_cur;
    setCurrent(target);
    if (distance > 0) {
        m_bof = false;
        m_eof = wanted > m_count - 1;
    } else {
        m_eof = false;
        m_bof = wanted < 0;
    }
    return moved;
}

void TMemTable::SetRecNo(int recNo) { GotoBookmark(TBookmark{recNo}); }

void TMemTable::GotoBookmark(TBookmark b)
{
    checkBrowseMode();
    if (!BookmarkValid(b))
        return;
    setCurrent(b.Ordinal - 1);
    m_bof = m_eof = false;
}

// --- row operations -------------------------------------------------------------------------

TMemTable::Row TMemTable::newRow() const
{
    Row r;
    r.Texts.resize(m_textSlots);
    r.Numbers.resize(m_numberSlots);
    return r;
}

void TMemTable::Append()
{
    checkBrowseMode();
    startInsertAt(m_count);
}

void TMemTable::Insert()
{
    checkBrowseMode();
    startInsertAt(m_count ? m_cur : 0);
}

void TMemTable::startInsertAt(int at)
{
    m_cursorBeforeInsert = m_cur;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT RowsAboutToBeInserted(at, at);
    insertRow(at, newRow());
    if (tell)
        Q_EMIT RowsInserted();
    m_state = TMemTableState::Insert;
    m_cur = -1; // so that the move to the new row is reported
    setCurrent(at);
    m_bof = m_eof = false;
}

void TMemTable::Edit()
{
    checkActive();
    if (m_state == TMemTableState::Edit || m_state == TMemTableState::Insert)
        return;
    if (m_count == 0) {
        Append();
        return;
    }
    m_backup = rowAt(m_cur); // shared; the first write detaches the current row
    m_state = TMemTableState::Edit;
}

void TMemTable::Post()
{
    checkWritable();
    m_state = TMemTableState::Browse;
    m_backup.reset();
    if (viewsListening())
        Q_EMIT RowChanged(m_cur);
    Q_EMIT AfterPost();
}

void TMemTable::Cancel()
{
    if (m_state == TMemTableState::Insert) {
        m_state = TMemTableState::Browse;
        const bool tell = viewsListening();
        if (tell)
            Q_EMIT RowsAboutToBeRemoved(m_cur, m_cur);
        removeRow(m_cur);
        if (tell)
            Q_EMIT RowsRemoved();
        const int back = std::clamp(m_cursorBeforeInsert, 0, std::max(0, m_count - 1));
        m_cur = -1;
        setCurrent(back);
        m_bof = m_eof = m_count == 0;
    } else if (m_state == TMemTableState::Edit) {
        m_state = TMemTableState::Browse;
        currentRow() = std::move(*m_backup);
        m_backup.reset();
        if (viewsListening())
            Q_EMIT RowChanged(m_cur);
    }
}

void TMemTable::Delete()
{
    checkActive();
    if (m_state == TMemTableState::Insert) { // the new row was never posted
        Cancel();
        return;
    }
    if (m_count == 0)
        Refuse(QStringLiteral("Cannot perform this operation on an empty dataset"));
    m_state = TMemTableState::Browse;
    m_backup.reset();
    const int row = m_cur;
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT RowsAboutToBeRemoved(row, row);
    removeRow(row);
    if (tell)
        Q_EMIT RowsRemoved();
    const bool wasLast = row >= m_count;
    m_cur = -1;
    setCurrent(wasLast ? std::max(0, m_count - 1) : row);
    m_bof = m_count == 0;
    m_eof = m_count == 0 || wasLast;
}

void TMemTable::EmptyTable()
{
    checkActive();
    m_state = TMemTableState::Browse;
    m_backup.reset();
    const bool tell = viewsListening();
    if (tell)
        Q_EMIT AboutToReset();
    clearRows();
    if (tell)
        Q_EMIT ResetDone();
    m_cur = -1;
    setCurrent(0);
    m_bof = m_eof = true;
}

// --- values ------------------------------------------------------------------------------------

const TMemTable::Row &TMemTable::rowAt(int row) const
{
    if (row < 0 || row >= m_count)
        Refuse(QStringLiteral("Row index out of range"));
    return m_buf[physical(row)];
}

TMemTable::Row &TMemTable::currentRow() { return m_buf[physical(m_cur)]; }

bool TMemTable::IsNull(int field) const
{
    checkField(field);
    return m_count == 0 || IsNullAt(m_cur, field);
}

QByteArray TMemTable::AsString(int field) const
{
    checkField(field);
    return m_count ? StringAt(m_cur, field) : QByteArray();
}

qint64 TMemTable::AsInteger(int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    if (m_count == 0)
        return 0;
    if (def.Kind == TMemFieldKind::Text) {
        const QByteArray &text = TextAt(m_cur, field);
        return text.isEmpty() ? 0 : parseInteger(def, text);
    }
    return IntegerAt(m_cur, field);
}

bool TMemTable::AsBoolean(int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    if (m_count == 0)
        return false;
    if (def.Kind == TMemFieldKind::Text) {
        const QByteArray &text = TextAt(m_cur, field);
        if (text.isEmpty() || text == "0" || IsPrefixOf(text, "False"))
            return false;
        if (text == "1" || IsPrefixOf(text, "True"))
            return true;
        Refuse(QStringLiteral("'%1' is not a valid boolean value for field '%2'")
                   .arg(FromWin1251(text), def.Name));
    }
    return IntegerAt(m_cur, field) != 0;
}

qint64 TMemTable::parseInteger(const TMemFieldDef &def, const QByteArray &value) const
{
    // Leading blanks, a sign and decimal digits, as the original conversion reads them.
    qsizetype i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    bool ok = i < value.size();
    quint64 magnitude = 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    for (; ok && i < value.size(); ++i) {
        const char c = value[i];
        if (c < '0' || c > '9' || magnitude > (limit - quint64(c - '0')) / 10) {
            ok = false;
            break;
        }
        magnitude = magnitude * 10 + quint64(c - '0');
    }
    if (!ok)
        Refuse(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                   .arg(FromWin1251(value), def.Name));
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

void TMemTable::checkRange(const TMemFieldDef &def, qint64 value) const
{
    if (def.MinValue && (value < *def.MinValue || value > *def.MaxValue))
        Refuse(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                   .arg(FormatG(value), def.Name, FormatG(*def.MinValue), FormatG(*def.MaxValue)));
}

void TMemTable::SetAsString(int field, const QByteArray &value)
{
    const TMemFieldDef &def = FieldDef(field);
    checkWritable();
    switch (def.Kind) {
    case TMemFieldKind::Text:
        // Kept whole even beyond Size: cutting would corrupt what is later sent back.
        currentRow().Texts[def.Slot] = value.isEmpty() ? QByteArray() : value;
        return;
    case TMemFieldKind::Integer:
        if (value.isEmpty())
            Clear(field);
        else
            SetAsInteger(field, parseInteger(def, value));
        return;
    case TMemFieldKind::Logical:
        if (value.isEmpty())
            Clear(field);
        else if (value == "1" || IsPrefixOf(value, "True"))
            SetAsBoolean(field, true);
        else if (value == "0" || IsPrefixOf(value, "False"))
            SetAsBoolean(field, false);
        else
            Refuse(QStringLiteral("'%1' is not a valid boolean value for field '%2'")
                       .arg(FromWin1251(value), def.Name));
        return;
    }
}

void TMemTable::SetAsInteger(int field, qint64 value)
{
    const TMemFieldDef &def = FieldDef(field);
    checkWritable();
    switch (def.Kind) {
    case TMemFieldKind::Text: currentRow().Texts[def.Slot] = QByteArray::number(value); return;
    case TMemFieldKind::Integer:
        checkRange(def, value); // refused values leave the former one
        currentRow().Numbers[def.Slot] = Number{value, false};
        return;
    case TMemFieldKind::Logical: currentRow().Numbers[def.Slot] = Number{value != 0, false}; return;
    }
}

void TMemTable::SetAsBoolean(int field, bool value)
{
    const TMemFieldDef &def = FieldDef(field);
    checkWritable();
    if (def.Kind == TMemFieldKind::Text)
        currentRow().Texts[def.Slot] = value ? QByteArray("True") : QByteArray("False");
    else
        SetAsInteger(field, value ? 1 : 0);
}

void TMemTable::Clear(int field)
{
    const TMemFieldDef &def = FieldDef(field);
    checkWritable();
    if (def.Kind == TMemFieldKind::Text)
        currentRow().Texts[def.Slot] = QByteArray();
    else
        currentRow().Numbers[def.Slot] = Number{};
}

bool TMemTable::IsNullAt(int row, int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    const Row &r = rowAt(row);
    return def.Kind == TMemFieldKind::Text ? r.Texts[def.Slot].isEmpty() : r.Numbers[def.Slot].Null;
}

const QByteArray &TMemTable::TextAt(int row, int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    if (def.Kind != TMemFieldKind::Text)
        Refuse(QStringLiteral("Field '%1' is not a text field").arg(def.Name));
    return rowAt(row).Texts[def.Slot];
}

qint64 TMemTable::IntegerAt(int row, int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    if (def.Kind == TMemFieldKind::Text)
        Refuse(QStringLiteral("Field '%1' is a text field").arg(def.Name));
    const Number &n = rowAt(row).Numbers[def.Slot];
    return n.Null ? 0 : n.Value;
}

QByteArray TMemTable::StringAt(int row, int field) const
{
    const TMemFieldDef &def = FieldDef(field);
    const Row &r = rowAt(row);
    if (def.Kind == TMemFieldKind::Text)
        return r.Texts[def.Slot];
    const Number &n = r.Numbers[def.Slot];
    if (n.Null)
        return QByteArray();
    if (def.Kind == TMemFieldKind::Logical)
        return n.Value ? QByteArray("True") : QByteArray("False");
    return QByteArray::number(n.Value);
}

// --- gap buffer ---------------------------------------------------------------------------------

void TMemTable::moveGap(size_t to)
{
    while (m_gapStart > to) {
        --m_gapStart;
        --m_gapEnd;
        m_buf[m_gapEnd] = std::move(m_buf[m_gapStart]);
    }
    while (m_gapStart < to) {
        m_buf[m_gapStart] = std::move(m_buf[m_gapEnd]);
        ++m_gapStart;
        ++m_gapEnd;
    }
}

void TMemTable::insertRow(int row, Row &&value)
{
    const size_t at = size_t(row);
    if (m_gapStart == m_gapEnd) {
        // Full: double the buffer and open the gap right where the row goes.
        const size_t count = size_t(m_count);
        const size_t capacity = std::max<size_t>(16, count * 2);
        std::vector<Row> grown(capacity);
        for (size_t i = 0; i < at; ++i)
            grown[i] = std::move(m_buf[physical(int(i))]);
        const size_t tail = count - at;
        for (size_t i = 0; i < tail; ++i)
            grown[capacity - tail + i] = std::move(m_buf[physical(int(at + i))]);
        m_buf.swap(grown);
        m_gapStart = at;
        m_gapEnd = capacity - tail;
    } else {
        moveGap(at);
    }
    m_buf[m_gapStart++] = std::move(value);
    ++m_count;
}

void TMemTable::removeRow(int row)
{
    moveGap(size_t(row));
    m_buf[m_gapEnd++] = Row();
    --m_count;
}

void TMemTable::clearRows()
{
    std::vector<Row>().swap(m_buf);
    m_gapStart = m_gapEnd = 0;
    m_count = 0;
}

// --- notifications ------------------------------------------------------------------------------

bool TMemTable::viewsListening()
{
    if (m_disabled) {
        m_missed = true;
        return false;
    }
    return true;
}

void TMemTable::DisableControls() { ++m_disabled; }

void TMemTable::EnableControls()
{
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    if (m_missed) {
        m_missed = false;
        Q_EMIT AboutToReset();
        Q_EMIT ResetDone();
    }
    Q_EMIT CurrentChanged(CurrentRow());
}
