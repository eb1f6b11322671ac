#pragma once
// The gateway's engine against a `velmd demo` of the suite's own, as it stands after the
// gateway's start-up: user 1 logged in, the client-bank and task lists loaded, the work
// protocol kept.
#include "Connect.h"
#include "ScriptedUi.h"
#include "VelmdProcess.h"
#include "data.h"
#include "dbfops.h"
#include "taskdata.h"

#include <gtest/gtest.h>

class DemoEngineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess(VelmdProcess::Kind::Demo);
        if (!Server->Start()) {
            Failure = Server->Error;
            return;
        }
        Profile = Server->WriteProfile(QStringLiteral("VELM"));
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(Failure.isEmpty()) << Failure.toStdString();
        dm.Link.ProfileFileName = Profile;
        dm.Link.KeepProtocol = true;
        ASSERT_TRUE(dm.Link.OpenConnection());
        ASSERT_TRUE(dm.Link.Login("1", "velm1", "lich1"));
        ASSERT_TRUE(dm.LoadAtStartUp());
        ASSERT_EQ(ui.Messages(), QStringList());
    }
    void TearDown() override
    {
        // Logged out before the link closes, so that the next test may register at once.
        dm.Link.Logout();
    }

    static inline VelmdProcess *Server = nullptr;
    static inline QString Profile;
    static inline QString Failure;

    ScriptedUi ui;
    TdmSet dm;
    TdmTask engine{dm};
    QList<QByteArray> &Protocol = dm.Link.Protocol;
    TDbfTable &tbDBF = engine.File.tbDBF;
};
