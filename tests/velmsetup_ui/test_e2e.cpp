// The wizard end to end against velmd: the gateway's server half, built with velmdist, installed
// through the wizard into a fresh namespace, with a mistyped password first and the post-action's
// questions answered; then the gateway logs in there.

#include "VelmdProcess.h"
#include "gatewayinstall.h"
#include "wizardfixture.h"

#include <QTemporaryDir>

namespace {

// Each of lines, in this order, among the log's lines (a line ending in "*" matches its start).
void ExpectInOrder(const QStringList &log, const QStringList &lines)
{
    qsizetype at = 0;
    for (const QString &line : lines) {
        const bool prefix = line.endsWith(QLatin1Char('*'));
        const QString want = prefix ? line.chopped(1) : line;
        while (at < log.size() && !(prefix ? log[at].startsWith(want) : log[at] == want))
            ++at;
        ASSERT_LT(at, log.size()) << "not found in order: " << line.toStdString() << "\n"
                                  << log.join(QLatin1Char('\n')).toStdString();
        ++at;
    }
}

} // namespace

TEST(WizardAgainstVelmd, InstallsTheGatewaysServerHalfIntoAFreshNamespace)
{
    VelmdProcess velmd;
    ASSERT_TRUE(velmd.Start()) << velmd.Error.toStdString();
    QTemporaryDir work;
    TGatewayInstall run;
    run.Velmd = &velmd;
    run.WorkDir = work.path();
    run.MistypeFirst = true;
    ASSERT_TRUE(run.Run()) << run.Error.toStdString();

    EXPECT_EQ(run.Questions, (QStringList{U(u"Заполнить область демонстрационными данными?"),
                                          U(u"Папка демонстрационных файлов")}));
    // Waiting for the job kept the program's timers going (a blocking wait would starve them).
    EXPECT_GT(run.TimerTicks, 50);

    QStringList programs;
    for (QString f : GatewayRoutineFiles())
        programs << f.replace(QLatin1Char('_'), QLatin1Char('%')).chopped(2);
    programs.sort(); // velmdist's order: by routine name
    QStringList expected{U(u"Протокол установки дистрибутива. *"),
                         QString(),
                         U(u"Продукт: Шлюз ВЕЛЬМ-Банк"),
                         U(u"Версия: 2.8"),
                         U(u"Дата сборки: 09.12.2024"),
                         QString(),
                         U(u"Подключение к системной области."),
                         U(u"Область:%SYS"),
                         U(u"Ошибка соединения. *"),
                         U(u"Подключение к системной области."),
                         U(u"Успешное соединение с областью %SYS"),
                         U(u"Подключение к выбранной области."),
                         QStringLiteral("Область:VELMW"),
                         U(u"Успешное соединение с областью VELMW"),
                         U(u"Параметры работы установщика:"),
                         U(u"Старт процесса установки: *"),
                         U(u"Метка проверки: chk^ZZVSET"),
                         U(u"Восстановление программ проверки."),
                         QStringLiteral("ZZVSET"),
                         U(u"Выполнение метки проверки:"),
                         U(u"Успех."),
                         U(u"Восстановление программ дистрибутива."),
                         U(u"В дистрибутиве %1программ.").arg(programs.size())};
    expected += programs;
    expected += QStringList{
        U(u"Программы успешно восстановлены."), U(u"Выполнение меток последействия."), U(u"Начало: *"),
        U(u"seed^ZZVSET - Демонстрационные данные"), U(u"  Запрос параметра у пользователя."),
        U(u"  Параметры запроса: 1#Заполнить область демонстрационными данными?#1"),
        U(u"  Ответ пользователя: 1"), QStringLiteral(" "),
        U(u"  Параметры запроса: 2#Папка демонстрационных файлов#"),
        // The next message's time goes to the last line, the answer's blank one.
        U(u"  Ответ пользователя: ") + velmd.DataDir(), QStringLiteral("  - *"),
        U(u"Демонстрационные данные - *"), U(u"Демонстрационные данные готовы - *"),
        U(u"Последействия упешно выполнены."), U(u"Продолжительность выполнения последействий *"), QString(),
        U(u"Время окончания установки: *"), U(u"Продолжительность установки: *")};
    ExpectInOrder(run.Log, expected);
    EXPECT_TRUE(run.Log.last().startsWith(U(u"Продолжительность установки: ")));
    // The refusal says no more than the server says before a login.
    const QString refused = run.Log.filter(U(u"Ошибка соединения. ")).value(0);
    EXPECT_TRUE(refused.contains(QStringLiteral("wrong account or password"))) << refused.toStdString();

    // The gateway logs in to the new namespace and finds its tasks there.
    ASSERT_TRUE(velmd.OfferGateway(QStringLiteral("VELMW")));
    RawXapi x;
    ASSERT_TRUE(x.Open(velmd.XapiPort, velmd.User, velmd.Password, "VELMW"));
    const RawXapi::Reply login = x.Call({"$$login^%cplogG", "1", "velm1", "lich1"});
    EXPECT_FALSE(login.Failed) << login.Text.toStdString();
    EXPECT_TRUE(login.Text.isEmpty()) << login.Text.toStdString();
    const RawXapi::Reply tasks = x.Call({"Tlist^ZZ001a"});
    EXPECT_FALSE(tasks.Failed) << tasks.Text.toStdString();
    EXPECT_EQ(tasks.Text.count('\x01'), 3) << tasks.Text.toStdString();
}
