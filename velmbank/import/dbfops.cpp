#include "dbfops.h"

#include "Connect.h"
#include "Ui.h"

#include <QFileInfo>

bool OpenDbfFile(TLink &link, TDbfFile &file, const QString &path)
{
    TDbfDatabase &dbDBF = file.dbDBF;
    TDbfTable &tbDBF = file.tbDBF;
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
        link.StandardErrorReport(QByteArray(e.what()));
        return false;
    }
}

QByteArray DbfRecordText(const TLink &link, const TDbfTable &table)
{
    return table.RecordText(link.LocaleDecimalSeparator);
}

bool CheckDbfFields(TLink &link, const TDbfTable &tbDBF, const QList<TDbfSettingField> &fields)
{
    if (fields.isEmpty())
        return false;
    Ui().ProgressStart(QStringLiteral("Проверка соответствия полей"), int(fields.size()));
    auto fail = [&link](const QByteArray &text) {
        link.StandardErrorReport(text);
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
