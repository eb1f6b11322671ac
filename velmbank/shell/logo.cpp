#include "logo.h"

#include "Access.h"

#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QScreen>

static void InitShellResources()
{
    // The pictures live in a static library: referencing them keeps them linked in.
    Q_INIT_RESOURCE(shell);
}

namespace velmbank {

namespace {
constexpr int Width = 233;
constexpr int Height = 306;
constexpr int Panel2Height = 36;
} // namespace

TfmLogo::TfmLogo(const QString &dir)
{
    InitShellResources();
    setObjectName(QStringLiteral("fmLogo"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(Width, Height);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(0, 0, Width, Height);

    Label2 = new QLabel(QStringLiteral("Шлюз Клиент Банк"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont title(QStringLiteral("Verdana"));
    title.setPixelSize(24);
    title.setBold(true);
    title.setItalic(true);
    Label2->setFont(title);
    QPalette blue = Label2->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label2->setPalette(blue);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    Label2->setGeometry(6, 8, Width - 12, 66);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/shell/logo.png")));
    Image1->setGeometry(16, 80, Width - 32, 181);

    Panel2 = new QLabel(QStringLiteral("Подключение к серверу Базы Данных..."), Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setWordWrap(true);
    Panel2->setAutoFillBackground(true);
    Panel2->setBackgroundRole(QPalette::Button);
    Panel2->setGeometry(4, Height - 4 - Panel2Height, Width - 8, Panel2Height);

    FormCreate(dir);
    GiveAccessibleNames(this);
    Image1->setAccessibleName(QStringLiteral("Шлюз Клиент Банк"));

    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}

void TfmLogo::FormCreate(const QString &dir)
{
    // The site's own picture, when there is one; any failure keeps the built-in one quietly.
    QImageReader reader(QDir(dir).filePath(QStringLiteral("Images/client-bank.jpg")));
    const QImage picture = reader.read();
    if (picture.isNull())
        return;
    PictureLoaded = true;
    Image1->setPixmap(QPixmap::fromImage(picture));
    Panel2->setBackgroundRole(QPalette::Base);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Image1->setGeometry(2, 2, Width - 4, Height - 6 - Panel2Height - 2);
    Label2->hide();
}

void TfmLogo::ShowNow()
{
    show();
    raise();
    repaint();
}

} // namespace velmbank
