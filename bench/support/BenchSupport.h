#pragma once
// What the benchmarks share: a Ui that answers nothing and a bare loopback TCP ping-pong, the
// reference that XAPI call rates are measured against in the same run.

#include "Ui.h"

#include <QByteArray>
#include <QList>

#include <cstddef>

class TXAPI;

class QuietUi : public TUi
{
public:
    void ShowMessage(const QString &t) override;
    void ShowError(const QString &t) override { ShowMessage(t); }
    TAnswer AskYesNo(const QString &, TAnswer d, const QString & = QString(),
                     TQuestionIcon = TQuestionIcon::Question) override { return d; }
    TAnswer AskYesNoCancel(const QString &, TAnswer d, const QString & = QString(),
                           TQuestionIcon = TQuestionIcon::Question) override { return d; }
    int ChoiceBox(const TChoiceArgs &) override { return 0; }
    std::optional<QString> AskPassword(const QString &) override { return std::nullopt; }
    std::optional<Account> AskAccount(const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> AskText(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> AskName(const QString &, const QString &, const QString &, const NameCheck &) override { return std::nullopt; }
    std::optional<QString> ChooseFile(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(const QString &, const QString &) override { return std::nullopt; }
    void ProcessEvents() override {}

protected:
    void OnProgressShow(const QString &, int) override {}
    void OnProgressHide() override {}
    void OnProgressMessage(const QString &) override {}
    void OnProgressPosition(int, int) override {}
};

// Exchanges per second of a blocking client and a loopback server thread that answers every
// request of reqSize bytes with replySize bytes.
double PingPongRate(int calls, size_t reqSize, size_t replySize);

// Calls per second of the same call through an open link, after a warm-up; aborts on a wrong
// reply, so that a fast wrong answer is never measured.
double CallRate(TXAPI &x, const QList<QByteArray> &elements, const QByteArray &expected, int calls,
                int warmUp);
