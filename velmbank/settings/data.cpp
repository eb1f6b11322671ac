#include "data.h"

#include "Ui.h"
#include "ansitext.h"
#include "funcs.h"

#include <iterator>

TdmSet *dmSet = nullptr;

namespace {

const char *const TypeCatalogue[] = {
    "NOTYPE",     "STRING",    "SMALLINT", "INTEGER",    "WORD",      "BOOLEAN",     "FLOAT",    "CURRENCY",
    "BCD",        "DATE",      "TIME",     "DATETIME",   "BYTES",     "VARBYTES",    "AUTOINC",  "BLOB",
    "MEMO",       "GRAPHIC",   "FMTMEMO",  "PARADOXOLE", "DBASEOLE",  "TYPEDBINARY", "CURSOR",   "FIXEDCHAR",
    "WIDESTRING", "LARGEINT",  "ADT",      "ARRAY",      "REFERENCE", "DATASET",     "ORALBLOB", "ORACLOB",
    "VARIANT",    "INTERFACE", "DISPATCH", "GUID",
};
static_assert(std::size(TypeCatalogue) == 36);

} // namespace

TdmSet::TdmSet(QObject *parent)
    : QObject(parent), tbTasks(new TMemTable(this)), tbSets(new TMemTable(this)), tbSet(new TMemTable(this))
{
    // Field order is the piece order of the server's records.
    tbTasks->AddIntegerField(QStringLiteral("Id"));
    tbTasks->AddTextField(QStringLiteral("Name"), 40);
    tbTasks->AddTextField(QStringLiteral("Client"), 40);
    tbTasks->AddIntegerField(QStringLiteral("Set"));
    tbTasks->AddTextField(QStringLiteral("SName"), 50);
    tbTasks->AddTextField(QStringLiteral("DefFindEx"), 256);
    tbTasks->AddTextField(QStringLiteral("Menus"), 254);

    tbSets->AddIntegerField(QStringLiteral("Id"));
    tbSets->AddTextField(QStringLiteral("Name"), 40);
    tbSets->AddTextField(QStringLiteral("Client"), 40);
    tbSets->AddIntegerField(QStringLiteral("Type"));
    tbSets->AddTextField(QStringLiteral("Path"), 256);
    tbSets->AddTextField(QStringLiteral("File"), 30);
    tbSets->AddTextField(QStringLiteral("Func"), 50);
    tbSets->AddTextField(QStringLiteral("VFunc"), 20);
    tbSets->AddTextField(QStringLiteral("FindEx"), 8192);

    tbSet->AddIntegerField(QStringLiteral("Id"));
    tbSet->AddTextField(QStringLiteral("Name"), 40);
    tbSet->AddTextField(QStringLiteral("Type"), 20);
    tbSet->AddIntegerField(QStringLiteral("Length"), 0, 256);
    tbSet->AddIntegerField(QStringLiteral("Precision"), 0, 15);
    tbSet->AddTextField(QStringLiteral("MAPX"), 40);
    tbSet->AddTextField(QStringLiteral("Ob"), 20);
    tbSet->AddTextField(QStringLiteral("Ih"), 20);
    tbSet->AddTextField(QStringLiteral("Func"), 60);
    tbSet->AddIntegerField(QStringLiteral("TypeId"));

    connect(tbSet, &TMemTable::AfterPost, this, &TdmSet::onSetPosted);

    tbTasks->Open();
    tbSets->Open();
    tbSet->Open();
}

TdmSet::~TdmSet()
{
    if (dmSet == this)
        dmSet = nullptr;
}

// --- catalogue and remembered task rows ------------------------------------------------------

void TdmSet::FillTypeNames()
{
    for (const char *name : TypeCatalogue)
        TypeNames.append(QByteArray(name));
}

void TdmSet::RememberTaskRows()
{
    // Next on the last row stays there, so missing rows name the last one.
    tbTasks->First();
    TaskRowSetup = tbTasks->GetBookmark();
    tbTasks->Next();
    TaskRowMoneyOut = tbTasks->GetBookmark();
    tbTasks->Next();
    TaskRowMoneyIn = tbTasks->GetBookmark();
}

void TdmSet::ForgetTaskRows() { TaskRowSetup = TaskRowMoneyOut = TaskRowMoneyIn = TBookmark{}; }

bool TdmSet::GotoTaskRow(int task)
{
    const TBookmark row = task == TaskSettingsEditor ? TaskRowSetup
                          : task == TaskMoneyOut     ? TaskRowMoneyOut
                          : task == TaskMoneyIn      ? TaskRowMoneyIn
                                                     : TBookmark{};
    if (!tbTasks->BookmarkValid(row))
        return false;
    tbTasks->GotoBookmark(row);
    return true;
}

bool TdmSet::SettingsListOf(const QByteArray &client) const
{
    return !SetsClient.isEmpty() && AnsiSameText(SetsClient, client);
}

bool TdmSet::LocateSetting(qint64 id, qint64 type)
{
    for (int row = 0; row < tbSets->RecordCount(); ++row)
        if (!tbSets->IsNullAt(row, stId) && tbSets->IntegerAt(row, stId) == id
            && (type == 0 || (!tbSets->IsNullAt(row, stType) && tbSets->IntegerAt(row, stType) == type))) {
            tbSets->SetRecNo(row + 1);
            return true;
        }
    return false;
}

// --- setting fields ------------------------------------------------------------------------------

bool TdmSet::ValidateSetField(int &fieldIndex)
{
    const auto fail = [&fieldIndex](int field, const QString &text) {
        Ui().ShowMessage(text);
        fieldIndex = field;
        return false;
    };
    const QByteArray name = tbSet->AsString(sfName);
    if (HasHighChars(name))
        return fail(sfName, QStringLiteral("Название должно состоять только из латинских букв"));
    if (!tbSet->IsNull(sfLength) && tbSet->AsInteger(sfLength) > 256)
        return fail(sfLength, QStringLiteral("Длина не должна превышать 256 символов"));
    if (tbSet->IsNull(sfLength))
        return fail(sfLength, QStringLiteral("Укажите длину поля"));
    if (HasHighChars(tbSet->AsString(sfFunc)))
        return fail(sfFunc, QStringLiteral("Название функции не может содержать русских букв"));
    const qsizetype type = AnsiIndexOfText(TypeNames, tbSet->AsString(sfType));
    if (type < 0)
        return fail(sfType, QStringLiteral("Указан некорректный тип данных"));
    if (type == 0)
        return fail(sfType, QStringLiteral("Укажите тип данных"));
    const QByteArray mapx = tbSet->AsString(sfMAPX);
    if (!mapx.isEmpty()) {
        if (AnsiIndexOfText(Characteristics, mapx) < 0)
            return fail(sfMAPX, QStringLiteral("Указана несуществующая характеристика объекта Вельм"));
        if (AnsiIndexOfText(CheckedMapx, mapx) >= 0)
            return fail(sfMAPX, QStringLiteral("Эта характеристика уже указана выше"));
        CheckedMapx.append(mapx);
    }
    if (name.contains('#'))
        return fail(sfName, QStringLiteral("Символ \"#\" запрещен"));
    return true;
}

void TdmSet::PrepareSetField()
{
    tbSet->Edit();
    tbSet->SetAsInteger(sfId, tbSet->RecNo());
    if (!tbSet->IsNull(sfPrecision)) {
        const qint64 precision = tbSet->AsInteger(sfPrecision);
        if (precision < 0 || precision > 15)
            tbSet->SetAsInteger(sfPrecision, 0);
    }
    tbSet->SetAsString(sfName, AnsiUpperCase(tbSet->AsString(sfName)));
    const QByteArray mapx = tbSet->AsString(sfMAPX);
    // «OBJ[OB IH]»: the object code after the first "[" of the first word, the characteristic
    // code before the first "]" of the second word.
    tbSet->SetAsString(sfOb, Piece(Piece(mapx, ' ', 1), '[', 2));
    tbSet->SetAsString(sfIh, Piece(Piece(mapx, ' ', 2), ']', 1));
    tbSet->SetAsInteger(sfTypeId, AnsiIndexOfText(TypeNames, tbSet->AsString(sfType)));
    tbSet->Post();
}

bool TdmSet::SettingNameExists(const QByteArray &name) const
{
    for (int row = 0; row < tbSets->RecordCount(); ++row)
        if (tbSets->TextAt(row, stName) == name)
            return true;
    return false;
}

int TdmSet::NextSettingId()
{
    // The walk leaves the cursor on the first row out of step: the wizard inserts the new
    // setting before it, which keeps the list in Id order.
    if (tbSets->IsEmpty())
        return 1;
    tbSets->First();
    int k = 1;
    while (!tbSets->Eof()) {
        if (tbSets->IsNull(stId) || tbSets->AsInteger(stId) != k)
            return k;
        ++k;
        tbSets->Next();
    }
    return tbSets->RecordCount() + 1;
}

// --- keys of settings not yet saved ---------------------------------------------------------------

QByteArray TdmSet::NewSettingKey(const QByteArray &client, qint64 setId)
{
    return client + '\x02' + QByteArray::number(setId);
}

void TdmSet::AddNewSettingKey(const QByteArray &key) { NewSettings.append(key); }

bool TdmSet::IsNewSettingKey(const QByteArray &key) const { return AnsiIndexOfText(NewSettings, key) >= 0; }

void TdmSet::RemoveNewSettingKey(const QByteArray &key)
{
    const qsizetype at = AnsiIndexOfText(NewSettings, key);
    if (at >= 0)
        NewSettings.removeAt(at);
}
