#pragma once
// What the tests against `velmd demo` share: the server of the executable, links opened the way
// the gateway opens them, the texts of the demo in the server's code page, and the records of the
// demo's sample files as the gateway sends them.

#include "UXAPI.h"
#include "VelmdProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

#include <ostream>

// Byte strings and texts in failure messages: readable, separators and high bytes escaped.
void PrintTo(const QByteArray &bytes, std::ostream *os);
void PrintTo(const QString &text, std::ostream *os);

namespace demo {

// How a suite's server comes to be: `velmd demo` serving VELM, unless a test executable puts
// another maker here before its suites start (the installer's end-to-end test installs the
// gateway's routines through the wizard into a fresh namespace and runs these suites there). A
// maker returns the running velmd and sets the namespace; null with the reason in error.
using MakeServerFn = std::unique_ptr<VelmdProcess> (*)(QString &ns, QString &error);
inline MakeServerFn MakeServer = nullptr;

// The one velmd of a test executable, `velmd demo` in a temporary data directory.
class Server
{
public:
    // Starts it; false with the reason in Error.
    bool Start();
    void Stop();

    VelmdProcess *Process() const { return FProcess.get(); }
    QString DataDir() const { return FProcess->DataDir(); }
    // The namespace (VELM, or the maker's) and its profile with the test account.
    QByteArray NameSpace;
    QString Profile;
    QString Error;

    // A TXAPI opened from the profile; null (with a test failure) when it would not open.
    std::unique_ptr<TXAPI> Link() const;
    // The same, with the id of the server's process that serves it (0 when not found).
    std::unique_ptr<TXAPI> Link(int &sessionPid) const;
    // A link on which this demo user has logged in (null, with a test failure, otherwise).
    std::unique_ptr<TXAPI> LinkAs(int user) const;

private:
    std::unique_ptr<VelmdProcess> FProcess;
};

// A suite that shares the executable's demo server: started once, checked before every test.
class DemoSuite : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Demo = new Server;
        ASSERT_TRUE(Demo->Start()) << Demo->Error.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete Demo;
        Demo = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(Demo && Demo->Process() && Demo->Process()->Running()) << "no demo server";
    }
    static inline Server *Demo = nullptr;
};

// UTF-8 source text in Windows-1251, the code page of everything the routines answer.
QByteArray W(const char *utf8);

// Fields joined by chr(2); a list of records each ended by chr(1).
QByteArray Record(const QList<QByteArray> &fields);
QByteArray List(const QList<QByteArray> &items);

// The call's reply, or "<failed> " and the server's error text, so that a failure reads in the
// comparison that meets it.
QByteArray CallText(TXAPI &link, const QList<QByteArray> &elements);

// The reply of a successful login with this demo user's passwords.
QByteArray LoginAs(TXAPI &link, int user);

// Repeats probe until it gives true or msecs pass; the last result.
bool Eventually(const std::function<bool()> &probe, int msecs = 15000);

// The records of a DBF file, each its values joined by chr(2) in file order: what the gateway
// sends to PDVelm for it.
QList<QByteArray> DbfRecords(const QString &path);

// The demo's names.
QByteArray DemoClient();   // «Клиент-Банк Демо»
QByteArray Demo1CClient(); // «Банк 1С Демо», the client-bank of 1C exchange files, listed first
QByteArray OutSetName();   // «Расход (демо)», setting 1
QByteArray InSetName();    // «Приход (демо)», setting 2

} // namespace demo
