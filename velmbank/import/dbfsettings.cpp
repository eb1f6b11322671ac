#include "dbfsettings.h"

#include "Connect.h"
#include "data.h"
#include "dbfops.h"

#include <vector>

namespace {

QByteArray FoldLatin(QByteArray text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

} // namespace

bool LoadDbfStructure(TdmSet &set, const QString &path)
{
    TDbfFile file;
    if (!OpenDbfFile(set.Link, file, path))
        return false;
    const std::vector<TDbfFieldDef> defs = file.tbDBF.FieldDefs();
    TMemTable *t = set.tbSet;
    // Backwards, each row before the one added just before it: the rows end in file order.
    for (auto it = defs.rbegin(); it != defs.rend(); ++it) {
        t->Insert();
        try {
            t->SetAsString(TdmSet::sfName, it->Name);
            t->SetAsInteger(TdmSet::sfLength, it->Size);
            t->SetAsInteger(TdmSet::sfPrecision, it->Precision);
            t->SetAsInteger(TdmSet::sfTypeId, it->TypeId);
            t->SetAsString(TdmSet::sfType, set.TypeNames.value(it->TypeId));
            t->Post();
        } catch (...) {
            t->Cancel(); // the half-filled row goes; the posted ones stay
            throw;
        }
    }
    return true;
}

bool CheckDbfStructure(TdmSet &set, const TDbfTable &table)
{
    TMemTable *t = set.tbSet;
    QList<TDbfSettingField> fields;
    try {
        t->First();
        if (t->IsEmpty())
            return false;
        fields.reserve(t->RecordCount());
        for (int row = 0; row < t->RecordCount(); ++row)
            fields.append({t->StringAt(row, TdmSet::sfName), t->IntegerAt(row, TdmSet::sfTypeId),
                           t->IntegerAt(row, TdmSet::sfLength)});
    } catch (const std::exception &e) {
        set.Link.StandardErrorReport(QByteArray(e.what()));
        return false;
    }
    return CheckDbfFields(set.Link, table, fields);
}

bool LocateRecord(TMemTable &table, const QString &column, const QByteArray &key)
{
    const int field = table.FieldByName(column).Index();
    const bool text = table.FieldDef(field).Kind == TMemFieldKind::Text;
    const QByteArray wanted = FoldLatin(key);
    const TBookmark remembered = table.GetBookmark();
    table.DisableControls();
    bool found = false;
    try {
        for (table.First(); !table.Eof(); table.Next()) {
            const QByteArray value = table.AsString(field);
            if ((text ? FoldLatin(value) : value) == wanted) {
                found = true;
                break;
            }
        }
        if (!found)
            table.GotoBookmark(remembered);
    } catch (...) {
        table.EnableControls();
        throw;
    }
    table.EnableControls();
    return found;
}

bool LoadSettingFieldsOf(TdmSet &set, qint64 setId)
{
    TMemTable *sets = set.tbSets;
    const TBookmark remembered = sets->GetBookmark();
    if (!set.LocateSetting(setId, 0)) {
        set.Link.StandardErrorReport(QByteArray("Operation aborted"));
        return false;
    }
    QByteArray error;
    const bool loaded = set.LoadSetFields(QByteArray::number(setId), error);
    // The load reports nothing itself: a failure left silent would look like a setting
    // without fields.
    if (!loaded)
        set.Link.StandardErrorReport(error);
    sets->GotoBookmark(remembered);
    return loaded;
}
