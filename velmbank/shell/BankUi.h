#pragma once
// The seam as the gateway shows it: QtUi with the gateway's own password prompt.

// QtUi.h needs QWidget complete for its inline parent accessors.
#include <QWidget>

#include "QtUi.h"

class TBankUi : public QtUi
{
public:
    std::optional<QString> AskPassword(const QString &caption) override;
};
