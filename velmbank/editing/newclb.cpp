#include "newclb.h"

#include "clientman.h"

#include <QListWidget>

namespace velmbank {

TfmPass *fmPass = nullptr;

TfmPass::TfmPass(QWidget *parent)
    : TNameDialog(QStringLiteral("Создание нового КБ"), QStringLiteral("Введите имя"), parent)
{}

QString TfmPass::ClientNameRefusal(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("Имя клиент-банка должно быть определено");
    if (fmClients) {
        for (int i = 0; i < fmClients->liClients->count(); ++i)
            if (fmClients->liClients->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
                return QStringLiteral("Клиент-банк с таким именем уже существует.");
    }
    return {};
}

QString TfmPass::Refusal(const QString &text) const { return Check ? Check(text) : ClientNameRefusal(text); }

} // namespace velmbank
