#include "demoserver.h"

#include "Routines.h"
#include "clbgen.h"
#include "codepage.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    // Windows-1251 shown as UTF-8, control bytes as \xNN.
    *os << '"';
    for (const QChar c : FromWin1251(bytes)) {
        if (c.unicode() < 0x20 || c == QLatin1Char('"') || c == QLatin1Char('\\'))
            *os << "\\x" << QByteArray::number(c.unicode(), 16).rightJustified(2, '0').constData();
        else
            *os << QString(c).toStdString();
    }
    *os << '"';
}

void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace demo {

bool Server::Start()
{
    QString ns = QStringLiteral("VELM");
    if (MakeServer) {
        FProcess = MakeServer(ns, Error);
        if (!FProcess)
            return false;
    } else {
        FProcess = std::make_unique<VelmdProcess>(VelmdProcess::Kind::Demo);
        if (!FProcess->Start()) {
            Error = FProcess->Error;
            return false;
        }
    }
    NameSpace = ns.toLatin1();
    Profile = FProcess->WriteProfile(ns);
    return true;
}

void Server::Stop() { FProcess.reset(); }

std::unique_ptr<TXAPI> Server::Link() const
{
    auto x = std::make_unique<TXAPI>();
    if (!x->LoadProfile(Profile) || !x->Open()) {
        ADD_FAILURE() << "the link to velmd would not open";
        return nullptr;
    }
    return x;
}

std::unique_ptr<TXAPI> Server::Link(int &sessionPid) const
{
    // velmd logs one start line per session, as it forks the session's process.
    static const QString start = QStringLiteral(" start (xapi");
    sessionPid = 0;
    const int before = int(FProcess->Log().count(start));
    auto x = Link();
    if (!x || !FProcess->WaitForLog(start, before + 1)) {
        ADD_FAILURE() << "no session start in the log of velmd";
        return x;
    }
    const QString log = FProcess->Log();
    const QRegularExpression re(QStringLiteral("session (\\d+) start \\(xapi"));
    for (auto it = re.globalMatch(log); it.hasNext();)
        sessionPid = it.next().captured(1).toInt();
    return x;
}

std::unique_ptr<TXAPI> Server::LinkAs(int user) const
{
    auto x = Link();
    // The user's session of a link closed just before may still be ending on the server.
    if (x && !Eventually([&] { return LoginAs(*x, user) != "1"; }, 5000))
        ADD_FAILURE() << "demo user " << user << " is still logged in elsewhere";
    if (x && LoginAs(*x, user) != "") {
        ADD_FAILURE() << "demo user " << user << " could not log in";
        return nullptr;
    }
    return x;
}

QByteArray W(const char *utf8) { return ToWin1251(QString::fromUtf8(utf8)); }

QByteArray Record(const QList<QByteArray> &fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out += '\x02';
        out += fields[i];
    }
    return out;
}

QByteArray List(const QList<QByteArray> &items)
{
    QByteArray out;
    for (const QByteArray &item : items)
        out += item + '\x01';
    return out;
}

QByteArray CallText(TXAPI &link, const QList<QByteArray> &elements)
{
    try {
        return link.Call(elements);
    } catch (const TVELM_Activate_Except &e) {
        return "<failed> " + e.Message;
    }
}

QByteArray LoginAs(TXAPI &link, int user)
{
    const QByteArray n = QByteArray::number(user);
    return CallText(link, {Routines::Login, n, "velm" + n, "lich" + n});
}

bool Eventually(const std::function<bool()> &probe, int msecs)
{
    QDeadlineTimer deadline(msecs);
    for (;;) {
        if (probe())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

QList<QByteArray> DbfRecords(const QString &path)
{
    std::ostringstream out;
    std::string error;
    if (!clb::dumpFile(path.toStdString(), out, error)) {
        ADD_FAILURE() << error;
        return {};
    }
    QList<QByteArray> records;
    for (const QByteArray &line : QByteArray::fromStdString(out.str()).split('\n'))
        if (!line.isEmpty())
            records.append(line);
    return records;
}

QByteArray DemoClient() { return W("Клиент-Банк Демо"); }

QByteArray Demo1CClient() { return W("Банк 1С Демо"); }

QByteArray OutSetName() { return W("Расход (демо)"); }

QByteArray InSetName() { return W("Приход (демо)"); }

} // namespace demo
