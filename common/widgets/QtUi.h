#pragma once
// The Ui seam in widgets: message boxes with Russian buttons, the choice box, prompts, file
// dialogs and the progress window. Each program subclasses it for its own dialogs (the gateway's
// password prompt, the installer's account prompt) and gives it its progress window.

#include "Ui.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

// What a progress window does for the seam. The seam calls it; the window sets
// Ui().SetEscapePressed(true) when the operator presses Esc in it.
class TProgressView
{
public:
    virtual ~TProgressView() = default;
    virtual void ProgressShow(const QString &message, int maximum) = 0;
    virtual void ProgressHide() = 0;
    virtual void ProgressMessage(const QString &message) = 0;
    // Called at most a few dozen times a second, and always for the last position.
    virtual void ProgressPosition(int position, int maximum) = 0;
};

class QtUi : public TUi
{
public:
    QtUi();
    ~QtUi() override;

    // The progress window; without one the seam shows a plain one of its own.
    void SetProgressView(TProgressView *view) { FView = view; }
    // The window the boxes are centred on (none: the screen).
    void SetParentWindow(QWidget *w) { FParent = w; }
    QWidget *ParentWindow() const { return FParent; }

    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;
    TAnswer AskYesNo(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                     TQuestionIcon icon = TQuestionIcon::Question) override;
    TAnswer AskYesNoCancel(const QString &text, TAnswer defaultAnswer, const QString &caption = QString(),
                           TQuestionIcon icon = TQuestionIcon::Question) override;
    int ChoiceBox(const TChoiceArgs &args) override;
    std::optional<QString> AskPassword(const QString &caption) override;
    std::optional<Account> AskAccount(const QString &caption, const QString &user) override;
    std::optional<QString> AskText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::optional<QString> AskName(const QString &caption, const QString &prompt, const QString &initial,
                                   const NameCheck &check) override;
    std::optional<QString> ChooseFile(const QString &caption, const QString &dir,
                                      const QString &filter) override;
    std::optional<QString> ChooseFolder(const QString &caption, const QString &dir) override;
    void ProcessEvents() override;

    // Repaints of the progress bar are spaced by at least this (ms).
    static constexpr int ProgressPaintInterval = 30;

protected:
    void OnProgressShow(const QString &message, int maximum) override;
    void OnProgressHide() override;
    void OnProgressMessage(const QString &message) override;
    void OnProgressPosition(int position, int maximum) override;
    void OnTitleChanged(const QString &title) override;

    TProgressView *View();

private:
    TAnswer Ask(const QString &text, TAnswer defaultAnswer, const QString &caption, TQuestionIcon icon,
                bool withCancel);

    QPointer<QWidget> FParent;
    TProgressView *FView = nullptr;
    class TPlainProgress *FPlain = nullptr;
    QElapsedTimer FSincePaint;
    QElapsedTimer FSinceEvents;
};
