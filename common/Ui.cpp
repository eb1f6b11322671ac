#include "Ui.h"

#include <stdexcept>

namespace {
TUi *theUi = nullptr;
}

TUi &Ui()
{
    if (!theUi)
        throw std::logic_error("the Ui seam was used before it was set");
    return *theUi;
}

void SetUi(TUi *ui) { theUi = ui; }

void TUi::ProgressStart(const QString &message, int maximum)
{
    EscapePressed = false;
    StopRequested = false;
    FPosition = 0;
    FMaximum = maximum;
    FShown = true;
    OnProgressShow(message, maximum);
}

void TUi::ProgressFinish()
{
    if (!FShown)
        return;
    FShown = false;
    OnProgressHide();
}

void TUi::ProgressSetMessage(const QString &message) { OnProgressMessage(message); }

void TUi::ProgressSetPosition(int position)
{
    FPosition = position;
    OnProgressPosition(FPosition, FMaximum);
}

void TUi::ProgressSetMaximum(int maximum)
{
    FMaximum = maximum;
    OnProgressPosition(FPosition, FMaximum);
}
