#pragma once
// A fixture base for a suite that shares one velmd with the test routines (m/TVD.m) in USER,
// offered over XAPI there (with TVDNONE, offered but never loaded).
#include "VelmdProcess.h"

#include <gtest/gtest.h>

class SharedVelmd : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Server = new VelmdProcess();
        ASSERT_TRUE(Server->Start()) << Server->Error.toStdString();
        ASSERT_TRUE(Server->Load(QStringLiteral("USER"), {QStringLiteral(TVD_SOURCE)}))
            << Server->Error.toStdString();
        ASSERT_TRUE(
            Server->OfferXapi(QStringLiteral("USER"), {QStringLiteral("TVD"), QStringLiteral("TVDNONE")}));
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
    }
    static inline VelmdProcess *Server = nullptr;
};
