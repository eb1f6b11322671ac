// velmbank-import: the gateway's import without windows, for schedulers. See BatchUsage() and
// the README's section.

#include "StandardOptions.h"
#include "batchimport.h"
#include "batchoptions.h"
#include "batchui.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    const QByteArray usage = BatchUsage().toUtf8();
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "velmbank-import", usage.constData()))
        return *answered;
    QCoreApplication app(argc, argv);
    // Every line on stderr goes after the date and time, the options' own mistakes too.
    TBatchUi ui({}, ::isatty(STDERR_FILENO) == 1);
    QString error;
    const std::optional<TBatchOptions> options = ParseBatchArguments(app.arguments().mid(1), error);
    if (!options) {
        ui.Write(
            QStringLiteral("velmbank-import: %1\n(velmbank-import --help tells the options)").arg(error));
        return BatchFailed;
    }
    if (options->Help) {
        std::fputs(BatchUsage().toUtf8().constData(), stdout);
        return BatchDone;
    }
    const std::optional<TCredentials> credentials =
        options->Credentials.isEmpty()
            ? CredentialsFromEnvironment(QProcessEnvironment::systemEnvironment(), error)
            : CredentialsFromFile(options->Credentials, error);
    if (!credentials) {
        ui.Write(QStringLiteral("velmbank-import: ") + error);
        return BatchFailed;
    }

    SetUi(&ui);
    InstallBatchSignalHandlers();
    TBatchImport work(*options, *credentials, ui);
    const int code = work.Run();
    SetUi(nullptr);
    return code;
}
