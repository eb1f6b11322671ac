#include "batchui.h"

#include "codepage.h"
#include "Connect.h"

#include <QCoreApplication>

#include <cstdio>

volatile std::sig_atomic_t BatchInterrupted = 0;

namespace {

extern "C" void OnBatchSignal(int)
{
    BatchInterrupted = 1;
}

// The caption of the button the policy presses in a box of the run.
QString PolicyButton(TSimilarPolicy policy)
{
    switch (policy) {
    case TSimilarPolicy::Close:
        return QStringLiteral("Закрыть");
    case TSimilarPolicy::Create:
        return QStringLiteral("Создать новый");
    case TSimilarPolicy::Skip:
        return QStringLiteral("Пропустить");
    case TSimilarPolicy::Stop:
        return QStringLiteral("Прервать");
    }
    return {};
}

} // namespace

void InstallBatchSignalHandlers()
{
    struct sigaction sa
    {
    };
    sa.sa_handler = OnBatchSignal;
    sigemptyset(&sa.sa_mask);
    // Calls in progress go on (the row in hand is finished); a second signal ends the program.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
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

TBatchUi::TBatchUi(TSimilarPolicy policy, Writer writer, bool progress)
    : FPolicy(policy), FWriter(std::move(writer)), FProgress(progress)
{
    if (!FWriter)
        FWriter = [](const QByteArray &utf8) {
            std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
            std::fflush(stderr);
        };
}

void TBatchUi::Sync()
{
    if (FDuplicateAt < 0)
        return;
    if (Protocol.size() > FDuplicateAt && Protocol[FDuplicateAt] == FDuplicate)
        Protocol.removeAt(FDuplicateAt);
    FDuplicateAt = -1;
    FDuplicate.clear();
}

void TBatchUi::Write(const QString &line)
{
    ClearProgress();
    FWriter(line.toUtf8() + '\n');
}

void TBatchUi::Say(const QString &text)
{
    Sync();
    Write(text);
    Protocol.append(ToWin1251(text));
}

void TBatchUi::ShowMessage(const QString &text)
{
    Say(text);
}

void TBatchUi::ShowError(const QString &text)
{
    Say(text);
    // The standard error report appends its text next, when it keeps the protocol.
    if (KeepProtocol) {
        FDuplicateAt = Protocol.size();
        FDuplicate = Protocol.last();
    }
}

void TBatchUi::Answered(const QString &question, const QString &answer)
{
    Say(QStringLiteral("%1 — ответ: %2").arg(question, answer));
}

TAnswer TBatchUi::AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption, TQuestionIcon)
{
    Sync();
    // The run asks "Прервать задачу?" only after Esc, which here is a signal.
    const TAnswer answer = BatchInterrupted ? TAnswer::Yes : defaultAnswer;
    const QString where = caption.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(caption);
    Answered(text + where,
             answer == TAnswer::Yes ? QStringLiteral("Да (получен сигнал)") : QStringLiteral("Нет"));
    return answer;
}

TAnswer TBatchUi::AskYesNoCancel(const QString &text, TAnswer, const QString &caption, TQuestionIcon)
{
    Sync();
    const QString where = caption.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(caption);
    Answered(text + where, QStringLiteral("Отмена"));
    return TAnswer::Cancel;
}

int TBatchUi::ChoiceBox(const TChoiceArgs &args)
{
    Sync();
    const QStringList buttons = args.Buttons.split(QLatin1Char('_'));
    QString wanted = PolicyButton(FPolicy);
    // A box without a close button is about documents that are all closed: already imported.
    if (FPolicy == TSimilarPolicy::Close && !buttons.contains(wanted))
        wanted = PolicyButton(TSimilarPolicy::Skip);
    int button = int(buttons.indexOf(wanted)) + 1;
    QString why = QStringLiteral("--similar %1").arg(PolicyName(FPolicy));
    if (button == 0) {
        button = args.EscapeResult;
        why = QStringLiteral("Esc: no policy for this question");
    }
    const QString question =
        args.Caption.isEmpty() ? args.Message : QStringLiteral("%1 [%2]").arg(args.Message, args.Caption);
    Answered(question, QStringLiteral("%1 (%2)").arg(buttons.value(button - 1), why));
    return button;
}

std::optional<QString> TBatchUi::AskPassword(const QString &caption)
{
    Sync();
    Answered(caption, QStringLiteral("отмена: пароль здесь не вводится, его берут из профиля"));
    return std::nullopt;
}

std::optional<TUi::Account> TBatchUi::AskAccount(const QString &caption, const QString &)
{
    Sync();
    Answered(caption, QStringLiteral("отмена: учётная запись здесь не вводится"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::AskText(const QString &caption, const QString &prompt, const QString &)
{
    Sync();
    Answered(QStringLiteral("%1: %2").arg(caption, prompt), QStringLiteral("отмена"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::AskName(const QString &caption, const QString &prompt, const QString &,
                                         const NameCheck &check)
{
    Sync();
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
    Sync();
    Answered(caption, QStringLiteral("отмена: файлы задаются в командной строке"));
    return std::nullopt;
}

std::optional<QString> TBatchUi::ChooseFolder(const QString &caption, const QString &)
{
    Sync();
    Answered(caption, QStringLiteral("отмена"));
    return std::nullopt;
}

void TBatchUi::ProcessEvents()
{
    Sync();
    QCoreApplication::processEvents();
    if (BatchInterrupted && !EscapePressed())
        SetEscapePressed(true);
}

// ---- the progress line ----

void TBatchUi::OnProgressShow(const QString &message, int)
{
    Sync();
    FCaption = message;
    DrawProgress(true);
}

void TBatchUi::OnProgressHide()
{
    Sync();
    ClearProgress();
}

void TBatchUi::OnProgressMessage(const QString &message)
{
    FCaption = message;
    DrawProgress(true);
}

void TBatchUi::OnProgressPosition(int, int)
{
    DrawProgress(false);
}

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
