// Arbitrary server replies read into the settings tables: never a crash, a refusal is an
// EMemTableError that leaves exactly the rows before it, accepted rows hold their pieces
// whole, and a row sent back either is refused or splits into the same number of fields.
#include "data.h"
#include "replies.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TdmSet *dm = new TdmSet;
    if (size == 0)
        return 0;
    const int mode = data[0] % 4; // tasks, settings, setting fields, automatic fields
    const QByteArray reply(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    TMemTable *t = mode == 0 ? dm->tbTasks : mode == 1 ? dm->tbSets : dm->tbSet;
    const int fields = mode == 0   ? int(TdmSet::tkCount)
                       : mode == 1 ? int(TdmSet::stCount)
                                   : int(TdmSet::sfCount);
    const char recordSep = mode == 3 ? FieldSep : ListSep;
    const char fieldSep = mode == 3 ? ListSep : FieldSep;
    t->EmptyTable();

    const QList<QByteArray> records = ReplyItems(reply, recordSep);
    if (!reply.startsWith(records.join(recordSep)))
        std::abort();
    int added = 0;
    for (const QByteArray &record : records) {
        if (record.isEmpty() || record.contains(recordSep))
            std::abort();
        try {
            AddReplyRecord(t, record, fieldSep, fields, mode == 3);
        } catch (const EMemTableError &) {
            break;
        }
        ++added;
        const QList<QByteArray> pieces = record.split(fieldSep);
        const int row = t->CurrentRow();
        for (int f = 0; f < fields; ++f) {
            const QByteArray piece = pieces.value(f);
            if (t->IsNullAt(row, f) != piece.isEmpty())
                std::abort();
            if (t->FieldDef(f).Kind == TMemFieldKind::Text && t->TextAt(row, f) != piece)
                std::abort();
        }
    }
    if (t->RecordCount() != added || t->State() != TMemTableState::Browse)
        std::abort();

    for (int row = 0; row < t->RecordCount(); ++row) {
        try {
            const QByteArray arg = RecordArgument(t, row, {0, 1, 2, 3, 4, 5, 6});
            if (arg.split(FieldSep).size() != 7)
                std::abort();
        } catch (const EMemTableError &) {}
    }
    return 0;
}
