#include "dbfops.h"

#include "Connect.h"
#include "Ui.h"

#include <QFileInfo>

TDbfDatabase dbDBF;
TDbfTable tbDBF(dbDBF);

bool OpenDbfFile(const QString &path)
{
    try {
        if (tbDBF.Active())
            tbDBF.Close();
        if (dbDBF.Connected())
            dbDBF.Close();
        if (path.isEmpty())
            throw EDbfError(QStringLiteral("Не указан файл данных"));
        const QFileInfo info(path);
        dbDBF.DatabaseName = QStringLiteral("eDBF");
        dbDBF.DriverName = QStringLiteral("STANDARD");
        dbDBF.Params.clear();
        dbDBF.Params << QStringLiteral("PATH=") + info.absolutePath();
        tbDBF.DatabaseName = QStringLiteral("eDBF");
        tbDBF.TableName = info.fileName();
        tbDBF.Open();
        return true;
    } catch (const std::exception &e) {
        StandardErrorReport(QByteArray(e.what()));
        return false;
    }
}

QByteArray DbfRecordText() { return tbDBF.RecordText(LocaleDecimalSeparator); }


bool CheckDbfFields(const QList<TDbfSettingField> &fields)
{
    if (fields.isEmpty())
        return false;
    Ui().ProgressStart(QStringLiteral("Проверка соответствия полей"), int(fields.size()));
    auto fail = [](const QByteArray &text) {
        StandardErrorReport(text);
        Ui().ProgressFinish();
        return false;
    };
    try {
        const std::vector<TDbfFieldDef> &defs = tbDBF.FieldDefs();
        for (const TDbfSettingField &f : fields) {
            const int i = tbDBF.FindField(f.Name); // names compare without case of a to z
            if (i < 0 || defs[size_t(i)].TypeId != f.TypeId || defs[size_t(i)].Size != f.Length)
                return fail(QByteArray("Operation aborted"));
            Ui().ProgressStep();
        }
    } catch (const std::exception &e) {
        return fail(QByteArray(e.what()));
    }
    Ui().ProgressFinish();
    return true;
}
