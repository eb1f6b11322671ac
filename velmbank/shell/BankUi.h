#pragma once
// The seam as the gateway shows it: QtUi with the gateway's own password prompt, and its name
// prompt in the look of the client-bank name dialog (the run's surname question).

// QtUi.h needs QWidget complete for its inline parent accessors.
#include <QWidget>

#include "QtUi.h"

namespace velmbank {

class TBankUi : public QtUi
{
public:
    std::optional<QString> AskPassword(const QString &caption) override;
    std::optional<QString> AskName(const QString &caption, const QString &prompt, const QString &initial,
                                   const NameCheck &check) override;

protected:
    // The title is the boxes' caption only: as Qt's application display name it would follow
    // every window's caption (" — title"), which the gateway's windows do not carry.
    void OnTitleChanged(const QString &title) override;
};

} // namespace velmbank
