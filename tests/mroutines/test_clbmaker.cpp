// The sample client-bank files: what a dBASE reader finds in them.
#include "clbgen.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TempDir
{
    fs::path path = fs::temp_directory_path() / ("clbmaker_test_" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const char *name) const { return (path / name).string(); }
};

std::string bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string make(const TempDir &dir, const char *name, bool in, long n, std::uint64_t seed, bool demo = false)
{
    clb::Options o;
    o.moneyIn = in;
    o.count = n;
    o.seed = seed;
    o.demo = demo;
    std::string error;
    const std::string path = dir.file(name);
    EXPECT_TRUE(clb::writeFile(path, o, error)) << error;
    return path;
}

TEST(ClbMaker, FieldsRecordsAndCodePage)
{
    TempDir dir;
    const std::string path = make(dir, "out.dbf", false, 50, 5);
    DBFHandle h = DBFOpen(path.c_str(), "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DBFGetRecordCount(h), 50);
    ASSERT_EQ(DBFGetFieldCount(h), 12);
    EXPECT_STREQ(DBFGetCodePage(h), "LDID/38");
    struct Want
    {
        const char *name;
        char type;
        int width, decimals;
    };
    const Want want[] = {{"NUMDOC", 'C', 6, 0},     {"DATEDOC", 'D', 8, 0},   {"SUMMA", 'N', 15, 2},
                         {"PLATNAME", 'C', 100, 0}, {"PLATINN", 'C', 12, 0},  {"PLATACC", 'C', 20, 0},
                         {"PLATBIC", 'C', 9, 0},    {"POLNAME", 'C', 100, 0}, {"POLINN", 'C', 12, 0},
                         {"POLACC", 'C', 20, 0},    {"POLBIC", 'C', 9, 0},    {"NAZN", 'C', 160, 0}};
    for (int i = 0; i < 12; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1];
        int w = 0, d = 0;
        DBFGetFieldInfo(h, i, name, &w, &d);
        EXPECT_STREQ(name, want[i].name);
        EXPECT_EQ(DBFGetNativeFieldType(h, i), want[i].type) << name;
        EXPECT_EQ(w, want[i].width) << name;
        EXPECT_EQ(d, want[i].decimals) << name;
    }
    for (int r = 0; r < 50; ++r) {
        // Money out: our firm pays, in CP866 ("О" is 0x8E there).
        EXPECT_STREQ(DBFReadStringAttribute(h, r, 3), "\x8E\x8E\x8E \"\x90\xAE\xAC\xA0\xE8\xAA\xA0\"");
        const std::string sum = DBFReadStringAttribute(h, r, 2);
        EXPECT_EQ(sum.size() - sum.find('.'), 3u) << sum;
        const std::string date = DBFReadStringAttribute(h, r, 1);
        EXPECT_EQ(date.substr(0, 6), "202403") << date;
        const std::string acc = DBFReadStringAttribute(h, r, 9);
        ASSERT_EQ(acc.size(), 20u);
        EXPECT_EQ(clb::accountWithKey(acc, DBFReadStringAttribute(h, r, 10)), acc);
        const std::string inn = DBFReadStringAttribute(h, r, 8);
        ASSERT_TRUE(inn.size() == 10 || inn.size() == 12) << inn;
        EXPECT_EQ(clb::innWithCheck(inn.substr(0, inn.size() == 10 ? 9 : 10)), inn);
        // No byte of a text is outside ASCII and the CP866 letters.
        for (unsigned char c : std::string(DBFReadStringAttribute(h, r, 11)))
            EXPECT_TRUE(c < 0x80 || c <= 0xAF || (c >= 0xE0 && c <= 0xF1) || c == 0xFC) << int(c);
    }
    DBFClose(h);
}

TEST(ClbMaker, SameSeedSameBytes)
{
    TempDir dir;
    const std::string a = bytes(make(dir, "a.dbf", true, 200, 42));
    const std::string b = bytes(make(dir, "b.dbf", true, 200, 42));
    const std::string c = bytes(make(dir, "c.dbf", true, 200, 43));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.size(), c.size());
}

TEST(ClbMaker, MoneyInIsPaidToOurFirm)
{
    TempDir dir;
    DBFHandle h = DBFOpen(make(dir, "in.dbf", true, 20, 1).c_str(), "rb");
    ASSERT_NE(h, nullptr);
    for (int r = 0; r < 20; ++r) {
        EXPECT_STREQ(DBFReadStringAttribute(h, r, 7), "\x8E\x8E\x8E \"\x90\xAE\xAC\xA0\xE8\xAA\xA0\"");
        const std::string payer = DBFReadStringAttribute(h, r, 3); // the reader's buffer is reused
        EXPECT_NE(payer, DBFReadStringAttribute(h, r, 7));
    }
    DBFClose(h);
}

TEST(ClbMaker, DemoRecordsAndTheirText)
{
    TempDir dir;
    const std::string path = make(dir, "demo.dbf", false, 4, 9, true);
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(clb::dumpFile(path, out, error)) << error;
    std::istringstream lines(out.str());
    std::string first, line;
    std::getline(lines, first);
    int count = 1;
    while (std::getline(lines, line))
        ++count;
    EXPECT_EQ(count, 4);
    // Numbers lose their blanks and trailing zeros, dates read DD.MM.YYYY, texts keep their bytes.
    const std::string want = std::string("101\x02") + "04.03.2024\x02" + "15000\x02"
                             + clb::toCp866("ООО \"Ромашка\"") + "\x02" + "7701234560\x02"
                             + "40702810338000012345\x02" + "044525999\x02" + clb::toCp866("ООО \"Вектор\"")
                             + "\x02" + "5003123458\x02" + "40702810100000000777\x02" + "044525888\x02"
                             + clb::toCp866("Оплата по счету № 17 от 01.03.2024, в т.ч. НДС 20% 2500.00");
    EXPECT_EQ(first, want);
}

TEST(ClbMaker, CheckDigitsOfKnownNumbers)
{
    EXPECT_EQ(clb::innWithCheck("770123456"), "7701234560");
    EXPECT_EQ(clb::innWithCheck("7705123456"), "770512345650");
    EXPECT_EQ(clb::accountWithKey("40702810038000012345", "044525999"), "40702810338000012345");
    EXPECT_EQ(clb::accountWithKey("40802810000000004321", "044525999"), "40802810600000004321");
    EXPECT_EQ(clb::toCp866("Ёё№ Яя"), "\xF0\xF1\xFC \x9F\xEF");
}

TEST(ClbMaker, BadRequestsAreRefused)
{
    TempDir dir;
    clb::Options o;
    o.moneyIn = true;
    o.demo = true;
    o.count = 3;
    std::string error;
    EXPECT_FALSE(clb::writeFile(dir.file("x.dbf"), o, error));
    EXPECT_NE(error.find("--demo"), std::string::npos);
    o.demo = false;
    EXPECT_FALSE(clb::writeFile(dir.file("no/such/dir/x.dbf"), o, error));
    std::ofstream(dir.file("junk.dbf")) << "not a table";
    std::ostringstream out;
    EXPECT_FALSE(clb::dumpFile(dir.file("junk.dbf"), out, error));
    EXPECT_FALSE(clb::dumpFile(dir.file("missing.dbf"), out, error));
}

} // namespace
