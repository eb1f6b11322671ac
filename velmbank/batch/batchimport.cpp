#include "batchimport.h"

#include "Connect.h"
#include "ansitext.h"
#include "codepage.h"
#include "data.h"
#include "dbfops.h"
#include "funcs.h"
#include "starttask.h"
#include "taskdata.h"
#include "taskrun.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

namespace {

QString U(const QByteArray &win1251) { return FromWin1251(win1251); }

QString Similar(const QByteArray &exist, const QByteArray &open)
{
    if (exist.isEmpty())
        return {};
    QString text = QStringLiteral("similar: ") + U(exist);
    if (!open.isEmpty())
        text += QStringLiteral("; unclosed: ") + U(open);
    return text;
}

QString OutcomeName(TRecordOutcome outcome)
{
    switch (outcome) {
    case TRecordOutcome::Created: return QStringLiteral("created");
    case TRecordOutcome::Closed: return QStringLiteral("closed");
    case TRecordOutcome::Skipped: return QStringLiteral("skipped");
    case TRecordOutcome::Refused: return QStringLiteral("refused");
    case TRecordOutcome::Stopped: return QStringLiteral("stopped");
    case TRecordOutcome::NotProcessed: break;
    }
    return QStringLiteral("not processed");
}

// The outcomes a work can print, in the summary's order.
QStringList Outcomes(bool dryRun)
{
    if (dryRun)
        return {QStringLiteral("would create"), QStringLiteral("would close"), QStringLiteral("would skip"),
                QStringLiteral("would stop"),   QStringLiteral("skipped"),     QStringLiteral("refused"),
                QStringLiteral("not processed")};
    return {QStringLiteral("created"), QStringLiteral("closed"),  QStringLiteral("skipped"),
            QStringLiteral("refused"), QStringLiteral("stopped"), QStringLiteral("not processed")};
}

QString Names(const QList<QByteArray> &names, const QString &none)
{
    QStringList out;
    for (const QByteArray &n : names)
        out << QStringLiteral("\"%1\"").arg(U(n));
    return out.isEmpty() ? none : out.join(QStringLiteral(", "));
}

} // namespace

// The session as velmbank-import goes through it: the account given, GLinTO's reply printed,
// the protocol written by the work itself (on every path, under its run header).
class TBatchImport::TFrontEnd : public TSessionFrontEnd
{
public:
    explicit TFrontEnd(TBatchImport &work) : FWork(work) {}
    bool Login() override
    {
        const TCredentials &c = FWork.FCredentials;
        TLink &link = FWork.FSet.Link;
        if (!link.Login(c.User, c.Password, c.Private))
            return false;
        link.UserNumber = c.User.toInt();
        return true;
    }
    void WorkTotals(const QByteArray &reply) override
    {
        FWork.FWorkTotals = reply;
        FWork.FSet.Link.Protocol.append(reply);
        if (!FWork.FOptions.Json)
            FWork.Print(U(reply).toUtf8());
    }
    void SaveProtocol(const TLink &) override {}

private:
    TBatchImport &FWork;
};

TBatchImport::TBatchImport(TBatchOptions options, TCredentials credentials, TBatchUi &ui)
    : FOptions(std::move(options)), FCredentials(std::move(credentials)), FUi(ui), FEngine(FSet)
{
    TLink &link = FSet.Link;
    link.ProfileFileName = FOptions.Profile;
    link.ShowErrors = true;
    link.KeepProtocol = true; // every message and each record's diagnosis, for --protocol
    // A signal ends a wait on the server, and the work goes on to its shutdown.
    link.Interrupted = [] { return BatchInterrupted.load(); };
    FUi.Link = &link;
}

TBatchImport::~TBatchImport() { FUi.Link = nullptr; }

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

void TBatchImport::PrintRecord(const QString &file, const TRecordResult &r, const QString &outcome,
                               const QString &text)
{
    ++FCounts[outcome];
    if (FOptions.Json) {
        QJsonObject o{{QStringLiteral("file"), file},
                      {QStringLiteral("record"), r.Record},
                      {QStringLiteral("document"), U(r.Document)},
                      {QStringLiteral("outcome"), outcome}};
        if (!text.isEmpty())
            o.insert(QStringLiteral("text"), text);
        Print(QJsonDocument(o).toJson(QJsonDocument::Compact));
        return;
    }
    QByteArray line = QByteArray::number(r.Record) + '\t' + U(r.Document).toUtf8() + '\t' + outcome.toUtf8();
    if (!text.isEmpty())
        line += '\t' + text.toUtf8();
    Print(line);
}

void TBatchImport::PrintFileNotProcessed(const QString &file, const QString &why)
{
    const QString outcome = QStringLiteral("not processed");
    if (FOptions.Json)
        Print(QJsonDocument(QJsonObject{{QStringLiteral("file"), file},
                                        {QStringLiteral("outcome"), outcome},
                                        {QStringLiteral("text"), why}})
                  .toJson(QJsonDocument::Compact));
    else
        Print((QStringLiteral("FILE\t") + file + u'\t' + outcome + u'\t' + why).toUtf8());
}

int TBatchImport::Finish(int code)
{
    if (!FOptions.Protocol.isEmpty()) {
        // Each work appends under a header of its own: the file keeps the works before it.
        QFile f(FOptions.Protocol);
        bool written = f.open(QIODevice::WriteOnly | QIODevice::Append);
        QList<QByteArray> lines{
            ToWin1251(QStringLiteral("---- %1 velmbank-import, задача %2 ----")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
                          .arg(FOptions.Task))};
        lines += FSet.Link.Protocol;
        for (const QByteArray &line : std::as_const(lines)) {
            if (!written)
                break;
            written = f.write(line + '\n') == line.size() + 1;
        }
        if (written)
            written = f.flush();
        if (!written) {
            // The protocol cannot take its own failure: stderr only.
            FUi.Write(QStringLiteral("Не удалось записать протокол в %1: %2")
                          .arg(FOptions.Protocol, f.errorString()));
            code = code == BatchLocked ? code : BatchFailed;
        }
    }
    if (FOptions.Json) {
        QJsonObject counts;
        for (const QString &outcome : Outcomes(FOptions.DryRun))
            counts.insert(outcome, FCounts.value(outcome));
        QJsonObject summary{{QStringLiteral("summary"), counts},
                            {QStringLiteral("files"), FFiles},
                            {QStringLiteral("exit"), code}};
        if (!FWorkTotals.isEmpty())
            summary.insert(QStringLiteral("totals"), U(FWorkTotals));
        Print(QJsonDocument(summary).toJson(QJsonDocument::Compact));
    }
    return code;
}

int TBatchImport::CheckBeforeLogin()
{
    // What can be checked before the server is asked is checked first.
    if (!FOptions.Protocol.isEmpty()) {
        const QFileInfo dir(QFileInfo(FOptions.Protocol).absolutePath());
        if (!dir.isDir() || !dir.isWritable()) {
            FUi.Say(QStringLiteral(
                        "Протокол не может быть записан в %1: нет такой папки или нет права писать в неё")
                        .arg(dir.filePath()));
            FOptions.Protocol.clear();
            return BatchFailed;
        }
    }
    bool missing = false;
    for (const QString &file : std::as_const(FOptions.Files))
        if (const QFileInfo info(file); !info.isFile() || !info.isReadable()) {
            FUi.Say(QStringLiteral("Невозможно открыть файл ") + file);
            missing = true;
        }
    if (missing)
        return BatchFailed;
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
        return BatchFailed;
    }
    FUi.Surname = FOptions.Surname;
    return BatchDone;
}

int TBatchImport::Run()
{
    FUi.SetTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\""));
    if (const int code = CheckBeforeLogin(); code != BatchDone)
        return Finish(code);

    TFrontEnd frontEnd(*this);
    // A dry run hands nothing over to the server: no TOinGL, no GLinTO.
    const TSessionStart started = FSet.DataModuleCreate(frontEnd, !FOptions.DryRun);
    int code = started == TSessionStart::Locked ? BatchLocked : BatchFailed;
    if (StartHolds(started)) {
        code = started == TSessionStart::Run ? Connected(FSet, FEngine) : BatchFailed;
        FSet.DataModuleDestroy(&frontEnd);
    }
    FEngine.File.Close();
    // A signal ends the work as records left unprocessed do.
    if (BatchInterrupted && code != BatchLocked)
        code = BatchRefused;
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

int TBatchImport::ChooseSetting(TdmSet &dm)
{
    const int task = FOptions.Task;
    // The client-bank: named, or the task's.
    FClient = FRowClient;
    if (!FOptions.Client.isEmpty()) {
        const qsizetype i = AnsiIndexOfText(dm.ClientBanks, ToWin1251(FOptions.Client));
        if (i < 0) {
            FUi.Say(QStringLiteral("Клиент-банк \"%1\" не найден. Клиент-банки: %2")
                        .arg(FOptions.Client, Names(dm.ClientBanks, QStringLiteral("ни одного"))));
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

    TMemTable *sets = dm.tbSets;
    if (FOptions.Setting.isEmpty()) {
        // The task's own setting, by its Id.
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
        FSetId = FRowSet.toLongLong();
        FSetName = FRowSetName;
        return BatchDone; // the task start finds it, or says it is not there
    }
    // By the name the operator sees among the task's settings; a name two of them carry names
    // neither.
    const QByteArray wanted = ToWin1251(FOptions.Setting);
    QList<QByteArray> names;
    QList<int> found;
    for (int row = 0; row < sets->RecordCount(); ++row) {
        if (sets->IntegerAt(row, TdmSet::stType) != task)
            continue;
        names << sets->StringAt(row, TdmSet::stName);
        if (AnsiSameText(names.last(), wanted))
            found << row;
    }
    if (found.size() != 1) {
        FUi.Say(
            QStringLiteral("Настройка \"%1\" задачи \"%2\" у клиент-банка \"%3\" %4. Настройки задачи: %5")
                .arg(FOptions.Setting, FTaskName, U(FClient),
                     found.isEmpty() ? QStringLiteral("не найдена") : QStringLiteral("не одна"),
                     Names(names, QStringLiteral("ни одной"))));
        return BatchFailed;
    }
    FSetId = sets->IntegerAt(found[0], TdmSet::stId);
    FSetName = sets->StringAt(found[0], TdmSet::stName);
    return BatchDone;
}

int TBatchImport::Connected(TdmSet &dm, TdmTask &engine)
{
    const int task = FOptions.Task;
    const QString taskTitle = task == 1 ? QStringLiteral("Деньги: расход") : QStringLiteral("Деньги: приход");
    const qint32 user = dm.Link.UserNumber;
    if (!dm.HasRight(task, user)) {
        FUi.Say(QStringLiteral("У пользователя %1 нет права на задачу \"%2\"").arg(user).arg(taskTitle));
        return BatchFailed;
    }
    if (!dm.GotoTaskRow(task)) {
        FUi.Say(QStringLiteral("Сервер не знает задачу %1 (\"%2\")").arg(task).arg(taskTitle));
        return BatchFailed;
    }
    TMemTable *tasks = dm.tbTasks;
    FTaskName = U(tasks->AsString(TdmSet::tkName));
    FRowClient = tasks->AsString(TdmSet::tkClient);
    FRowSet = tasks->AsString(TdmSet::tkSet);
    FRowSetName = tasks->AsString(TdmSet::tkSName);
    try {
        if (const int code = ChooseSetting(dm); code != BatchDone)
            return code;

        // The run's surname prompt refuses a client-bank's name: refused before anything is done.
        if (!FOptions.DryRun && AnsiIndexOfText(dm.ClientBanks, ToWin1251(FOptions.Surname)) >= 0) {
            FUi.Say(QStringLiteral("Фамилия \"%1\" не принята: Клиент-банк с таким именем уже существует.")
                        .arg(FOptions.Surname));
            return BatchFailed;
        }

        // The files: named, or the setting's own.
        QStringList files = FOptions.Files;
        if (files.isEmpty()) {
            if (!dm.LocateSetting(FSetId, task)) {
                FUi.Say(QStringLiteral("Настройка ") + U(FSetName) + QStringLiteral(" не найдена"));
                return BatchFailed;
            }
            QString dir = U(dm.tbSets->AsString(TdmSet::stPath));
            const QString file = U(dm.tbSets->AsString(TdmSet::stFile));
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
            if (code == BatchFailed) {
                PrintFileNotProcessed(file, QStringLiteral("a file before it failed"));
                continue;
            }
            if (BatchInterrupted) {
                FUi.Say(QStringLiteral("Получен сигнал: файл %1 не импортирован").arg(file));
                PrintFileNotProcessed(file, QStringLiteral("signal"));
                code = std::max(code, int(BatchRefused));
                continue;
            }
            if (files.size() > 1 && !FOptions.Json)
                Print("FILE\t" + file.toUtf8());
            ++FFiles;
            code = std::max(code, ImportFile(file, dm, engine));
        }
        dm.GotoTaskRow(task);
        SetTaskRow(dm, FRowClient, FRowSet, FRowSetName);

        const auto n = [this](const char *outcome) { return FCounts.value(QString::fromLatin1(outcome)); };
        FUi.Say(
            FOptions.DryRun
                ? QStringLiteral("Итого (без записи в Вельм): к созданию %1, к закрытию %2, к пропуску %3, "
                                 "отказано %4, запись остановится на %5, не дойдут до записи %6")
                      .arg(n("would create"))
                      .arg(n("would close"))
                      .arg(n("would skip") + n("skipped"))
                      .arg(n("refused"))
                      .arg(n("would stop"))
                      .arg(n("not processed"))
                : QStringLiteral("Итого: создано %1, закрыто %2, пропущено %3, отказано %4, остановлено %5, "
                                 "не обработано %6")
                      .arg(n("created"))
                      .arg(n("closed"))
                      .arg(n("skipped"))
                      .arg(n("refused"))
                      .arg(n("stopped"))
                      .arg(n("not processed")));
        return code;
    } catch (const std::exception &e) {
        // The tables' own failures: the core reports the server's.
        dm.Link.StandardErrorReport(FailureText(e));
        return BatchFailed;
    }
}

int TBatchImport::ImportFile(const QString &path, TdmSet &dm, TdmTask &engine)
{
    // The task start as the task manager makes it, for this client-bank and setting.
    const int task = FOptions.Task;
    dm.GotoTaskRow(task);
    SetTaskRow(dm, FClient, QByteArray::number(FSetId), FSetName);
    TTaskStart start(engine, task);
    if (!start.Prepare())
        return BatchFailed; // told why
    const TImportEnd end = start.Import(path);
    if (end == TImportEnd::Missing)
        return BatchFailed;
    // A signal during the import ends it as Esc does, with the records taken so far: those are
    // the file's last ones (the import walks it from its end), and none of the file is run.
    const bool interrupted = end != TImportEnd::Complete && BatchInterrupted;
    if (interrupted)
        FUi.Say(QStringLiteral("Получен сигнал: импорт файла %1 прерван").arg(path));
    bool failed = end != TImportEnd::Complete && !interrupted; // told why; what it took is shown

    TMemTable *t = engine.tbTask;
    const TSimilarPolicy policy = FOptions.Similar;
    if (!failed && !interrupted && !FOptions.DryRun) {
        // The policy decides for the records the server left out for their similar documents.
        if (policy != TSimilarPolicy::Skip)
            for (t->First(); !t->Eof(); t->Next())
                if (!t->AsString(TdmTask::tfExist).isEmpty() && !t->AsBoolean(TdmTask::tfInclude)) {
                    t->Edit();
                    t->SetAsBoolean(TdmTask::tfInclude, true);
                    t->Post();
                }
        // The run saves the task row: it gets it as it was loaded.
        dm.GotoTaskRow(task);
        SetTaskRow(dm, FRowClient, FRowSet, FRowSetName);
        if (BatchInterrupted) {
            FUi.Say(QStringLiteral("Получен сигнал: документы файла %1 не записаны").arg(path));
        } else {
            TTaskRun run(&engine);
            run.Surname = ToWin1251(FOptions.Surname);
            run.Similar = policy;
            run.actRunExecute();
            if (!run.RunFailure.isEmpty()) {
                FUi.Say(QStringLiteral("Запись документов прервана: ") + U(run.RunFailure));
                failed = !BatchInterrupted;
            } else if (run.RunEnabled()) {
                FUi.Say(QStringLiteral("Запись документов не начата"));
                failed = true;
            }
        }
    }

    // One line per document of the file, in file order, as the engine tells it.
    bool stopped = false; // a dry run's stop: the rest would not be reached
    int unfinished = 0;
    for (const TRecordResult &r : std::as_const(engine.Records)) {
        const QByteArray exist = r.Row >= 0 ? t->StringAt(r.Row, TdmTask::tfExist) : QByteArray();
        const QByteArray open = r.Row >= 0 ? t->StringAt(r.Row, TdmTask::tfOpen) : QByteArray();
        QString outcome = OutcomeName(r.Outcome);
        QString text;
        if (FOptions.DryRun && r.Row >= 0 && r.Outcome == TRecordOutcome::NotProcessed && !failed
            && !interrupted) {
            if (stopped) {
                outcome = QStringLiteral("not processed");
            } else if (exist.isEmpty() || policy == TSimilarPolicy::Create) {
                outcome = QStringLiteral("would create");
                text = Similar(exist, open);
            } else if (policy == TSimilarPolicy::Close && !open.isEmpty()) {
                outcome = QStringLiteral("would close");
                text = U(Piece(open, ',', 1));
            } else if (policy == TSimilarPolicy::Stop) {
                outcome = QStringLiteral("would stop");
                text = Similar(exist, open);
                stopped = true;
            } else {
                outcome = QStringLiteral("would skip");
                text = Similar(exist, open);
            }
        } else {
            switch (r.Outcome) {
            case TRecordOutcome::Created:
            case TRecordOutcome::Stopped: text = Similar(exist, open); break;
            case TRecordOutcome::Skipped: text = r.Row >= 0 ? Similar(exist, open) : U(r.Text); break;
            case TRecordOutcome::Closed:
            case TRecordOutcome::Refused: text = U(r.Text); break;
            case TRecordOutcome::NotProcessed: break;
            }
        }
        if (outcome == QLatin1String("refused") || outcome == QLatin1String("stopped")
            || outcome == QLatin1String("not processed") || outcome == QLatin1String("would stop"))
            ++unfinished;
        PrintRecord(path, r, outcome, text);
    }
    FUi.Say(QStringLiteral("Файл %1: записей %2").arg(path).arg(engine.Records.size()));
    if (failed)
        return BatchFailed;
    return unfinished > 0 ? BatchRefused : BatchDone;
}
