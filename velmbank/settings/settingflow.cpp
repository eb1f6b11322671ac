// The editor's workflows on the store: a setting's save with its checks, and its deletion, each
// with what it changes in the tasks and their menus.
#include "data.h"

#include "Connect.h"
#include "Routines.h"
#include "Ui.h"
#include "ansitext.h"
#include "funcs.h"

QByteArray MenuEntry(const QByteArray &client, qint64 setId, const QByteArray &setName)
{
    return client + MenuPartSep + QByteArray::number(setId) + MenuPartSep + setName;
}

bool EntryNamesSetting(const QByteArray &entry, const QByteArray &client, qint64 setId)
{
    bool numeric = false;
    const qint64 id = Piece(entry, MenuPartSep, 2).toLongLong(&numeric);
    return numeric && id == setId && AnsiSameText(Piece(entry, MenuPartSep, 1), client);
}

namespace {

// A stored Menus text with the setting's entries dropped, or renamed when name is given.
QByteArray MenusFor(const QByteArray &menus, const QByteArray &client, qint64 setId, const QByteArray *name)
{
    QList<QByteArray> kept;
    for (const QByteArray &entry : menus.split(MenuEntrySep)) {
        if (entry.isEmpty())
            break; // a stored list ends at its first empty entry
        if (!EntryNamesSetting(entry, client, setId))
            kept.append(entry);
        else if (name)
            kept.append(MenuEntry(Piece(entry, MenuPartSep, 1), setId, *name));
    }
    return kept.join(MenuEntrySep);
}

} // namespace

bool TdmSet::SettingNameTaken(const QByteArray &name, qint64 type, qint64 exceptId) const
{
    for (int row = 0; row < tbSets->RecordCount(); ++row)
        if (tbSets->TextAt(row, stName) == name && tbSets->IntegerAt(row, stType) == type
            && tbSets->IntegerAt(row, stId) != exceptId)
            return true;
    return false;
}

QList<QList<QByteArray>> TdmSet::TaskRecords() const
{
    QList<QList<QByteArray>> out;
    for (int row = 0; row < tbTasks->RecordCount(); ++row) {
        QList<QByteArray> fields;
        for (int f = 0; f < tkCount; ++f)
            fields.append(tbTasks->StringAt(row, f));
        out.append(fields);
    }
    return out;
}

bool TdmSet::SaveChangedTasks(const QList<QList<QByteArray>> &before, bool current)
{
    const int currentRow = tbTasks->CurrentRow();
    const QList<QList<QByteArray>> after = TaskRecords();
    bool saved = true;
    for (int row = 0; row < after.size(); ++row) {
        if (after[row] == before.value(row) && !(current && row == currentRow))
            continue;
        tbTasks->SetRecNo(row + 1);
        saved = SaveTask() && saved; // each failure is reported there; the others still go
    }
    if (currentRow >= 0)
        tbTasks->SetRecNo(currentRow + 1);
    return saved;
}

TSettingSave TdmSet::SaveEditedSetting(int &failedRow, int &failedField)
{
    failedRow = failedField = -1;
    if (tbSets->AsString(stName).isEmpty())
        return TSettingSave::NoName;
    CheckedMapx.clear();
    tbSet->First();
    {
        TProgressGuard progress(QStringLiteral("Проверка полей"), tbSet->RecordCount());
        for (; !tbSet->Eof(); tbSet->Next()) {
            if (!ValidateSetField(failedField)) {
                failedRow = tbSet->CurrentRow();
                return TSettingSave::RowFailed;
            }
            Ui().ProgressStep();
        }
    }
    tbSet->First();
    {
        TProgressGuard progress(QStringLiteral("Подготовка значений полей перед записью"),
                                tbSet->RecordCount());
        for (; !tbSet->Eof(); tbSet->Next()) {
            PrepareSetField();
            Ui().ProgressStep();
        }
    }

    // Each step reports its own failure; the save goes on with the next.
    const QByteArray client = tbTasks->AsString(tkClient);
    const qint64 setId = tbTasks->AsInteger(tkSet);
    const QList<QList<QByteArray>> before = TaskRecords();
    const bool saved = SaveSetting();
    if (saved) {
        // The name the server now has is the one every task and menu shows.
        const QByteArray name = tbSets->AsString(stName);
        const TBookmark current = tbTasks->GetBookmark();
        if (Menus)
            Menus->SettingRenamed(client, setId, name);
        RunReported([&] {
            for (int row = 0; row < tbTasks->RecordCount(); ++row) {
                tbTasks->SetRecNo(row + 1);
                const bool uses = AnsiSameText(tbTasks->AsString(tkClient), client) && !tbTasks->IsNull(tkSet)
                                  && tbTasks->AsInteger(tkSet) == setId;
                const QByteArray menus = tbTasks->AsString(tkMenus);
                const QByteArray renamed = MenusFor(menus, client, setId, &name);
                if ((uses && tbTasks->AsString(tkSName) != name) || renamed != menus) {
                    tbTasks->Edit();
                    if (uses)
                        tbTasks->SetAsString(tkSName, name);
                    tbTasks->SetAsString(tkMenus, renamed);
                    tbTasks->Post();
                }
            }
        });
        tbTasks->GotoBookmark(current);
    }
    SaveChangedTasks(before, true);
    QByteArray ignored;
    CallGLinTO(ignored);
    RemoveNewSettingKey(NewSettingKey(client, setId));
    return saved ? TSettingSave::Saved : TSettingSave::NotSaved;
}

bool TdmSet::DeleteSetting()
{
    QByteArray client, set;
    const bool deleted = RunReported([&] {
        if (tbTasks->IsEmpty())
            throw EMemTableError(QStringLiteral("Нет текущей задачи: список задач пуст"));
        client = tbTasks->AsString(tkClient);
        set = tbTasks->AsString(tkSet);
        CallServer({Routines::DelSet, client, set});
    });
    if (!deleted)
        return false; // the setting is still on the server: nothing here lets go of it

    SetModified = false;
    const qint64 setId = set.toLongLong();
    RemoveNewSettingKey(NewSettingKey(client, setId));
    const QList<QList<QByteArray>> before = TaskRecords();
    const TBookmark current = tbTasks->GetBookmark();
    RunReported([&] {
        if (SettingsListOf(client) && LocateSetting(setId, 0))
            tbSets->Delete();
    });
    if (Menus)
        Menus->SettingDeleted(client, setId);
    // Every entry of the setting goes, whatever name it shows: once a new setting takes the Id,
    // an entry left behind would start it under the old label.
    RunReported([&] {
        for (int row = 0; row < tbTasks->RecordCount(); ++row) {
            tbTasks->SetRecNo(row + 1);
            const bool uses =
                AnsiSameText(tbTasks->AsString(tkClient), client) && tbTasks->AsString(tkSet) == set;
            const QByteArray menus = tbTasks->AsString(tkMenus);
            const QByteArray left = MenusFor(menus, client, setId, nullptr);
            if (!uses && left == menus)
                continue;
            tbTasks->Edit();
            if (uses) {
                tbTasks->Clear(tkSet);
                tbTasks->Clear(tkSName);
            }
            tbTasks->SetAsString(tkMenus, left);
            tbTasks->Post();
        }
    });
    tbTasks->GotoBookmark(current);
    const bool saved = SaveChangedTasks(before, true);
    QByteArray ignored;
    CallGLinTO(ignored);
    return saved;
}
