#pragma once
// The Ui seam: everything the core asks a person or shows in passing. The core never touches a
// widget; it calls Ui(), which is QtUi in the programs, a console in the tools and ScriptedUi in
// the tests. Texts are QString here: conversion from the 8-bit code pages happens at the caller.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Arguments of the choice box, by the positions its callers know.
struct TChoiceArgs
{
    QString Message;
    QString Caption;       // empty keeps "Сообщение"
    QString Buttons;       // captions separated by '_'
    int DefaultButton = 1; // 1-based
    int EscapeResult = 0;  // 0: Esc does nothing
    int ButtonWidth = 0;   // > 0: fixed width
    QString IconFile;
};

enum class TAnswer { Yes, No, Cancel };

// The icon of a yes/no question: the platform's question mark, or none.
enum class TQuestionIcon { Question, None };

class TUi
{
public:
    virtual ~TUi() = default;

    // Application title: caption of error boxes and questions. The implementation hears of every
    // change (the installer's stages retitle the program while they run).
    const QString &Title() const { return FTitle; }
    void SetTitle(const QString &title);

    virtual void ShowMessage(const QString &text) = 0;
    virtual void ShowError(const QString &text) = 0; // title as caption, error icon

    // An empty caption is the application title.
    virtual TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                             TQuestionIcon icon = TQuestionIcon::Question) = 0;
    virtual TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer,
                                   const QString &caption = QString(),
                                   TQuestionIcon icon = TQuestionIcon::Question) = 0;

    // 1-based number of the pressed button, EscapeResult on Esc, 0 when the box failed.
    virtual int ChoiceBox(const TChoiceArgs &args) = 0;

    // nullopt when the operator cancelled.
    virtual std::optional<QString> AskPassword(const QString &caption) = 0;
    struct Account
    {
        QString User, Password;
    };
    virtual std::optional<Account> AskAccount(const QString &caption, const QString &user) = 0;
    virtual std::optional<QString> AskText(const QString &caption, const QString &prompt,
                                           const QString &initial) = 0;
    // check returns an empty text to accept, or the message that keeps the prompt open.
    using NameCheck = std::function<QString(const QString &)>;
    virtual std::optional<QString> AskName(const QString &caption, const QString &prompt,
                                           const QString &initial, const NameCheck &check) = 0;
    virtual std::optional<QString> ChooseFile(const QString &caption, const QString &dir,
                                              const QString &filter) = 0;
    virtual std::optional<QString> ChooseFolder(const QString &caption, const QString &dir) = 0;

    // Let pending input be handled (Esc reaches the progress window here).
    virtual void ProcessEvents() = 0;

    // The progress window. Start clears both flags; the callers move the bar.
    void ProgressStart(const QString &message, int maximum);
    void ProgressFinish();
    void ProgressSetMessage(const QString &message);
    void ProgressSetPosition(int position);
    void ProgressStep(int by = 1) { ProgressSetPosition(FPosition + by); }
    void ProgressSetMaximum(int maximum);
    int ProgressPosition() const { return FPosition; }
    int ProgressMaximum() const { return FMaximum; }
    bool ProgressShown() const { return FShown; }

    // The progress flags. Only the seam sets them: the progress windows call SetEscapePressed,
    // the run calls SetStopRequested, and ProgressStart clears both.
    bool EscapePressed() const { return FEscapePressed; }
    bool StopRequested() const { return FStopRequested; }
    void SetEscapePressed(bool pressed) { FEscapePressed = pressed; }
    void SetStopRequested(bool requested) { FStopRequested = requested; }

protected:
    virtual void OnTitleChanged(const QString &title) { (void)title; }
    virtual void OnProgressShow(const QString &message, int maximum) = 0;
    virtual void OnProgressHide() = 0;
    virtual void OnProgressMessage(const QString &message) = 0;
    virtual void OnProgressPosition(int position, int maximum) = 0;

private:
    QString FTitle;
    bool FEscapePressed = false;
    bool FStopRequested = false;
    int FPosition = 0;
    int FMaximum = 0;
    bool FShown = false;
};

// The seam where nobody answers, for the implementations without windows (a tool, the unattended
// import, a benchmark) to extend with only what they do differently: messages go nowhere, every
// question gets what Esc gives (a yes/no box, which has no Esc, its default button), nothing is
// chosen and no progress is drawn.
class TSilentUi : public TUi
{
public:
    void ShowMessage(const QString &) override {}
    void ShowError(const QString &text) override { ShowMessage(text); }
    TAnswer AskYesNo(const QString &, TAnswer defaultAnswer, const QString & = QString(),
                     TQuestionIcon = TQuestionIcon::Question) override
    {
        return defaultAnswer;
    }
    TAnswer AskYesNoCancel(const QString &, TAnswer, const QString & = QString(),
                           TQuestionIcon = TQuestionIcon::Question) override
    {
        return TAnswer::Cancel;
    }
    int ChoiceBox(const TChoiceArgs &args) override { return args.EscapeResult; }
    std::optional<QString> AskPassword(const QString &) override { return std::nullopt; }
    std::optional<Account> AskAccount(const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> AskText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> AskName(const QString &, const QString &, const QString &,
                                   const NameCheck &) override
    {
        return std::nullopt;
    }
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> ChooseFolder(const QString &, const QString &) override { return std::nullopt; }
    void ProcessEvents() override {}

protected:
    void OnProgressShow(const QString &, int) override {}
    void OnProgressHide() override {}
    void OnProgressMessage(const QString &) override {}
    void OnProgressPosition(int, int) override {}
};

// The program-wide seam, set once at start. Ui() throws if nothing was set, and ends the program
// when called off the main thread (widgets may only be touched there).
TUi &Ui();
void SetUi(TUi *ui);

// Brackets a long operation: the progress window is shown for the guard's life and hidden on
// every path out, exceptions included.
class TProgressGuard
{
public:
    TProgressGuard(const QString &message, int maximum) { Ui().ProgressStart(message, maximum); }
    ~TProgressGuard() { Ui().ProgressFinish(); }
    TProgressGuard(const TProgressGuard &) = delete;
    TProgressGuard &operator=(const TProgressGuard &) = delete;
};
