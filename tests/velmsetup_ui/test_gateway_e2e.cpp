// The gateway's server tests, run against a namespace that the wizard installed: every suite's
// server is a plain velmd into whose fresh namespace the gateway's server half was installed
// through the wizard (with the demo data seeded by its post-action), instead of `velmd demo`.

#include "VelmdProcess.h"
#include "demoserver.h"
#include "gatewayinstall.h"

#include <QDir>

namespace {

std::unique_ptr<VelmdProcess> MakeWizardServer(QString &ns, QString &error)
{
    auto velmd = std::make_unique<VelmdProcess>();
    if (!velmd->Start()) {
        error = velmd->Error;
        return nullptr;
    }
    TGatewayInstall run;
    run.Velmd = velmd.get();
    run.WorkDir = velmd->DataDir() + QStringLiteral("/setup");
    QDir().mkpath(run.WorkDir);
    if (!run.Run()) {
        error = QStringLiteral("the wizard did not install the gateway: ") + run.Error;
        return nullptr;
    }
    // What `velmd demo` offers the gateway in VELM, offered in the new namespace.
    if (!velmd->OfferGateway(run.NameSpace)) {
        error = QStringLiteral("cannot offer the routines over XAPI");
        return nullptr;
    }
    ns = run.NameSpace;
    return velmd;
}

// Before any suite starts (a constant-initialised pointer: no order of initialisation to fear).
const bool Registered = (demo::MakeServer = &MakeWizardServer, true);

} // namespace
