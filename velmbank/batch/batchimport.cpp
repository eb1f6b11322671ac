#include "batchimport.h"

#include "ansitext.h"
#include "codepage.h"
#include "Connect.h"
#include "data.h"
#include "dbfops.h"
#include "dbfsettings.h"
#include "exchange1c.h"
#include "funcs.h"
#include "Routines.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSettings>

#include <cstdio>

namespace {

QString U(const QByteArray &win1251)
{
    return FromWin1251(win1251);
}

const QString &SkippedText()
{
    static const QString text = QStringLiteral("Документ пропущен");
    return text;
}

const QString &StoppedText()
{
    static const QString text = QStringLiteral("Прервано пользователем");
    return text;
}

// What the records of a file came to.
struct TOutcome
{
    QString Result;
    QString Text;
};

QString Similar(const QByteArray &exist, const QByteArray &open)
{
    QString text = QStringLiteral("similar: ") + U(exist);
    if (!open.isEmpty())
        text += QStringLiteral("; unclosed: ") + U(open);
    return text;
}

} // namespace

QList<TImportedRecord> ImportedRecords(const QList<QByteArray> &protocolLines)
{
    QList<TImportedRecord> out;
    for (const QByteArray &line : protocolLines) {
        // "N: ", "", DOC, DIAGNOSIS (a diagnosis with a tab of its own keeps it)
        const qsizetype head = line.indexOf(": \t\t");
        if (head <= 0)
            continue;
        bool ok = false;
        const int number = line.left(head).toInt(&ok);
        if (!ok || number <= 0)
            continue;
        const QByteArray rest = line.mid(head + 4);
        const qsizetype tab = rest.indexOf('\t');
        if (tab < 0)
            continue;
        out.append({number, rest.left(tab), rest.mid(tab + 1)});
    }
    return out;
}

TBatchImport::TBatchImport(TBatchOptions options, TCredentials credentials, TBatchUi &ui)
    : FOptions(std::move(options)), FCredentials(std::move(credentials)), FUi(ui)
{}

void TBatchImport::Print(const QByteArray &utf8Line)
{
    if (Out) {
        Out(utf8Line + '\n');
        return;
    }
    std::fwrite(utf8Line.constData(), 1, size_t(utf8Line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int TBatchImport::Finish(int code)
{
    FUi.Sync();
    if (FOptions.Protocol.isEmpty())
        return code;
    QFile f(FOptions.Protocol);
    bool written = f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (const QByteArray &line : std::as_const(Protocol)) {
        if (!written)
            break;
        written = f.write(line + '\n') == line.size() + 1;
    }
    if (written)
        written = f.flush();
    if (!written) {
        // The protocol cannot take its own failure: stderr only.
        FUi.Write(
            QStringLiteral("Не удалось записать протокол в %1: %2").arg(FOptions.Protocol, f.errorString()));
        return code == BatchLocked ? code : BatchFailed;
    }
    return code;
}

int TBatchImport::Run()
{
    ResetLinkGlobals();
    ProfileFileName = FOptions.Profile;
    ShowErrors = true;
    KeepProtocol = true; // the diagnosis lines tell each record's fate
    LocaleDecimalSeparator = ToWin1251(QLocale::system().decimalPoint());
    Protocol.append(ToWin1251(QStringLiteral("Протокол работы в программе шлюз \"ВЕЛЬМ - Банк\". ")));
    FUi.SetTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));

    // What can be checked before the server is asked is checked first.
    if (!FOptions.Protocol.isEmpty()) {
        const QFileInfo dir(QFileInfo(FOptions.Protocol).absolutePath());
        if (!dir.isDir() || !dir.isWritable()) {
            FUi.Say(QStringLiteral(
                        "Протокол не может быть записан в %1: нет такой папки или нет права писать в неё")
                        .arg(dir.filePath()));
            FOptions.Protocol.clear();
            return Finish(BatchFailed);
        }
    }
    for (const QString &file : std::as_const(FOptions.Files))
        if (!QFileInfo(file).isFile()) {
            FUi.Say(QStringLiteral("Невозможно открыть файл ") + file);
            return Finish(BatchFailed);
        }
    if (FOptions.Surname.isEmpty()) {
        // What the gateway's document grid stored for this user and task.
        QSettings store(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
        FOptions.Surname = store
                               .value(QStringLiteral("Forms/TaskForm/%1/%2/familia")
                                          .arg(QString::fromLatin1(FCredentials.User))
                                          .arg(FOptions.Task))
                               .toString();
    }
    if (FOptions.Surname.isEmpty() && !FOptions.DryRun) {
        FUi.Say(QStringLiteral("Не задана фамилия, с которой создаются документы: --surname ФАМИЛИЯ"));
        return Finish(BatchFailed);
    }
    FUi.Surname = FOptions.Surname;

    if (!EngineInstalled()) {
        FUi.Say(QStringLiteral("BDE не найден. Обратитесь к администратору"));
        return Finish(BatchFailed);
    }
    if (!OpenConnection()) {
        FUi.Say(
            QStringLiteral("Не удается создать соединение с сервером. Проверьте файл настройки соединения"));
        CloseConnection();
        return Finish(BatchFailed);
    }
    if (!Login(FCredentials.User, FCredentials.Password, FCredentials.Private)) {
        CloseConnection();
        return Finish(BatchFailed);
    }
    UserNumber = FCredentials.User.toInt();

    // The exclusive lock, as the gateway takes it: refused while the windows are open somewhere.
    QByteArray lock;
    bool lockCalled = true;
    try {
        lock = CallServer({Routines::LockTO});
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
        lockCalled = false;
    }
    if (lock != "1") {
        FUi.Say(QStringLiteral("Невозможна работа с программой сейчас из-за работы других пользователей"));
        Logout();
        CloseConnection();
        return Finish(lockCalled && lock == "0" ? BatchLocked : BatchFailed);
    }

    TdmSet dm;
    TdmTask engine;
    dmSet = &dm;
    dmTask = &engine;
    int code = Connected();

    // Shutdown, as the gateway's: GLinTO, unlock, logout, close.
    if (!FOptions.DryRun) {
        QByteArray summary;
        dm.CallGLinTO(summary);
        FUi.Sync();
        if (!summary.isEmpty()) {
            Print(U(summary).toUtf8());
            Protocol.append(summary);
        }
    }
    try {
        CallServer({Routines::UnLockTO});
    } catch (const std::exception &e) {
        StandardErrorReport(FailureText(e));
    }
    Logout();
    CloseConnection();
    tbDBF.Close();
    dbDBF.Close();
    dmTask = nullptr;
    dmSet = nullptr;
    return Finish(code);
}

void TBatchImport::SetTaskRow(TdmSet &dm, const QByteArray &client, const QByteArray &set,
                              const QByteArray &setName)
{
    TMemTable *tasks = dm.tbTasks;
    tasks->Edit();
    tasks->SetAsString(TdmSet::tkClient, client);
    tasks->SetAsString(TdmSet::tkSet, set);
    tasks->SetAsString(TdmSet::tkSName, setName);
    tasks->Post();
}

int TBatchImport::Connected()
{
    TdmSet &dm = *dmSet;
    TdmTask &engine = *dmTask;
    const int task = FOptions.Task;

    if (!FOptions.DryRun)
        dm.CallTOinGL();
    const bool banks = dm.LoadClientBanks();
    const bool tasks = dm.LoadTasks();
    dm.FillTypeNames();
    dm.RememberTaskRows();
    if (!banks || !tasks)
        return BatchFailed;

    const QString taskTitle = task == 1 ? QStringLiteral("Деньги: расход") : QStringLiteral("Деньги: приход");
    if (!dm.HasRight(task, UserNumber)) {
        FUi.Say(
            QStringLiteral("У пользователя %1 нет права на задачу \"%2\"").arg(UserNumber).arg(taskTitle));
        return BatchFailed;
    }
    const TBookmark row = task == 1 ? dm.TaskRowMoneyOut : dm.TaskRowMoneyIn;
    if (!dm.tbTasks->BookmarkValid(row)) {
        FUi.Say(QStringLiteral("Сервер не знает задачу %1 (\"%2\")").arg(task).arg(taskTitle));
        return BatchFailed;
    }
    try {
        dm.tbTasks->GotoBookmark(row);
        FTaskName = U(dm.tbTasks->AsString(TdmSet::tkName));
        FRowClient = dm.tbTasks->AsString(TdmSet::tkClient);
        FRowSet = dm.tbTasks->AsString(TdmSet::tkSet);
        FRowSetName = dm.tbTasks->AsString(TdmSet::tkSName);

        // The client-bank: named, or the task's.
        FClient = FRowClient;
        if (!FOptions.Client.isEmpty()) {
            const qsizetype i = AnsiIndexOfText(dm.ClientBanks, ToWin1251(FOptions.Client));
            if (i < 0) {
                FUi.Say(QStringLiteral("Клиент-банк \"%1\" не найден").arg(FOptions.Client));
                return BatchFailed;
            }
            FClient = dm.ClientBanks[i];
        }
        if (FClient.isEmpty()) {
            FUi.Say(QStringLiteral("Для этой задачи необходимо выбрать клиент-банк: --client ИМЯ"));
            return BatchFailed;
        }
        if (!dm.LoadSettings(FClient))
            return BatchFailed;

        // The setting: by the name the operator sees among the task's settings, or the task's.
        TMemTable *sets = dm.tbSets;
        if (!FOptions.Setting.isEmpty()) {
            const QByteArray wanted = ToWin1251(FOptions.Setting);
            bool found = false;
            for (sets->First(); !sets->Eof(); sets->Next())
                if (sets->AsInteger(TdmSet::stType) == task
                    && AnsiSameText(sets->AsString(TdmSet::stName), wanted)) {
                    found = true;
                    break;
                }
            if (!found) {
                FUi.Say(QStringLiteral("Настройка \"%1\" задачи \"%2\" у клиент-банка \"%3\" не найдена")
                            .arg(FOptions.Setting, FTaskName, U(FClient)));
                return BatchFailed;
            }
        } else {
            if (!AnsiSameText(FClient, FRowClient)) {
                FUi.Say(QStringLiteral("Настройка задачи \"%1\" относится к клиент-банку \"%2\": для \"%3\" "
                                       "укажите настройку (--setting ИМЯ)")
                            .arg(FTaskName, U(FRowClient), U(FClient)));
                return BatchFailed;
            }
            if (FRowSet.isEmpty()) {
                FUi.Say(QStringLiteral("Сначала нужно выбрать настройку: --setting ИМЯ"));
                return BatchFailed;
            }
            if (!LocateRecord(*sets, QStringLiteral("Id"), FRowSet)) {
                FUi.Say(QStringLiteral("Настройка ") + U(FRowSetName) + QStringLiteral(" не найдена"));
                return BatchFailed;
            }
        }
        FSetId = sets->AsInteger(TdmSet::stId);
        FSetName = sets->AsString(TdmSet::stName);

        // The run's surname prompt refuses a client-bank's name: refused before anything is done.
        if (!FOptions.DryRun && AnsiIndexOfText(dm.ClientBanks, ToWin1251(FOptions.Surname)) >= 0) {
            FUi.Say(QStringLiteral("Фамилия \"%1\" не принята: Клиент-банк с таким именем уже существует.")
                        .arg(FOptions.Surname));
            return BatchFailed;
        }

        // The files: named, or the setting's own.
        QStringList files = FOptions.Files;
        if (files.isEmpty()) {
            QString dir = U(sets->AsString(TdmSet::stPath));
            const QString file = U(sets->AsString(TdmSet::stFile));
            if (dir.isEmpty() || file.isEmpty()) {
                FUi.Say(
                    QStringLiteral("В настройке \"%1\" не указан файл данных (Path и File): укажите файлы "
                                   "в командной строке")
                        .arg(U(FSetName)));
                return BatchFailed;
            }
            if (!dir.endsWith(QLatin1Char('/')))
                dir += QLatin1Char('/');
            files << dir + file;
            if (!QFileInfo(files[0]).isFile()) {
                FUi.Say(QStringLiteral("Невозможно открыть файл ") + files[0]);
                return BatchFailed;
            }
        }

        int code = BatchDone;
        for (const QString &file : std::as_const(files)) {
            if (BatchInterrupted) {
                FUi.Say(QStringLiteral("Получен сигнал: файл %1 не импортирован").arg(file));
                code = std::max(code, int(BatchRefused));
                continue;
            }
            if (files.size() > 1)
                Print("FILE\t" + file.toUtf8());
            code = std::max(code, ImportFile(file, dm, engine));
            if (code == BatchFailed)
                break;
        }
        dm.tbTasks->GotoBookmark(row);
        SetTaskRow(dm, FRowClient, FRowSet, FRowSetName);

        const TTally &t = FTotal;
        FUi.Say(
            FOptions.DryRun
                ? QStringLiteral("Итого (без записи в Вельм): к созданию %1, к закрытию %2, к пропуску %3, "
                                 "отказано %4, не дойдут до записи %5")
                      .arg(t.Created)
                      .arg(t.Closed)
                      .arg(t.Skipped)
                      .arg(t.Refused)
                      .arg(t.Unprocessed)
                : QStringLiteral("Итого: создано %1, закрыто %2, пропущено %3, отказано %4, не обработано %5")
                      .arg(t.Created)
                      .arg(t.Closed)
                      .arg(t.Skipped)
                      .arg(t.Refused)
                      .arg(t.Unprocessed));
        return code;
    } catch (const std::exception &e) {
        // The tables' own failures: the core reports the server's.
        StandardErrorReport(FailureText(e));
        return BatchFailed;
    }
}

int TBatchImport::ImportFile(const QString &path, TdmSet &dm, TdmTask &engine)
{
    // Task start as the task manager makes it, for this client-bank and setting.
    dm.tbTasks->GotoBookmark(FOptions.Task == 1 ? dm.TaskRowMoneyOut : dm.TaskRowMoneyIn);
    SetTaskRow(dm, FClient, QByteArray::number(FSetId), FSetName);
    if (!LocateRecord(*dm.tbSets, QStringLiteral("Id"), QByteArray::number(FSetId)))
        return BatchFailed;
    engine.BuildTaskTable(FOptions.Task);
    FUi.Sync();
    if (!engine.tbTask->Active() || engine.TransactField() < 0)
        return BatchFailed; // reported
    Protocol.append(ToWin1251(QStringLiteral("Старт задачи ") + FTaskName));
    const qsizetype mark = Protocol.size();
    const bool imported = engine.ImportDbfFile(path, FSetId);
    FUi.Sync();
    // A signal during the import ends it as Esc does, with the records taken so far: those are the
    // file's last ones (the import walks it from its end), and none of the file is run.
    const bool interrupted = !imported && BatchInterrupted;
    if (!imported && !interrupted)
        return BatchFailed; // reported
    if (interrupted)
        FUi.Say(QStringLiteral("Получен сигнал: импорт файла %1 прерван").arg(path));

    TMemTable *t = engine.tbTask;
    // The file's documents in order: those the import left aside (faults, the other direction),
    // told by the engine, and the records sent, told by the protocol's diagnosis lines.
    const TExchangeStatement *statement = tbDBF.Statement();
    const int total = statement ? statement->DocumentCount() : tbDBF.RecordCount();
    QHash<int, const TAsideDocument *> aside;
    for (const TAsideDocument &d : std::as_const(engine.LeftAside))
        aside.insert(d.Record, &d);
    QList<int> expected; // the records sent, by their place in the file
    for (int n = 1; n <= total; ++n)
        if (!aside.contains(n))
            expected.append(n);
    QList<TImportedRecord> records = ImportedRecords(Protocol.mid(mark));
    const int reached = int(records.size());
    const int unreached = int(expected.size()) - reached;
    int accepted = 0;
    for (const TImportedRecord &r : std::as_const(records))
        accepted += r.Diagnosis.isEmpty() ? 1 : 0;
    bool ordered = unreached >= 0;
    for (int i = 0; ordered && i < reached; ++i)
        ordered = records[i].Number == expected[unreached + i];
    if (!ordered || (imported && unreached != 0) || accepted != t->RecordCount()) {
        FUi.Say(QStringLiteral("Импорт файла %1 дал %2 строк протокола и %3 строк таблицы на %4 записей: "
                               "результаты не сопоставить")
                    .arg(path)
                    .arg(reached)
                    .arg(t->RecordCount())
                    .arg(expected.size()));
        return BatchFailed;
    }
    // Records the import did not reach: the file's first ones, as it walks from its end.
    for (int i = unreached - 1; i >= 0; --i)
        records.prepend({expected[i], {}, {}});

    // The policy decides for the records the server left out for their similar documents.
    const TSimilarPolicy policy = FOptions.Similar;
    if (policy != TSimilarPolicy::Skip)
        for (t->First(); !t->Eof(); t->Next())
            if (!t->AsString(TdmTask::tfExist).isEmpty() && !t->AsBoolean(TdmTask::tfInclude)) {
                t->Edit();
                t->SetAsBoolean(TdmTask::tfInclude, true);
                t->Post();
            }

    bool failed = false;
    if (!FOptions.DryRun) {
        // The run saves the task row: it gets it as it was loaded.
        dm.tbTasks->GotoBookmark(FOptions.Task == 1 ? dm.TaskRowMoneyOut : dm.TaskRowMoneyIn);
        SetTaskRow(dm, FRowClient, FRowSet, FRowSetName);
        if (BatchInterrupted) {
            if (!interrupted)
                FUi.Say(QStringLiteral("Получен сигнал: документы файла %1 не записаны").arg(path));
        } else {
            TTaskRun run(&engine);
            run.Surname = ToWin1251(FOptions.Surname);
            run.CloseDoc = policy == TSimilarPolicy::Close;
            run.actRunExecute();
            FUi.Sync();
            if (!run.RunFailure.isEmpty()) {
                FUi.Say(QStringLiteral("Запись документов прервана: ") + U(run.RunFailure));
                failed = true;
            } else if (run.RunEnabled()) {
                FUi.Say(QStringLiteral("Запись документов не начата"));
                failed = true;
            }
        }
    }

    // One line per record, in file order.
    const int transact = engine.TransactField();
    TTally tally;
    bool stopped = false;
    int row = 0;
    qsizetype next = 0; // in records
    for (int n = 1; n <= total; ++n) {
        if (const TAsideDocument *d = aside.value(n)) {
            ++(d->Fault ? tally.Refused : tally.Skipped);
            Print(QByteArray::number(n) + '\t' + d->Number.toUtf8() + '\t' + (d->Fault ? "refused" : "skipped") +
                  '\t' + d->Reason.toUtf8());
            continue;
        }
        const TImportedRecord &r = records[next++];
        TOutcome o;
        if (next <= unreached) {
            o = {QStringLiteral("not processed"), {}};
            ++tally.Unprocessed;
        } else if (!r.Diagnosis.isEmpty()) {
            o = {QStringLiteral("refused"), U(r.Diagnosis)};
            ++tally.Refused;
        } else {
            const QByteArray exist = t->StringAt(row, TdmTask::tfExist);
            const QByteArray open = t->StringAt(row, TdmTask::tfOpen);
            const bool include = t->StringAt(row, TdmTask::tfInclude) == "True";
            const QByteArray result = t->StringAt(row, transact);
            ++row;
            if (FOptions.DryRun) {
                if (stopped) {
                    o = {QStringLiteral("not processed"), {}};
                    ++tally.Unprocessed;
                } else if (exist.isEmpty() || policy == TSimilarPolicy::Create) {
                    o = {QStringLiteral("would create"), exist.isEmpty() ? QString() : Similar(exist, open)};
                    ++tally.Created;
                } else if (policy == TSimilarPolicy::Close && !open.isEmpty()) {
                    o = {QStringLiteral("would close"), U(Piece(open, ',', 1))};
                    ++tally.Closed;
                } else if (policy == TSimilarPolicy::Stop) {
                    o = {QStringLiteral("would stop"), Similar(exist, open)};
                    ++tally.Unprocessed;
                    stopped = true;
                } else {
                    o = {QStringLiteral("would skip"), Similar(exist, open)};
                    ++tally.Skipped;
                }
            } else if (result == "1") {
                o = {QStringLiteral("created"), exist.isEmpty() ? QString() : Similar(exist, open)};
                ++tally.Created;
            } else if (result == "2") {
                o = {QStringLiteral("closed"), U(Piece(open, ',', 1))};
                ++tally.Closed;
            } else if (U(result) == SkippedText() || (result.isEmpty() && !include)) {
                o = {QStringLiteral("skipped"), Similar(exist, open)};
                ++tally.Skipped;
            } else if (U(result) == StoppedText()) {
                o = {QStringLiteral("stopped"), Similar(exist, open)};
                ++tally.Unprocessed;
                stopped = true;
            } else if (result.isEmpty()) {
                o = {QStringLiteral("not processed"), {}};
                ++tally.Unprocessed;
            } else {
                o = {QStringLiteral("refused"), U(result)};
                ++tally.Refused;
            }
        }
        QByteArray line =
            QByteArray::number(r.Number) + '\t' + U(r.Document).toUtf8() + '\t' + o.Result.toUtf8();
        if (!o.Text.isEmpty())
            line += '\t' + o.Text.toUtf8();
        Print(line);
    }
    FUi.Say(QStringLiteral("Файл %1: записей %2").arg(path).arg(total));
    FTotal.Created += tally.Created;
    FTotal.Closed += tally.Closed;
    FTotal.Skipped += tally.Skipped;
    FTotal.Refused += tally.Refused;
    FTotal.Unprocessed += tally.Unprocessed;

    if (failed)
        return BatchFailed;
    return tally.Refused + tally.Unprocessed > 0 ? BatchRefused : BatchDone;
}
