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
    EXPECT_EQ(tos["text"].toString(), "TOS: expected 00000005, got 80000002");
    EXPECT_EQ(mismatches[1].toObject()["text"].toString(), "SOS: expected 00000000, got 00000003");

    const QJsonObject third = images[2].toObject();
    EXPECT_EQ(third["stop"].toString(), "unreadable");
    EXPECT_EQ(third["steps"].toInt(-1), 0);
    EXPECT_FALSE(third["pass"].toBool(true));
    // The byte that is not UTF-8 becomes U+FFFD; the rest of the name stays.
    const QString name = third["image"].toString();
    EXPECT_TRUE(name.endsWith(QStringLiteral("нет\uFFFD.emu"))) << name.toStdString();
    EXPECT_TRUE(third["error"].toString().endsWith(QStringLiteral("\nнет такого файла")));
}

} // namespace
