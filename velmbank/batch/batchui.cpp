#include "batchui.h"

#include "Connect.h"
#include "codepage.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

std::atomic<bool> BatchInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

namespace {

extern "C" void OnBatchSignal(int) { BatchInterrupted = true; }

} // namespace

void InstallBatchSignalHandlers()
{
    struct sigaction sa
    {
    };
    sa.sa_handler = OnBatchSignal;
    sigemptyset(&sa.sa_mask);
    // Not restarted: a wait on the server ends at once (the link looks at the flag while it
    // waits); a second signal ends the program.
    sa.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM}) {
        // A signal the caller ignores stays ignored (a job started in the background by a shell).
        struct sigaction old
        {
        };
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &sa, nullptr);
    }
}

TBatchUi::TBatchUi(Writer writer, bool progress)
    : Stamp([] { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")); }),
      FWriter(std::move(writer)), FProgress(progress)
{
    if (!FWriter)
        FWriter = [](const QByteArray &utf8) {
            std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
            std::fflush(stderr);
        };
}

void TBatchUi::Write(const QString &text)
{
    ClearProgress();
    const QString stamp = Stamp ? Stamp() : QString();
    QByteArray out;
    for (const QString &line : text.split(u'\n'))
        out += (stamp + line).toUtf8() + '\n';
    FWriter(out);
}

void TBatchUi::Say(const QString &text)
{
    Write(text);
    if (Link)
        Link->Protocol.append(ToWin1251(text));
}

void TBatchUi::ShowMessage(const QString &text) { Say(text); }

void TBatchUi::ShowError(const QString &text)
{
    // The standard error report keeps its text in the protocol itself; login and logout keep
    // theirs out of it.
    Write(text);
}

void TBatchUi::Answered(const QString &question, const QString &answer)
{
    Say(QStringLiteral("%1 — ответ: %2").arg(question, answer));
}

TAnswer TBatchUi::AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption, TQuestionIcon)
{
    // The run asks "Прервать задачу?" only after Esc, which here is a signal.
    const TAnswer answer = BatchInterrupted ? TAnswer::Yes : defaultAnswer;
    const QString where = caption.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(caption);
    Answered(text + where,
             answer == TAnswer::Yes ? QStringLiteral("Да (получен сигнал)") : QStringLiteral("Нет"));
    return answer;
}

TAnswer TBatchUi::AskYesNoCancel(const QString &text, TAnswer, const QString &caption, TQuestionIcon)
{
    const QString where = caption.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(caption);
    Answered(text + where, QStringLiteral("Отмена"));
    return TAnswer::Cancel;
}

int TBatchUi::ChoiceBox(const TChoiceArgs &args)
{
    const int button = args.EscapeResult;
    const QString question =
        args.Caption.isEmpty() ? args.Message : QStringLiteral("%1 [%2]").arg(args.Message, args.Caption);
    Answered(question, QStringLiteral("%1 (Esc: no policy for this question)")
                           .arg(args.Buttons.split(u'_').value(button - 1)));
    return button;
}

std::optional<QString> TBatchUi::AskPassword(const QString &caption)
{
    Answered(caption, QStringLiteral("отмена: пароль здесь не вводится, его берут из профиля"));
    return std::nullopt;
}

std::optional<TUi::Account> TBatchUi::AskAccount(const QString &caption, const QString &)
{
    Answered(caption, QStringLiteral("отмена: учётная запись здесь не вводится"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::AskText(const QString &caption, const QString &prompt, const QString &)
{
    Answered(QStringLiteral("%1: %2").arg(caption, prompt), QStringLiteral("отмена"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::AskName(const QString &caption, const QString &prompt, const QString &,
                                         const NameCheck &check)
{
    // The run's surname prompt: answered with --surname, under the prompt's own check.
    const QString refusal = Surname.isEmpty() ? QStringLiteral("фамилия не задана (--surname)")
                            : check           ? check(Surname)
                                              : QString();
    if (!refusal.isEmpty()) {
        Answered(QStringLiteral("%1: %2").arg(caption, prompt),
                 QStringLiteral("отмена: «%1»: %2").arg(Surname, refusal));
        return std::nullopt;
    }
    return Surname;
}

std::optional<QString> TBatchUi::ChooseFile(const QString &caption, const QString &, const QString &)
{
    Answered(caption, QStringLiteral("отмена: файлы задаются в командной строке"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::ChooseFolder(const QString &caption, const QString &)
{
    Answered(caption, QStringLiteral("отмена"));
    return std::nullopt;
}

void TBatchUi::ProcessEvents()
{
    QCoreApplication::processEvents();
    if (BatchInterrupted && !EscapePressed())
        SetEscapePressed(true);
}

// ---- the progress line ----

void TBatchUi::OnProgressShow(const QString &message, int)
{
    FCaption = message;
    DrawProgress(true);
}

void TBatchUi::OnProgressHide() { ClearProgress(); }

void TBatchUi::OnProgressMessage(const QString &message)
{
    FCaption = message;
    DrawProgress(true);
}

void TBatchUi::OnProgressPosition(int, int) { DrawProgress(false); }

void TBatchUi::DrawProgress(bool force)
{
    if (!FProgress || !ProgressShown())
        return;
    // A line at most every 100 ms: a terminal is slower than the import.
    const bool last = ProgressPosition() >= ProgressMaximum();
    if (!force && !last && FDrawn.isValid() && FDrawn.elapsed() < 100)
        return;
    FDrawn.start();
    const int max = ProgressMaximum();
    const int pos = ProgressPosition();
    QString line = QStringLiteral("\r\x1b[K%1: %2/%3").arg(FCaption).arg(pos).arg(max);
    if (max > 0)
        line += QStringLiteral(" (%1%)").arg(qint64(pos) * 100 / max);
    FWriter(line.toUtf8());
    FLineShown = true;
}

void TBatchUi::ClearProgress()
{
    if (!FLineShown)
        return;
    FWriter("\r\x1b[K");
    FLineShown = false;
}
