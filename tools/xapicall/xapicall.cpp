// xapicall PROFILE REF [ARG...]: one XAPI call from a connection profile, for administrators
// and tests. The reply's bytes go to stdout unchanged; a failure's text goes to stderr.
// Exit: 0 done, 1 failed, 2 the password prompt was cancelled (end of input).

#include "Connect.h"
#include "ConsoleUi.h"
#include "StandardOptions.h"
#include "codepage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstdio>

namespace {

const char *const kUsage =
    "usage: xapicall PROFILE REF [ARG...]\n"
    "\n"
    "Makes one XAPI call through the connection profile PROFILE (velmbank.ini), as the gateway\n"
    "makes its calls, for administrators and tests. REF is the routine reference (label^routine,\n"
    "or $$label^routine for a function's value), the ARGs its arguments, typed in the terminal's\n"
    "encoding and sent in Windows-1251 (an argument that Windows-1251 cannot hold is refused and\n"
    "nothing is sent). The reply's bytes go to stdout unchanged, a failure's text to stderr.\n"
    "When the server refuses the profile's password, the password is asked on the terminal.\n"
    "\n"
    "  --help   this text; --version: the version\n"
    "\n"
    "Example, against velmd demo: xapicall velmbank.ini '$$login^%cplogG' 1 velm1 lich1\n"
    "\n"
    "Exit: 0 done, 1 the call failed or a wrong command line, 2 the password prompt was\n"
    "cancelled.\n";

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "xapicall", kUsage))
        return *answered;
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    ConsoleUi ui;
    SetUi(&ui);
    ui.SetTitle(QStringLiteral("xapicall"));
    TLink link;
    link.ProfileFileName = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

    // Arguments are typed in the terminal's encoding; the server speaks Windows-1251. One that is
    // no text in that encoding, or holds a character Windows-1251 lacks, would make a different
    // call than the one typed: it is refused before anything is sent.
    QList<QByteArray> elements;
    for (int i = 2; i < argc; ++i) {
        QStringDecoder terminal(QStringConverter::System, QStringConverter::Flag::Stateless);
        const QString text = terminal(QByteArrayView(argv[i]));
        const QByteArray bytes = ToWin1251(text);
        const char *why = terminal.hasError()          ? "is not valid text in the terminal's encoding"
                          : FromWin1251(bytes) != text ? "holds a character that Windows-1251 cannot hold"
                                                       : nullptr;
        if (why) {
            const QByteArray name = i == 2 ? QByteArray("REF") : "argument " + QByteArray::number(i - 2);
            std::fprintf(stderr, "xapicall: %s \"%s\" %s: nothing was sent\n", name.constData(),
                         text.toUtf8().constData(), why);
            return 1;
        }
        elements << bytes;
    }

    if (!link.OpenConnection()) {
        link.CloseConnection();
        return ui.PromptCancelled ? 2 : 1;
    }
    int rc = 0;
    try {
        const QByteArray reply = link.XApiLink->Call(elements);
        std::fwrite(reply.constData(), 1, size_t(reply.size()), stdout);
        std::fflush(stdout);
    } catch (const std::exception &e) {
        ui.ShowError(FromWin1251(QByteArray(e.what())));
        rc = 1;
    }
    link.CloseConnection();
    return rc;
}
