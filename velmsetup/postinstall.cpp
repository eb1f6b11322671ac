// The post-action stage: the routine "velmsetup" is generated and saved on the server, its entry
// job() starts the post-actions as a background job, and the installer polls ^R("velmsetup")
// for progress messages and questions, answering through SetAnswer.

#include "stages.h"

#include "Ui.h"
#include "VisM.h"
#include "codepage.h"
#include "distrib.h"
#include "funcs.h"
#include "setuplog.h"

namespace {

QByteArray W(const QString &text) { return ToWin1251(text); }

// A text written in the code, in the server code page.
QByteArray S(const QString &text) { return DisplayToServer(ToWin1251(text)); }

// Inside an M string literal a double quote is written twice.
QByteArray MQuoted(QByteArray text) { return text.replace('"', "\"\""); }

// A failure with a Windows-1251 message, logged after "Ошибка GUI приложения: ".
class EStageError : public std::exception
{
public:
    explicit EStageError(const QString &message) : Message(ToWin1251(message)) {}
    const char *what() const noexcept override { return Message.constData(); }
    QByteArray Message;
};

} // namespace

QList<QByteArray> GenerateSetupRoutine(const QList<QByteArray> &labels, const QList<QByteArray> &descriptions,
                                       const QByteArray &product, const QByteArray &version,
                                       const QByteArray &routine)
{
    const QByteArray &N = routine;
    QList<QByteArray> l;
    l << N; // line 0: the name, not sent
    l << N;
    l << " ;" + S(QStringLiteral("Сгенерована установщиком дистрибутивов Ремарт для выполнения "));
    l << " ;" + S(QStringLiteral("последействий в фоновом задании"));
    l << " ;" + DisplayToServer(W(QStringLiteral("Устанавливаемый продукт: ")) + product + ' ' + version);
    l << " Q";
    l << "w(s) ; " + S(QStringLiteral("Метка для записи сообщения о прогрессе"));
    l << " s s=$g(s) Q:s=\"\"";
    l << " n ad s ad=$$mesad";
    l << " n c s c=$o(@ad@(\"\"),-1)  s c=c+1";
    l << " s @ad@(c)=s";
    l << " Q";
    l << "mesad() q $na(^R(\"velmsetup\"))";
    l << " ;";
    l << "resad() q $na(^R(\"velmsetup_res\"))";
    l << " ;";
    l << "SetAnswer(s) ; $$" + S(QStringLiteral("Вызывается граф. клиентом для установки ответа на вопрос"));
    l << " n ad s ad=$$resad";
    l << " s @ad=$g(s)";
    l << " Q \"\"";
    l << " ;";
    l << "ask(t,l,def) ; $$ " + S(QStringLiteral("Вопрос к пользователю"));
    l << " ; :>";
    l << " ; t - " + S(QStringLiteral("тип вопроса"));
    l << " ;      " + S(QStringLiteral("1: Да-Нет; 2: запрос строки"));
    l << " ; l - " + S(QStringLiteral("текст вопроса"));
    l << " ; def - " + S(QStringLiteral("значение результата по умолчанию, зависит от типа вопроса"));
    l << " ;       " + S(QStringLiteral("для типа 1:"));
    l << " ;       " + S(QStringLiteral("1-Да(по умолчанию), 2-Нет"));
    l << " ;       " + S(QStringLiteral("для типа 2:"));
    l << " ;       " + S(QStringLiteral("строка"));
    l << " ; :< " + S(QStringLiteral("зависит от типа вопроса"));
    l << " ;    1: " + S(QStringLiteral("1-Да, 2-Нет"));
    l << " ;    2: " + S(QStringLiteral("введенная пользователем строка"));
    l << " ;";
    l << " s t=$g(t) Q:t=\"\" \"\" ; " + S(QStringLiteral("не задан тип вопроса"));
    l << " s l=$g(l)";
    l << " s def=$g(def)";
    l << " i def=\"\",t=1 s def=1";
    l << " l +^jobvelmsetup:0 i  l -^jobvelmsetup Q def   ; "
             + S(QStringLiteral("последействия выполняются не в фоновом задании. Диалог с "
                                "пользователем не возможен"));
    l << " d w($C(2)_t_\"#\"_l_\"#\"_def)";
    l << " n ad";
    l << " s ad=$$resad";
    l << "wait h 1";
    l << " g:'$d(@ad) wait";
    l << " s ad(1)=@ad";
    l << " k @ad";
    l << " Q ad(1)";
    l << " ;";
    l << "job() ;" + S(QStringLiteral("Вызывается по job"));
    l << " s ad=$na(^R(\"velmsetup\"))";
    l << " k @ad";
    l << " l +^jobvelmsetup";
    l << " j st^" + N + "::30 i  q 1";
    l << " l -^jobvelmsetup";
    l << " Q 0";
    l << "jalive() ; "
             + S(QStringLiteral("Возвращает, работает ли фоновое задание последействий. 1 - работает"));
    l << " L +^velmsetup:0 e  q 1";
    l << " q 0";
    l << "stf() ; " + S(QStringLiteral("для вызова st по $$ в случае неуспеха последействий"));
    l << " d st";
    l << " Q $g(^R(\"velmsetup\"))";
    l << "st";
    l << " s ad=$$resad";
    l << " k @ad";
    l << " s ad=$na(^R(\"velmsetup\"))";
    l << " s @ad=\"" + S(QStringLiteral("Последействия не выполнены")) + '"';
    l << " L +^velmsetup:1 e  s @ad=\""
             + S(QStringLiteral("Уже выполняется установка продукта в данный момент")) + "\" Q";
    l << " s $zt=\"er^" + N + '"';
    l << " n res s res=\"\"";
    for (qsizetype i = 0; i < labels.size(); ++i) {
        // The message is an M string literal: a quote in a label's arguments or in a
        // description would otherwise end it and break the whole routine.
        const QByteArray message = labels[i] + " - " + DisplayToServer(descriptions.value(i));
        l << " d w(\"" + MQuoted(message) + "\")";
        l << " s res=$$" + labels[i] + " g:res'=\"\" ex";
    }
    l << "ex s @ad=res";
    l << " Q";
    l << "er ; " + S(QStringLiteral("метка обработки ошибок"));
    l << " s @ad=$ze";
    l << " Q";
    return l;
}

bool TSetupStages::SaveSetupRoutine(const QList<QByteArray> &lines)
{
    FVisM.SetCode("s text(P1)=P2");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        FVisM.SetP1(i);
        FVisM.SetP2(lines[i]);
        FVisM.SetExecFlag(1);
        if (FVisM.Error()) {
            RestoreFailed(FVisM.ErrorName());
            return false;
        }
    }
    FVisM.Execute(SaveBufferCode(lines.value(0)));
    const int saveError = FVisM.Error();
    const QByteArray saveErrorName = FVisM.ErrorName();
    FVisM.Execute("k text");
    if (saveError || FVisM.Error()) {
        RestoreFailed(saveError ? saveErrorName : FVisM.ErrorName());
        return false;
    }
    return true;
}

void TSetupStages::RunCodeChecked(const QByteArray &code)
{
    FVisM.SetCode(code);
    FVisM.SetExecFlag(1);
    CheckRun();
}

void TSetupStages::CheckRun()
{
    if (FVisM.Error()) {
        FWindows.StopAnimation();
        Ui().ShowError(QStringLiteral("Ошибка! ") + FromWin1251(FVisM.ErrorName()));
        FLog.Add(FVisM.ErrorName());
        throw EAbort();
    }
}

void TSetupStages::HandleQuestion(const QByteArray &message)
{
    FVisM.SetValue(Piece(message, 2, 2));
    const QByteArray question = ServerToDisplay(FVisM.Value());
    Log(QStringLiteral("  Запрос параметра у пользователя."));
    FLog.Add(W(QStringLiteral("  Параметры запроса: ")) + question);

    const QByteArray type = Piece(question, '#', 1);
    const QString text = FromWin1251(Piece(question, '#', 2));
    const QByteArray def = Piece(question, '#', 3);
    QByteArray answer;
    if (type == "1") {
        // A default that is not a number makes the box fail, and a failed box answers 0.
        bool ok = false;
        const int button = def.toInt(&ok);
        int pressed = 0;
        if (ok) {
            TChoiceArgs args;
            args.Message = text;
            args.Caption = Ui().Title();
            args.Buttons = QStringLiteral("Да_Нет");
            args.DefaultButton = button;
            args.EscapeResult = 2;
            pressed = Ui().ChoiceBox(args);
        }
        answer = QByteArray::number(pressed);
    } else {
        const std::optional<QString> typed = Ui().AskText(Ui().Title(), text, FromWin1251(def));
        if (typed && !typed->isEmpty())
            answer = DisplayToServer(ToWin1251(*typed));
    }
    FLog.Add(W(QStringLiteral("  Ответ пользователя: ")) + ServerToDisplay(answer));
    FLog.Add(QByteArray(" "));
    // Doubled quotes keep the answer a string: as typed, a quote would end the literal and the
    // rest of the answer would run as M code on the server.
    RunCodeChecked("$$SetAnswer^velmsetup(\"" + MQuoted(answer) + "\")");
}

void TSetupStages::ShowProgressMessage(const QByteArray &message)
{
    const QByteArray text = Piece(message, 1, 1);
    const QByteArray percentText = Piece(message, 1, 2);
    int percent = FWindows.Position();
    if (!percentText.isEmpty()) {
        bool ok = false;
        percent = percentText.toInt(&ok);
        if (!ok)
            throw EStageError(QStringLiteral("\"%1\" не является целым числом (процент выполнения)")
                                  .arg(FromWin1251(ServerToDisplay(percentText))));
    }
    if (!text.isEmpty()) {
        const QByteArray shown = ServerToDisplay(text);
        const QDateTime now = FClock.Now();
        if (FWindows.PanelText().isEmpty()) {
            FLog.Add(shown);
            FLastMessage = now;
            FWindows.SetPanelText(QStringLiteral("  ") + FromWin1251(shown));
        }
        // A repeated text neither adds a line nor restarts its time.
        if (shown != FLog.Last()) {
            FLog.AppendToLast(W(QStringLiteral(" - ")) + W(FClock.Duration(FLastMessage.msecsTo(now))));
            FLog.Add(shown);
            FLastMessage = now;
            FWindows.SetPanelText(FWindows.PanelText() + QStringLiteral("\n  ") + FromWin1251(shown));
            FWindows.ScrollPanelToEnd();
        }
    }
    FWindows.SetPosition(percent);
    FWindows.Repaint();
    Ui().SetTitle(QStringLiteral("Установка ") + Product() + QStringLiteral("  Выполнение последействий: ")
                  + QString::number(FWindows.Percent()) + QLatin1Char('%'));
    Ui().ProcessEvents();
}

bool TSetupStages::RunPostActionStage()
{
    if (!Options.RunPostActions) {
        Log(QString());
        Log(QStringLiteral("Метки последействия не выполнялись"));
        return true;
    }
    Log(QString());
    Log(QStringLiteral("Выполнение меток последействия."));
    FWindows.SetLayout(TProgressLayout::PostActions);
    FPostStart = FClock.Now();
    FLastMessage = FPostStart;
    Log(QStringLiteral("Начало: ") + FClock.TimeText(FPostStart.time()));
    if (FDistrib.PostLabels.isEmpty())
        return true;

    FWindows.SetMessage(QStringLiteral("Завершающие стадии установки..."));
    FWindows.SetMaximum(100);
    FWindows.SetPosition(0);
    FWindows.SetClip(TSetupClip::None);
    FWindows.SetSmallAnimation(true);
    FWindows.Show();
    FWindows.Repaint();

    const QByteArray N = SetupRoutineName;
    auto since = [this](const QDateTime &from) { return FClock.Duration(from.msecsTo(FClock.Now())); };
    try {
        const QList<QByteArray> lines = GenerateSetupRoutine(FDistrib.PostLabels, FDistrib.PostDescs,
                                                             FDistrib.ProductName, FDistrib.Version, N);
        if (!SaveSetupRoutine(lines))
            throw EAbort();

        FVisM.SetValue(QByteArray());
        RunCodeChecked("$$job^" + N);
        if (FVisM.Value() == "0") {
            Log(QStringLiteral("Не удалось стартовать фоновое задаение для выполнения последействий."));
            Log(QStringLiteral("Выполнение последействий пойдет без вывода сообщений о прогрессе"));
            FWindows.SetGaugeVisible(false);
            FVisM.SetCode("$$stf^" + N);
            FLog.Add(FVisM.Code());
            FVisM.SetExecFlag(1); // the post-actions run now; the call returns when they end
            CheckRun();
        } else {
            FClock.Sleep(2000);
            int n = 1;
            auto alive = [&] {
                FVisM.SetValue(QByteArray());
                RunCodeChecked("$$jalive^" + N);
                return FVisM.Value() == "1";
            };
            auto read = [&] {
                RunCodeChecked("$g(^R(\"velmsetup\",\"" + QByteArray::number(n) + "\"))");
                return FVisM.Value();
            };
            while (alive()) {
                const QByteArray m = read();
                if (!m.isEmpty()) {
                    ++n;
                    if (m.at(0) == 2)
                        HandleQuestion(m);
                    else
                        ShowProgressMessage(m);
                }
                FWindows.SetTime(QStringLiteral("Прошло: ") + since(FPostStart));
                FClock.Sleep(500);
            }
            // What the job wrote after the last poll.
            for (QByteArray m = read(); !m.isEmpty(); m = read()) {
                ++n;
                ShowProgressMessage(m);
            }
            FLog.AppendToLast(W(QStringLiteral(" - ") + since(FLastMessage)));
        }

        RunCodeChecked("$g(^R(\"velmsetup\"))");
        const QByteArray status = FVisM.Value();
        if (!status.isEmpty()) {
            const QByteArray shown = ServerToDisplay(status);
            FWindows.StopAnimation();
            Ui().ShowError(FromWin1251(shown));
            FLog.Add(W(QStringLiteral("Неуспех. ")) + shown);
            throw EAbort();
        }
        FVisM.Execute("k ^R(\"velmsetup\")");
        Log(QStringLiteral("Последействия упешно выполнены."));
        Log(QStringLiteral("Продолжительность выполнения последействий ") + since(FPostStart));
        Log(QString());
        return true;
    } catch (const std::exception &e) {
        LogError(e);
        return false;
    }
}
