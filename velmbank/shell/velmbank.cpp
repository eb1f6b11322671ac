// velmbank, the gateway: connects, registers the operator and locks the work before its main
// window opens; logs out and lets go when the main window closes.
#include "BankUi.h"
#include "startup.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TBankUi ui;
    SetUi(&ui);
    TVelmBank program;
    if (program.Start(app.arguments().mid(1)) == TStartUp::EndProcess)
        std::_Exit(0); // nothing is held yet: no finalisation, no protocol
    const int code = program.Exec();
    program.Shutdown();
    SetUi(nullptr);
    return code;
}
