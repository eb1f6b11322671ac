#include "replies.h"

QList<QByteArray> ReplyItems(const QByteArray &text, char sep)
{
    QList<QByteArray> items;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype at = text.indexOf(sep, from);
        if (at < 0)
            at = text.size();
        if (at == from)
            break;
        items.append(text.mid(from, at - from));
        from = at + 1;
    }
    return items;
}

void AddReplyRecord(TMemTable *table, const QByteArray &record, char sep, int fields, bool insert)
{
    const QList<QByteArray> pieces = record.split(sep);
    if (insert)
        table->Insert();
    else
        table->Append();
    try {
        for (int f = 0; f < fields; ++f)
            table->SetAsString(f, pieces.value(f));
        table->Post();
    } catch (...) {
        table->Cancel();
        throw;
    }
}

QByteArray RecordArgument(const TMemTable *table, int row, std::initializer_list<int> fields)
{
    QByteArray record;
    bool first = true;
    for (int f : fields) {
        const QByteArray value = row < 0 ? QByteArray() : table->StringAt(row, f);
        for (char c : value) {
            if (c == '\x00' || c == ListSep || c == FieldSep || c == '\x1b')
                throw EMemTableError(
                    QStringLiteral("Значение поля '%1' содержит служебный символ с кодом %2 и "
                                   "не может быть передано на сервер")
                        .arg(table->FieldDef(f).Name)
                        .arg(int(static_cast<unsigned char>(c))));
        }
        if (!first)
            record.append(FieldSep);
        record.append(value);
        first = false;
    }
    return record;
}
