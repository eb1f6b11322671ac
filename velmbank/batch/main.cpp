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
    QString error;
    const std::optional<TBatchOptions> options = ParseBatchArguments(app.arguments().mid(1), error);
    if (!options) {
        std::fprintf(stderr, "velmbank-import: %s\n(velmbank-import --help tells the options)\n",
                     error.toUtf8().constData());
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
        std::fprintf(stderr, "velmbank-import: %s\n", error.toUtf8().constData());
        return BatchFailed;
    }

    TBatchUi ui(options->Similar, {}, ::isatty(STDERR_FILENO) == 1);
    SetUi(&ui);
    InstallBatchSignalHandlers();
    TBatchImport work(*options, *credentials, ui);
    const int code = work.Run();
    SetUi(nullptr);
    return code;
}
