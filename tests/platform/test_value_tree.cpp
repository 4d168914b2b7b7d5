#include <QFile>

#include "jalt/vx_value_tree.h"
#include "support/test_support.h"

using VXValueTreeConversions::fromText;

TEST(ValueTree, SectionsKeysAndCommentsInFileOrder)
{
    QStringList errors;
    const VXValueTree tree = fromText(QStringLiteral("# station\n"
                                                     "[general]\n"
                                                     "point_id = 12\n"
                                                     "  ; a comment\n"
                                                     "url = http://h/?a=1&b=2\n"
                                                     "[lock_reasons]\n"
                                                     "r = Broken door\n"
                                                     "r =\n"
                                                     "r = Dirty\n"),
                                      &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    const VXValueTree general = tree.child(QStringLiteral("general"));
    EXPECT_EQ(general.childValue(QStringLiteral("point_id")).toInt(), 12);
    EXPECT_EQ(general.childValue(QStringLiteral("url")).toString(), QStringLiteral("http://h/?a=1&b=2"));
    QStringList reasons;
    for (const VXValueTree& r : tree.child(QStringLiteral("lock_reasons")).children())
        reasons << r.value().toString();
    EXPECT_EQ(reasons, (QStringList{QStringLiteral("Broken door"), QString(), QStringLiteral("Dirty")}));
}

TEST(ValueTree, SectionWrittenTwiceAddsItsKeysToTheFirst)
{
    QStringList errors;
    const VXValueTree tree = fromText(QStringLiteral("[server]\n"
                                                     "login = station\n"
                                                     "[cells]\n"
                                                     "log = true\n"
                                                     "[server]\n"
                                                     "login = other\n"
                                                     "base_url = http://h/\n"),
                                      &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(tree.children().size(), 2);
    const VXValueTree server = tree.child(QStringLiteral("server"));
    EXPECT_EQ(server.childValue(QStringLiteral("base_url")).toString(), QStringLiteral("http://h/"));
    // As within one section, the first of a repeated key is the one read.
    EXPECT_EQ(server.childValue(QStringLiteral("login")).toString(), QStringLiteral("station"));
    EXPECT_EQ(server.children().size(), 3);
    EXPECT_TRUE(tree.child(QStringLiteral("cells")).contains(QStringLiteral("log")));
}

TEST(ValueTree, BlockGivesAKeyChildNodes)
{
    const VXValueTree tree = fromText(QStringLiteral("[scanner]\n"
                                                     "device = hid {\n"
                                                     "    device = /dev/ttyACM0\n"
                                                     "    device = /dev/ttyACM1\n"
                                                     "}\n"
                                                     "card_reader = false\n"));
    const VXValueTree scanner = tree.child(QStringLiteral("scanner"));
    const VXValueTree device = scanner.child(QStringLiteral("device"));
    EXPECT_EQ(device.value().toString(), QStringLiteral("hid"));
    ASSERT_EQ(device.children().size(), 2);
    EXPECT_EQ(device.children().at(1).value().toString(), QStringLiteral("/dev/ttyACM1"));
    EXPECT_FALSE(scanner.childValue(QStringLiteral("card_reader")).toBool());
}

TEST(ValueTree, CellEntryValueReadsAsItsOwnTree)
{
    const VXValueTree tree = fromText(QStringLiteral("[cells]\n7 = board = 1, lock = 2, service = true\n"));
    const QString entry = tree.child(QStringLiteral("cells")).childValue(QStringLiteral("7")).toString();
    EXPECT_EQ(entry, QStringLiteral("board = 1, lock = 2, service = true"));
    const VXValueTree cell = fromText(QString(entry).replace(QLatin1Char(','), QLatin1Char('\n')));
    EXPECT_EQ(cell.childValue(QStringLiteral("board")).toInt(), 1);
    EXPECT_EQ(cell.childValue(QStringLiteral("lock")).toInt(), 2);
    EXPECT_TRUE(cell.childValue(QStringLiteral("service")).toBool());
}

TEST(ValueTree, QuotesKeepBlanksAndABrace)
{
    const VXValueTree tree = fromText(QStringLiteral("a = \"  two  \"\nb = \"x {\"\nc = d\n"));
    EXPECT_EQ(tree.childValue(QStringLiteral("a")).toString(), QStringLiteral("  two  "));
    EXPECT_EQ(tree.childValue(QStringLiteral("b")).toString(), QStringLiteral("x {"));
    EXPECT_TRUE(tree.child(QStringLiteral("b")).children().isEmpty());
    EXPECT_EQ(tree.childValue(QStringLiteral("c")).toString(), QStringLiteral("d"));
}

TEST(ValueTree, MissingKeyGivesTheFallback)
{
    const VXValueTree tree = fromText(QStringLiteral("[general]\nx = 1\n"));
    EXPECT_EQ(tree.child(QStringLiteral("nothing")).childValue(QStringLiteral("x"), "5").toInt(), 5);
    EXPECT_FALSE(tree.contains(QStringLiteral("nothing")));
    EXPECT_TRUE(fromText(QString()).isEmpty());
}

struct BadLineCase
{
    const char* name;
    const char* text;
    const char* error;
};
class ValueTreeErrors : public ::testing::TestWithParam<BadLineCase>
{
};

TEST_P(ValueTreeErrors, AreReportedWithTheirLineAndSkipped)
{
    QStringList errors;
    const VXValueTree tree = fromText(QString::fromUtf8(GetParam().text), &errors);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QString::fromUtf8(GetParam().error))) << errors.first().toStdString();
    EXPECT_EQ(tree.child(QStringLiteral("s")).childValue(QStringLiteral("ok")).toString(), QStringLiteral("1"));
}

INSTANTIATE_TEST_SUITE_P(Table, ValueTreeErrors,
                         ::testing::Values(BadLineCase{"KeylessValue", "[s]\n= 3\nok = 1\n", "line 2"},
                                           BadLineCase{"UnclosedHeader", "[s]\n[broken\nok = 1\n", "line 2"},
                                           BadLineCase{"StrayBrace", "[s]\n}\nok = 1\n", "line 2"},
                                           BadLineCase{"UnclosedBlock", "[s]\nok = 1\nd = x {\ny = 2\n", "line 5"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoolCase
{
    const char* text;
    bool ok;
    bool value;
};
class VariantBool : public ::testing::TestWithParam<BoolCase>
{
};

TEST_P(VariantBool, ReadsCommonSpellings)
{
    bool ok = !GetParam().ok;
    EXPECT_EQ(VXVariant(GetParam().text).toBool(&ok), GetParam().value);
    EXPECT_EQ(ok, GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(Table, VariantBool,
                         ::testing::Values(BoolCase{"true", true, true}, BoolCase{"TRUE", true, true},
                                           BoolCase{"1", true, true}, BoolCase{"yes", true, true},
                                           BoolCase{"false", true, false}, BoolCase{"0", true, false},
                                           BoolCase{"off", true, false}, BoolCase{"maybe", false, false},
                                           BoolCase{"", false, false}));

TEST(ValueTreeFile, ByteOrderMarkAtTheStartIsSkipped)
{
    QFile file(QStringLiteral("bom.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xef\xbb\xbf[general]\npoint_id = 12\n[cells]\nlog = \xef\xbb\xbfx\n");
    file.close();
    QStringList errors;
    const VXValueTree tree = VXValueTreeConversions::fromTextFile(QStringLiteral("bom.conf"), &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(tree.children().size(), 2);
    EXPECT_EQ(tree.child(QStringLiteral("general")).childValue(QStringLiteral("point_id")).toInt(), 12);
    // Only the mark that starts the file.
    EXPECT_EQ(tree.child(QStringLiteral("cells")).childValue(QStringLiteral("log")).toString(),
              QStringLiteral("\ufeffx"));
}

TEST(ValueTree, HashAfterAValueBelongsToTheValue)
{
    const VXValueTree tree = fromText(QStringLiteral("[s]\nurl = http://h/#top # not a comment\n"));
    EXPECT_EQ(tree.child(QStringLiteral("s")).childValue(QStringLiteral("url")).toString(),
              QStringLiteral("http://h/#top # not a comment"));
}
