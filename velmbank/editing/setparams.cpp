#include "setparams.h"

#include "Access.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmbank {

TfmSetParams *fmSetParams = nullptr;

namespace {
const QString PlacementGroup = QStringLiteral("Forms/Params");
} // namespace

QStringList SettingTaskItems()
{
    return {QStringLiteral("1 - Деньги: Расход "), QStringLiteral("2 - Деньги: Приход ")};
}

// ---- the folder box ----

TDirectoryEdit::TDirectoryEdit(QWidget *parent) : QWidget(parent)
{
    auto *l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(2);
    Edit = new QLineEdit(this);
    Edit->setMaxLength(256);
    btBrowse = new QToolButton(this);
    btBrowse->setText(QStringLiteral("…"));
    btBrowse->setToolTip(QStringLiteral("Выбрать каталог"));
    btBrowse->setAccessibleName(QStringLiteral("Выбрать каталог"));
    l->addWidget(Edit, 1);
    l->addWidget(btBrowse);
    setFocusProxy(Edit);
    connect(btBrowse, &QToolButton::clicked, this, &TDirectoryEdit::Browse);
}

QString TDirectoryEdit::text() const { return Edit->text(); }

void TDirectoryEdit::setText(const QString &text) { Edit->setText(text); }

void TDirectoryEdit::Browse()
{
    const QString typed = Edit->text();
    const QString start = !typed.isEmpty() && QDir(typed).exists() ? typed : InitialDir;
    if (const std::optional<QString> dir = Ui().ChooseFolder(QStringLiteral("Выбор каталога"), start))
        Edit->setText(QDir::toNativeSeparators(*dir));
}

// ---- the dialog ----

TfmSetParams::TfmSetParams(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmSetParams"));
    setWindowTitle(QStringLiteral("Параметры настройки"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *l = new QVBoxLayout(this);
    gbValues = new QGroupBox(QStringLiteral("Введите значения"), this);
    auto *f = new QFormLayout(gbValues);
    const auto edit = [this](const char *name, int maxLength) {
        auto *e = new QLineEdit(gbValues);
        e->setObjectName(QLatin1String(name));
        e->setMaxLength(maxLength);
        return e;
    };
    // The widths of the settings table's columns.
    edName = edit("edName", 40);
    cbTask = new QComboBox(gbValues);
    cbTask->setObjectName(QStringLiteral("cbTask"));
    cbTask->addItems(SettingTaskItems());
    cbTask->setEnabled(false);
    edDir = new TDirectoryEdit(gbValues);
    edDir->Edit->setObjectName(QStringLiteral("edDir"));
    edFile = edit("edFile", 30);
    edFunc = edit("edFunc", 50);
    edVFunc = edit("edVFunc", 20);
    edFindEx = edit("edFindEx", 8192);
    const auto row = [f, this](const QString &caption, QWidget *field, QWidget *buddy) {
        auto *label = new QLabel(caption, gbValues);
        label->setBuddy(buddy);
        f->addRow(label, field);
    };
    row(QStringLiteral("Название"), edName, edName);
    row(QStringLiteral("Задача"), cbTask, cbTask);
    row(QStringLiteral("Каталог"), edDir, edDir->Edit);
    row(QStringLiteral("DBF-файл"), edFile, edFile);
    row(QStringLiteral("Транформ."), edFunc, edFunc);
    row(QStringLiteral("Проверка"), edVFunc, edVFunc);
    row(QStringLiteral("Искать по"), edFindEx, edFindEx);
    l->addWidget(gbValues);

    auto *bl = new QHBoxLayout;
    bl->addStretch();
    btOk = new QPushButton(QStringLiteral("Ok"), this);
    btCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btOk->setDefault(true);
    btCancel->setAutoDefault(false);
    bl->addWidget(btOk);
    bl->addWidget(btCancel);
    l->addLayout(bl);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    GiveAccessibleNames(this);
    setMinimumWidth(360);
    adjustSize();
}

TfmSetParams::~TfmSetParams()
{
    if (fmSetParams == this)
        fmSetParams = nullptr;
}

void TfmSetParams::FillFromSetting()
{
    TMemTable *sets = dmSet->tbSets;
    edName->setText(FromWin1251(sets->AsString(TdmSet::stName)));
    const qint64 type = sets->AsInteger(TdmSet::stType);
    cbTask->setCurrentIndex(type == 1 || type == 2 ? int(type) - 1 : -1);
    edDir->setText(FromWin1251(sets->AsString(TdmSet::stPath)));
    edFile->setText(FromWin1251(sets->AsString(TdmSet::stFile)));
    edFunc->setText(FromWin1251(sets->AsString(TdmSet::stFunc)));
    edVFunc->setText(FromWin1251(sets->AsString(TdmSet::stVFunc)));
    edFindEx->setText(FromWin1251(sets->AsString(TdmSet::stFindEx)));
    edFindEx->setEnabled(type == 1 || type == 2);
}

void WriteSettingParams(TMemTable *sets, const QString &name, const QString &dir, const QString &file,
                        const QString &func, const QString &vfunc, const QString &findEx)
{
    sets->SetAsString(TdmSet::stName, ToWin1251(name));
    sets->SetAsString(TdmSet::stPath, ToWin1251(dir));
    sets->SetAsString(TdmSet::stFile, ToWin1251(file));
    sets->SetAsString(TdmSet::stFunc, ToWin1251(func));
    sets->SetAsString(TdmSet::stVFunc, ToWin1251(vfunc));
    sets->SetAsString(TdmSet::stFindEx, ToWin1251(findEx));
}

void TfmSetParams::StoreIntoSetting()
{
    TMemTable *sets = dmSet->tbSets;
    sets->Edit();
    try {
        WriteSettingParams(sets, edName->text(), edDir->text(), edFile->text(), edFunc->text(),
                           edVFunc->text(), edFindEx->text());
        sets->Post();
    } catch (...) {
        sets->Cancel();
        throw;
    }
}

void TfmSetParams::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!FPlaced) {
        FPlaced = true;
        QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
        settings.beginGroup(PlacementGroup);
        restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
        FActiveControl = settings.value(QStringLiteral("ActiveControl")).toString();
    }
    QWidget *focus = FocusOnShow;
    FocusOnShow = nullptr;
    if (!focus && !FActiveControl.isEmpty())
        focus = findChild<QWidget *>(FActiveControl);
    if (focus && focus->isEnabled())
        focus->setFocus();
}

void TfmSetParams::hideEvent(QHideEvent *e)
{
    QWidget *focus = focusWidget();
    FActiveControl = focus ? focus->objectName() : QString();
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    settings.beginGroup(PlacementGroup);
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("ActiveControl"), FActiveControl);
    QDialog::hideEvent(e);
}

} // namespace velmbank
