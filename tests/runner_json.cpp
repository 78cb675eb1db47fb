// The runner's JSON report as a grading script reads it: parsed by an
// independent parser, with awkward image names among the rows.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

#include "runner_support.h"

namespace {

using namespace kovar::test;

TEST(RunnerJson, ReportParsesWithEveryRow) {
    TempDir dir;
    WriteBytes(dir.file("exp.txt"), Bytes{'T', 'O', 'S', '=', '5', '\n', 'S', 'O', 'S', '=', '0'});
    Image good;
    good.word(0, 0x6101004F).word(4, kHalt).ds(0, 2).ds(1, 3);
    Image bad = good;
    bad.ds(0, 0x7FFFFFFF).word(0, 0x610820CF); // TOS := 7FFFFFFF + 3, no pop
    const std::string goodName = dir.file("q\"uote\\ and\ttab.emu");
    const std::string badName = dir.file("bad.emu");
    const std::string missing = dir.file("нет\xFF.emu");
    WriteBytes(goodName, good.bytes);
    WriteBytes(badName, bad.bytes);

    const Result r = RunTool(
        dir, {"--report", "json", "--expect", dir.file("exp.txt"), goodName, badName, missing});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "");

    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << r.out;
    const QJsonObject top = doc.object();
    EXPECT_EQ(top["passed"].toInt(-1), 1);
    EXPECT_EQ(top["failed"].toInt(-1), 2);
    const QJsonArray images = top["images"].toArray();
    ASSERT_EQ(images.size(), 3);

    const QJsonObject first = images[0].toObject();
    EXPECT_EQ(first["image"].toString().toStdString(), goodName);
    EXPECT_EQ(first["steps"].toInt(-1), 1);
    EXPECT_EQ(first["stop"].toString(), "halt");
    EXPECT_TRUE(first["pass"].isBool() && first["pass"].toBool());
    EXPECT_TRUE(first["mismatches"].isArray() && first["mismatches"].toArray().isEmpty());
    EXPECT_FALSE(first.contains("error"));

    const QJsonObject second = images[1].toObject();
    EXPECT_FALSE(second["pass"].toBool(true));
    const QJsonArray mismatches = second["mismatches"].toArray();
    ASSERT_EQ(mismatches.size(), 2);
    const QJsonObject tos = mismatches[0].toObject();
    EXPECT_EQ(tos["name"].toString(), "TOS");
    EXPECT_EQ(tos["expected"].toString(), "00000005");
    EXPECT_EQ(tos["got"].toString(), "80000002");
    EXPECT_EQ(tos["text"].toString(), "TOS: expected 5 (00000005), got -2147483646 (80000002)");
    EXPECT_EQ(mismatches[1].toObject()["text"].toString(),
              "SOS: expected 0 (00000000), got 3 (00000003)");

    const QJsonObject third = images[2].toObject();
    EXPECT_EQ(third["stop"].toString(), "unreadable");
    EXPECT_EQ(third["steps"].toInt(-1), 0);
    EXPECT_FALSE(third["pass"].toBool(true));
    // The byte that is not UTF-8 becomes U+FFFD; the rest of the name stays.
    const QString name = third["image"].toString();
    EXPECT_TRUE(name.endsWith(QStringLiteral("нет\uFFFD.emu"))) << name.toStdString();
    EXPECT_TRUE(third["error"].toString().endsWith(QStringLiteral("\nнет такого файла")));
}

// Per-case results and the summary, as a grading script reads them.
TEST(RunnerJson, CasesAndSummary) {
    TempDir dir;
    const std::string cases = "[case five]\nset TOS = 2\nset SOS = 3\nexpect TOS = 5\n"
                              "[case wrong]\nset SOS = 1\nexpect TOS = 2\nexpect SOS = 0x1\n";
    WriteBytes(dir.file("exp.txt"), Bytes(cases.begin(), cases.end()));
    Image adder;
    adder.word(0, 0x6101004F).word(4, kHalt);
    const std::string good = dir.file("good.emu"), cut = dir.file("cut.emu");
    WriteBytes(good, adder.bytes);
    WriteBytes(cut, Bytes(adder.bytes.begin(), adder.bytes.begin() + 1000));

    const Result r = RunTool(dir, {"--report", "json", "--expect", dir.file("exp.txt"), good, cut});
    EXPECT_EQ(r.code, 3);
    QJsonParseError error{};
    const QJsonObject top =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const QJsonArray images = top["images"].toArray();
    ASSERT_EQ(images.size(), 2);

    const QJsonObject first = images[0].toObject();
    EXPECT_FALSE(first["pass"].toBool(true));
    EXPECT_EQ(first["steps"].toInt(-1), 2);
    const QJsonArray firstCases = first["cases"].toArray();
    ASSERT_EQ(firstCases.size(), 2);
    const QJsonObject five = firstCases[0].toObject(), wrong = firstCases[1].toObject();
    EXPECT_EQ(five["name"].toString(), "five");
    EXPECT_TRUE(five["pass"].toBool(false));
    EXPECT_TRUE(five["mismatches"].toArray().isEmpty());
    EXPECT_EQ(wrong["name"].toString(), "wrong");
    EXPECT_FALSE(wrong["pass"].toBool(true));
    const QJsonArray wrongMismatches = wrong["mismatches"].toArray();
    ASSERT_EQ(wrongMismatches.size(), 2);
    EXPECT_EQ(wrongMismatches[0].toObject()["text"].toString(),
              "TOS: expected 2 (00000002), got 1 (00000001)");
    EXPECT_EQ(wrongMismatches[1].toObject()["text"].toString(),
              "SOS: expected 00000001, got 00000000");
    // The image's own list names the case of each mismatch.
    const QJsonArray all = first["mismatches"].toArray();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].toObject()["case"].toString(), "wrong");

    const QJsonObject second = images[1].toObject();
    EXPECT_EQ(second["stop"].toString(), "size");
    EXPECT_EQ(second["error"].toString(), QStringLiteral("короткий файл: 1000 байт из 2148"));
    EXPECT_EQ(second["cases"].toArray()[1].toObject()["stop"].toString(), "size");

    const QJsonObject summary = top["summary"].toObject();
    EXPECT_EQ(summary["images"].toInt(-1), 2);
    EXPECT_EQ(summary["cases"].toInt(-1), 4);
    EXPECT_EQ(summary["cases_passed"].toInt(-1), 1);
    EXPECT_EQ(summary["cases_failed"].toInt(-1), 3);
    const QJsonObject stops = summary["stops"].toObject();
    EXPECT_EQ(stops["halt"].toInt(-1), 2);
    EXPECT_EQ(stops["size"].toInt(-1), 2);
    EXPECT_EQ(stops["limit"].toInt(-1), 0);
}

} // namespace
