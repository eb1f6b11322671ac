#pragma once
// The gateway's engine against a `velmd demo` of the suite's own, as it stands after the
// gateway's start-up: user 1 logged in, the client-bank and task lists loaded, dmSet and dmTask
// set, the work protocol kept.
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
        ResetLinkGlobals();
        ProfileFileName = Profile;
        KeepProtocol = true;
        ASSERT_TRUE(OpenConnection());
        ASSERT_TRUE(Login("1", "velm1", "lich1"));
        dmSet = &dm;
        dmTask = &engine;
        ASSERT_TRUE(dm.LoadAtStartUp());
        ASSERT_EQ(ui.Messages(), QStringList());
    }
    void TearDown() override
    {
        Logout();
        CloseConnection();
        tbDBF.Close();
        dbDBF.Close();
        dmTask = nullptr;
        dmSet = nullptr;
    }

    static inline VelmdProcess *Server = nullptr;
    static inline QString Profile;
    static inline QString Failure;

    ScriptedUi ui;
    TdmSet dm;
    TdmTask engine;
};
