// xapicall PROFILE REF [ARG...]: one XAPI call from a connection profile, for administrators
// and tests. The reply's bytes go to stdout unchanged; a failure's text goes to stderr.
// Exit: 0 done, 1 failed, 2 the password prompt was cancelled (end of input).

#include "ConsoleUi.h"
#include "Connect.h"
#include "codepage.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: xapicall PROFILE REF [ARG...]\n");
        return 1;
    }
    ConsoleUi ui;
    SetUi(&ui);
    ui.SetTitle(QStringLiteral("xapicall"));
    ResetLinkGlobals();
    ProfileFileName = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

    // Arguments are typed in the terminal's encoding; the server speaks Windows-1251.
    QList<QByteArray> elements;
    for (int i = 2; i < argc; ++i)
        elements << ToWin1251(QString::fromLocal8Bit(argv[i]));

    if (!OpenConnection()) {
        CloseConnection();
        return ui.PromptCancelled ? 2 : 1;
    }
    int rc = 0;
    try {
        const QByteArray reply = XApiLink->Call(elements);
        std::fwrite(reply.constData(), 1, size_t(reply.size()), stdout);
        std::fflush(stdout);
    } catch (const std::exception &e) {
        ui.ShowError(FromWin1251(QByteArray(e.what())));
        rc = 1;
    }
    CloseConnection();
    return rc;
}
