#pragma once
// The document run: the core of the document grid's "Запись" command. It walks the intermediate
// table and, for every included row, has the server create the payment document, or close an
// unclosed similar one with it, asking the operator where similar documents exist. Every
// question goes through the Ui seam; the grid window reads the state kept here.

#include "taskdata.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The buttons of the run's two choice boxes, by their numbers: a similar unclosed document
// ("Закрыть_Создать новый_Пропустить_Прервать") and a similar closed one
// ("Создать новый_Пропустить_Прервать").
enum TUnclosedAnswer : int { UnclosedClose = 1, UnclosedCreate, UnclosedSkip, UnclosedStop };
enum TSimilarAnswer : int { SimilarCreate = 1, SimilarSkip, SimilarStop };

// The run's questions about similar documents answered before it starts, for a run that nobody
// watches: Ask shows the boxes; Close closes the first unclosed similar document and skips a row
// whose similar documents are all closed.
enum class TSimilarPolicy { Ask, Skip, Close, Create, Stop };

// What the run made of one row: the Transact value the grid shows, and the record's outcome.
struct TRowResult
{
    QByteArray Transact;
    TRecordOutcome Outcome = TRecordOutcome::NotProcessed;
    QByteArray Text; // the server's refusal or the closed document (Windows-1251)
};

class TTaskRun : public QObject
{
    Q_OBJECT
public:
    explicit TTaskRun(TdmTask *task, QObject *parent = nullptr);

    // The operator's surname, sent with every document (stored as "familia").
    QByteArray Surname;
    // "Закрывать незакрытые документы без подтверждения" (stored as "closedoc").
    bool CloseDoc = false;
    TSimilarPolicy Similar = TSimilarPolicy::Ask;
    // Why the last run ended before its last row: the failure's text (Windows-1251), empty when
    // it went through or was stopped. The run itself says nothing; its callers may.
    QByteArray RunFailure;

    // The run command: enabled at every task start, disabled by the run, so a table is run
    // at most once. While disabled actRunExecute does nothing.
    bool RunEnabled() const { return FRunEnabled; }
    void SetRunEnabled(bool enabled);

    void actRunExecute();
    // The result of the current tbTask row; throws when a server call fails.
    TRowResult ProcessDocument(qint64 setType);
    // The task's columns of the current row joined by chr(2).
    QByteArray TaskRowText() const;
    // The operator's answer, empty when cancelled.
    QByteArray AskSurname(const QByteArray &current);

Q_SIGNALS:
    void RunEnabledChanged(bool enabled);

private:
    QByteArray CallDocument(const QByteArray &label, bool closing);
    // The box of a row with similar documents, or the answer the policy gives for it.
    int Choose(bool unclosed);
    QString TaskName() const;

    TdmTask *FTask;
    bool FRunEnabled = true;
};

// Run captions by setting type (empty for a type that is neither money out nor money in).
QString RunCaption(qint64 setType);
