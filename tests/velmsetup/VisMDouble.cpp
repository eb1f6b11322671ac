#include "VisMDouble.h"

#include <stdexcept>

namespace {

const char *MemberName(TVisMMember m)
{
    switch (m) {
    case TVisMMember::MServer: return "MServer";
    case TVisMMember::NameSpace: return "NameSpace";
    case TVisMMember::Code: return "Code";
    case TVisMMember::ExecFlag: return "ExecFlag";
    case TVisMMember::P1: return "P1";
    case TVisMMember::P2: return "P2";
    case TVisMMember::Value: return "Value";
    case TVisMMember::Error: return "Error";
    case TVisMMember::ErrorName: return "ErrorName";
    }
    return "?";
}

QString ClipName(TSetupClip c)
{
    switch (c) {
    case TSetupClip::None: return QStringLiteral("none");
    case TSetupClip::CopyFiles: return QStringLiteral("copy-files");
    case TSetupClip::FindFolder: return QStringLiteral("find-folder");
    case TSetupClip::FindComputer: return QStringLiteral("find-computer");
    }
    return {};
}

QString LayoutName(TProgressLayout l)
{
    switch (l) {
    case TProgressLayout::Created: return QStringLiteral("created");
    case TProgressLayout::Connect: return QStringLiteral("connect");
    case TProgressLayout::Stages: return QStringLiteral("stages");
    case TProgressLayout::PostActions: return QStringLiteral("post-actions");
    case TProgressLayout::Exit: return QStringLiteral("exit");
    }
    return {};
}

} // namespace

QByteArrayList TVisMDouble::Codes() const
{
    QByteArrayList codes;
    for (const TRun &r : Runs)
        codes << r.Code;
    return codes;
}

void TVisMDouble::Answer(const QByteArray &code, QList<TVisMReply> replies)
{
    FScript[code] = std::move(replies);
}

void TVisMDouble::AnswerValue(const QByteArray &code, const QByteArrayList &values)
{
    QList<TVisMReply> replies;
    for (const QByteArray &v : values)
        replies << TVisMReply{0, {}, v};
    Answer(code, replies);
}

void TVisMDouble::Fail(const QByteArray &code, const QByteArray &errorName)
{
    Answer(code, {TVisMReply{1, errorName, {}}});
}

void TVisMDouble::MemberSet(TVisMMember member, const QByteArray &value)
{
    Events << QByteArray(MemberName(member)) + '=' + value;
}

TVisMReply TVisMDouble::Run(const QByteArray &code, bool byExecFlag)
{
    if (!byExecFlag)
        Events << "Execute(" + code + ')';
    const TRun run{code, NameSpace(), P1(), P2(), byExecFlag};
    Runs << run;
    if (Handler)
        if (std::optional<TVisMReply> r = Handler(run))
            return *r;
    auto it = FScript.find(code);
    if (it == FScript.end() || it->isEmpty())
        return Default;
    return it->size() > 1 ? it->takeFirst() : it->constFirst();
}

void TRecordingWindows::Changed(TSetupPart part)
{
    switch (part) {
    case TSetupPart::Layout: Events << QStringLiteral("layout: ") + LayoutName(Layout()); break;
    case TSetupPart::Message: Events << QStringLiteral("message: ") + Message(); break;
    case TSetupPart::Element: Events << QStringLiteral("element: ") + Element(); break;
    case TSetupPart::Time: Events << QStringLiteral("time: ") + Time(); break;
    case TSetupPart::TimeVisible:
        Events << (TimeVisible() ? QStringLiteral("time shown") : QStringLiteral("time hidden"));
        break;
    case TSetupPart::Clip: Events << QStringLiteral("clip: ") + ClipName(Clip()); break;
    case TSetupPart::SmallAnimation:
        Events << (SmallAnimation() ? QStringLiteral("small animation on")
                                    : QStringLiteral("small animation off"));
        break;
    case TSetupPart::Gauge: Events << QStringLiteral("gauge: %1/%2").arg(Position()).arg(Maximum()); break;
    case TSetupPart::GaugeVisible:
        Events << (GaugeVisible() ? QStringLiteral("gauge shown") : QStringLiteral("gauge hidden"));
        break;
    case TSetupPart::Panel: Events << QStringLiteral("panel: ") + PanelText(); break;
    case TSetupPart::PanelScroll: Events << QStringLiteral("panel scrolled"); break;
    case TSetupPart::Shown: Events << (Shown() ? QStringLiteral("shown") : QStringLiteral("hidden")); break;
    case TSetupPart::Repaint: Events << QStringLiteral("repaint"); break;
    case TSetupPart::BelowSlides: Events << QStringLiteral("placed below slides"); break;
    case TSetupPart::Slide: Events << QStringLiteral("slide %1").arg(Slide()); break;
    }
}

void TRecordingWindows::LoadSlide(int k)
{
    if (FailSlides.contains(k))
        throw std::runtime_error("cannot load IMAGES/velm" + std::to_string(k) + ".jpg");
}

TFakeClock::TFakeClock() : FNow(QDate(2024, 12, 9), QTime(10, 0, 0)) {}

void TFakeClock::Advance(qint64 ms)
{
    FNow = FNow.addMSecs(ms);
    FTicks += ms;
}

void TFakeClock::Sleep(int ms)
{
    Sleeps << ms;
    Advance(ms);
    if (OnSleep)
        OnSleep(ms);
}

QString TFakeClock::TimeText(const QTime &time) const { return time.toString(QStringLiteral("HH:mm:ss")); }
