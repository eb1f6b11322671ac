#include "ConsoleUi.h"

#include <cstdio>
#include <iostream>
#include <string>

void ConsoleUi::ShowMessage(const QString &text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }

// A tool has no one to answer questions: it takes the safe answer and says so.
TAnswer ConsoleUi::AskYesNo(const QString &text, TAnswer, const QString &, TQuestionIcon)
{
    ShowMessage(text + QStringLiteral(" (no answer possible here: No)"));
    return TAnswer::No;
}

TAnswer ConsoleUi::AskYesNoCancel(const QString &text, TAnswer, const QString &, TQuestionIcon)
{
    ShowMessage(text + QStringLiteral(" (no answer possible here: Cancel)"));
    return TAnswer::Cancel;
}

int ConsoleUi::ChoiceBox(const TChoiceArgs &args)
{
    ShowMessage(args.Message);
    return args.EscapeResult;
}

std::optional<QString> ConsoleUi::AskPassword(const QString &caption)
{
    std::fprintf(stderr, "%s: ", caption.toUtf8().constData());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::fprintf(stderr, "\n");
        PromptCancelled = true;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}
