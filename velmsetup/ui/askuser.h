#pragma once
// The answer dialog: a question from a post-action that wants a text answer. Its size follows
// the question: every line the question needs beyond the first makes it one label line higher.

#include <QDialog>

#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmsetup {

class TfmAskUser : public QDialog
{
    Q_OBJECT
public:
    explicit TfmAskUser(QWidget *parent = nullptr);

    // Puts the question, caption and proposed answer in and sizes the dialog for the question.
    void Prepare(const QString &question, const QString &caption, const QString &proposed);
    // Lines the question needs in the label: words are measured one by one (spaces are not);
    // a word wider than the label takes a line of its own.
    int CountLines(const QString &question) const;

    // The label's design height: one line of the dialog's font.
    int LabelHeight() const { return FLabelHeight; }
    int DesignHeight() const { return FDesignHeight; }

    QFrame *pnMain;
    QLabel *lbAsk;
    QLineEdit *edAsk;
    QPushButton *btOk;
    QPushButton *btCancel;

private:
    int FLabelHeight = 13;
    int FDesignHeight = 79;
};

// Asks once in a fresh dialog: the edit's text after "OK", nullopt after "Отмена", Esc, the close
// box or any failure.
std::optional<QString> AskUser(const QString &question, const QString &caption, const QString &proposed,
                               QWidget *parent = nullptr);

} // namespace velmsetup
