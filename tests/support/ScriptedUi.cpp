#include "ScriptedUi.h"

#include <gtest/gtest.h>

namespace {
TUi *currentUiOrNull()
{
    try {
        return &Ui();
    } catch (const std::logic_error &) {
        return nullptr;
    }
}

const char *kindName(int k)
{
    static const char *names[] = {"yes/no", "yes/no/cancel", "choice", "password", "account",
                                  "text",   "name",          "file",   "folder"};
    return names[k];
}

QString answerText(TAnswer a)
{
    switch (a) {
    case TAnswer::Yes: return QStringLiteral("yes");
    case TAnswer::No: return QStringLiteral("no");
    case TAnswer::Cancel: return QStringLiteral("cancel");
    }
    return {};
}
} // namespace

ScriptedUi::ScriptedUi() : FPrevious(currentUiOrNull()) { SetUi(this); }

ScriptedUi::~ScriptedUi()
{
    SetUi(FPrevious);
    for (const Answer &a : FAnswers)
        ADD_FAILURE() << "an expected " << kindName(int(a.kind)) << " question was never asked";
}

void ScriptedUi::ExpectYesNo(TAnswer a) { FAnswers.push_back({Kind::YesNo, a}); }
void ScriptedUi::ExpectYesNoCancel(TAnswer a) { FAnswers.push_back({Kind::YesNoCancel, a}); }
void ScriptedUi::ExpectChoice(int b) { FAnswers.push_back({Kind::Choice, b}); }
void ScriptedUi::ExpectPassword(std::optional<QString> t) { FAnswers.push_back({Kind::Password, t}); }
void ScriptedUi::ExpectAccount(std::optional<Account> t) { FAnswers.push_back({Kind::Account, t}); }
void ScriptedUi::ExpectText(std::optional<QString> t) { FAnswers.push_back({Kind::Text, t}); }
void ScriptedUi::ExpectName(std::optional<QString> t) { FAnswers.push_back({Kind::Name, t}); }
void ScriptedUi::ExpectFile(std::optional<QString> t) { FAnswers.push_back({Kind::File, t}); }
void ScriptedUi::ExpectFolder(std::optional<QString> t) { FAnswers.push_back({Kind::Folder, t}); }

ScriptedUi::Value ScriptedUi::Take(Kind kind, const QString &question)
{
    if (FAnswers.empty() || FAnswers.front().kind != kind) {
        ADD_FAILURE() << "unexpected " << kindName(int(kind)) << " question: " << question.toStdString();
        switch (kind) {
        case Kind::YesNo:
        case Kind::YesNoCancel: return TAnswer::Cancel;
        case Kind::Choice: return 0;
        case Kind::Account: return std::optional<Account>{};
        default: return std::optional<QString>{};
        }
    }
    Value v = FAnswers.front().value;
    FAnswers.pop_front();
    return v;
}

QStringList ScriptedUi::Messages() const
{
    QStringList out;
    for (const QString &e : Events) {
        if (e.startsWith(QLatin1String("message: ")))
            out << e.mid(9);
        else if (e.startsWith(QLatin1String("error: ")))
            out << e.mid(7);
    }
    return out;
}

void ScriptedUi::ShowMessage(const QString &text) { Events << QStringLiteral("message: ") + text; }

void ScriptedUi::ShowError(const QString &text)
{
    Events << QStringLiteral("error caption: ") + Title();
    Events << QStringLiteral("error: ") + text;
}

void ScriptedUi::RecordQuestionLook(const QString &caption, TQuestionIcon icon)
{
    if (!caption.isEmpty())
        Events << QStringLiteral("question caption: ") + caption;
    if (icon == TQuestionIcon::None)
        Events << QStringLiteral("question icon: none");
}

TAnswer ScriptedUi::AskYesNo(const QString &text, TAnswer def, const QString &caption, TQuestionIcon icon)
{
    RecordQuestionLook(caption, icon);
    Events << QStringLiteral("yes/no [%1]: %2").arg(answerText(def), text);
    return std::get<TAnswer>(Take(Kind::YesNo, text));
}

TAnswer ScriptedUi::AskYesNoCancel(const QString &text, TAnswer def, const QString &caption,
                                   TQuestionIcon icon)
{
    RecordQuestionLook(caption, icon);
    Events << QStringLiteral("yes/no/cancel [%1]: %2").arg(answerText(def), text);
    return std::get<TAnswer>(Take(Kind::YesNoCancel, text));
}

int ScriptedUi::ChoiceBox(const TChoiceArgs &a)
{
    Events << QStringLiteral("choice: %1 | %2 | %3 | default %4 | esc %5")
                  .arg(a.Message, a.Caption, a.Buttons)
                  .arg(a.DefaultButton)
                  .arg(a.EscapeResult);
    return std::get<int>(Take(Kind::Choice, a.Message));
}

std::optional<QString> ScriptedUi::AskPassword(const QString &caption)
{
    Events << QStringLiteral("password: ") + caption;
    return std::get<std::optional<QString>>(Take(Kind::Password, caption));
}

std::optional<TUi::Account> ScriptedUi::AskAccount(const QString &caption, const QString &user)
{
    Events << QStringLiteral("account: %1 [%2]").arg(caption, user);
    return std::get<std::optional<Account>>(Take(Kind::Account, caption));
}

std::optional<QString> ScriptedUi::AskText(const QString &caption, const QString &prompt,
                                           const QString &initial)
{
    Events << QStringLiteral("text: %1 | %2 [%3]").arg(caption, prompt, initial);
    return std::get<std::optional<QString>>(Take(Kind::Text, prompt));
}

std::optional<QString> ScriptedUi::AskName(const QString &caption, const QString &prompt,
                                           const QString &initial, const NameCheck &check)
{
    Events << QStringLiteral("name: %1 | %2 [%3]").arg(caption, prompt, initial);
    auto typed = std::get<std::optional<QString>>(Take(Kind::Name, prompt));
    // As the dialog does: OK is refused while the check says no, and the prompt stays open. The
    // next queued name is what the operator types after the refusal; with none queued, cancel.
    while (typed && check) {
        const QString refusal = check(*typed);
        if (refusal.isEmpty())
            break;
        ShowMessage(refusal);
        if (FAnswers.empty() || FAnswers.front().kind != Kind::Name)
            return std::nullopt;
        typed = std::get<std::optional<QString>>(Take(Kind::Name, prompt));
    }
    return typed;
}

std::optional<QString> ScriptedUi::ChooseFile(const QString &caption, const QString &dir,
                                              const QString &filter)
{
    Events << QStringLiteral("file: %1 | %2 | %3").arg(caption, dir, filter);
    return std::get<std::optional<QString>>(Take(Kind::File, caption));
}

std::optional<QString> ScriptedUi::ChooseFolder(const QString &caption, const QString &dir)
{
    Events << QStringLiteral("folder: %1 | %2").arg(caption, dir);
    return std::get<std::optional<QString>>(Take(Kind::Folder, caption));
}

void ScriptedUi::ProcessEvents()
{
    ++ProcessEventsCount;
    if (OnProcessEvents)
        OnProcessEvents(*this);
}

void ScriptedUi::OnProgressShow(const QString &m, int max) { Events << ProgressStartText(m, max); }

void ScriptedUi::OnProgressHide() { Events << QStringLiteral("progress finish"); }

void ScriptedUi::OnProgressMessage(const QString &m) { Events << QStringLiteral("progress message: ") + m; }

void ScriptedUi::OnProgressPosition(int pos, int max) { Events << ProgressText(pos, max); }

QString ScriptedUi::ProgressStartText(const QString &message, int maximum)
{
    return QStringLiteral("progress start: %1 [%2]").arg(message).arg(maximum);
}

QString ScriptedUi::ProgressText(int position, int maximum)
{
    return QStringLiteral("progress: %1/%2").arg(position).arg(maximum);
}
