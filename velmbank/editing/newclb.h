#pragma once
// TfmPass: the name dialog of the client-bank chooser ("Создание нового КБ").

#include "NameDialog.h"

namespace velmbank {

class TfmPass : public TNameDialog
{
    Q_OBJECT
public:
    explicit TfmPass(QWidget *parent = nullptr);

    // The client-bank check: empty, or a name the chooser already has in any letter case.
    static QString ClientNameRefusal(const QString &name);

protected:
    // Without a check of the caller's, the client-bank check against the chooser's list.
    QString Refusal(const QString &text) const override;
};

extern TfmPass *fmPass;

} // namespace velmbank
