#include "Ui.h"

#include <QCoreApplication>
#include <QThread>

#include <stdexcept>

namespace {
TUi *theUi = nullptr;
}

TUi &Ui()
{
    if (!theUi)
        throw std::logic_error("the Ui seam was used before it was set");
    // A worker thread reaching the seam would touch widgets from the wrong thread: a fault of
    // ours that must show at once, not as a rare crash in a dialog.
    if (auto *app = QCoreApplication::instance(); app && QThread::currentThread() != app->thread())
        qFatal("Ui() called off the main thread");
    return *theUi;
}

void SetUi(TUi *ui) { theUi = ui; }

void TUi::SetTitle(const QString &title)
{
    FTitle = title;
    OnTitleChanged(title);
}

void TUi::ProgressStart(const QString &message, int maximum)
{
    FEscapePressed = false;
    FStopRequested = false;
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
