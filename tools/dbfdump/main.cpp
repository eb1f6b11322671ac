// dbfdump FILE: one line per field (name, type number, size, precision, tab-separated), an empty
// line, then one line per record with the text the gateway sends to the server for it.
#include "Connect.h"
#include "StandardOptions.h"
#include "codepage.h"
#include "dbfops.h"

#include <QFile>
#include <QLocale>

#include <cstdio>

namespace {

const char *const kUsage =
    "usage: dbfdump FILE\n"
    "\n"
    "Shows a client-bank file (a dBASE file or a 1C exchange text) as the gateway reads it: one\n"
    "line per field (name, type number, size, precision, tab-separated), an empty line, then\n"
    "one line per record with the text the gateway sends to the server for it (Windows-1251,\n"
    "values joined by chr(2)).\n"
    "\n"
    "  --help   this text; --version: the version\n"
    "\n"
    "Exit: 0 done, 1 the file could not be read, 2 a wrong command line.\n";

void Write(const QByteArray &bytes) { std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout); }

int Fail(const QByteArray &win1251)
{
    const QByteArray text = FromWin1251(win1251).toLocal8Bit();
    std::fprintf(stderr, "dbfdump: %s\n", text.constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto answered = AnswerHelpOrVersion(argc, argv, "dbfdump", kUsage))
        return *answered;
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The gateway's own path, with the failure kept in the protocol instead of a message box.
    TLink link;
    link.LocaleDecimalSeparator = ToWin1251(QLocale::system().decimalPoint());
    link.ShowErrors = false;
    link.KeepProtocol = true;
    TDbfFile file;
    const TDbfTable &tbDBF = file.tbDBF;
    if (!OpenDbfFile(link, file, QFile::decodeName(argv[1])))
        return Fail(link.Protocol.isEmpty() ? QByteArray("cannot open the file") : link.Protocol.last());

    QByteArray out;
    for (const TDbfFieldDef &def : tbDBF.FieldDefs()) {
        out += def.Name + '\t' + QByteArray::number(def.TypeId) + '\t' + QByteArray::number(def.Size) + '\t'
               + QByteArray::number(def.Precision) + '\n';
    }
    out += '\n';
    Write(out);
    try {
        for (file.tbDBF.First(); !tbDBF.Eof(); file.tbDBF.Next()) {
            out = DbfRecordText(link, tbDBF);
            out += '\n';
            Write(out);
        }
    } catch (const EDbfError &e) {
        std::fflush(stdout);
        return Fail(e.Message);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
