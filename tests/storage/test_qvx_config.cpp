#include <QStringList>

#include "support/test_support.h"
#include "vexo/qvx_config.h"

namespace {
struct ConfigCase
{
    const char* name;
    const char* text;
    const char* section;
    // "name=value" of the section's entries, in order.
    QStringList entries;
};

void PrintTo(const ConfigCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfigText : public ::testing::TestWithParam<ConfigCase>
{
};

QStringList entriesOf(const QVXConfig::Entry& section)
{
    QStringList result;
    for (const QVXConfig::Entry& entry : section.children())
        result.append(entry.name() + QLatin1Char('=') + entry.value());
    return result;
}
} // namespace

TEST_P(ConfigText, ReadsEntriesOfSection)
{
    const ConfigCase& c = GetParam();
    QVXConfig::Entry section;
    for (const QVXConfig::Entry& entry : QVXConfig::parse(QString::fromUtf8(c.text))) {
        if (entry.name() == QLatin1String(c.section))
            section = entry;
    }
    EXPECT_EQ(entriesOf(section), c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    ConfigText,
    ::testing::Values(
        ConfigCase{"Plain", "[s]\na = 1\nb=two words\n", "s", {"a=1", "b=two words"}},
        ConfigCase{"SplitAtFirstEquals", "[s]\nq = x=1\n", "s", {"q=x=1"}},
        ConfigCase{"CommentsAndBlankLines", "# c\n[s]\n; c\n\n  a = 1\n", "s", {"a=1"}},
        ConfigCase{"Continuation", "[s]\nt = create (a, \\\n     b )\n", "s", {"t=create (a, b )"}},
        ConfigCase{"ContinuationOverThreeLines", "[s]\nt = a\\\nb \\\n c\nu = 2\n", "s", {"t=a b c", "u=2"}},
        ConfigCase{"Macro", "_id = id integer\n[s]\nt = (${_id}, d)\n", "s", {"t=(id integer, d)"}},
        ConfigCase{"MacroTwiceAndInContinuation", "m = x\n[s]\nt = ${m} \\\n ${m}\n", "s", {"t=x x"}},
        ConfigCase{"UnknownMacroKept", "[s]\nt = ${nope}\n", "s", {"t=${nope}"}},
        ConfigCase{"KeyOfSectionIsNoMacro", "[a]\nm = 1\n[s]\nt = ${m}\n", "s", {"t=${m}"}},
        ConfigCase{"SectionsKeepTheirOwnEntries", "[a]\nx = 1\n[s]\ny = 2\n[a2]\nz = 3\n", "s", {"y=2"}},
        ConfigCase{"WindowsLineEnds", "[s]\r\na = 1 \\\r\n 2\r\n", "s", {"a=1 2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QVXConfig, SchemaResourceHasSixTablesInOrder)
{
    const QVXConfig config(QStringLiteral(":/sql_tables.conf"), true);
    ASSERT_TRUE(config.isOpen());
    EXPECT_EQ(config.getValue(QStringLiteral("_id")).value(),
              QStringLiteral("id integer not null primary key"));
    EXPECT_EQ(config.getValue(QStringLiteral("_update")).value(),
              QStringLiteral("on update cascade on delete cascade"));
    const QStringList expected{
        "updates=create table updates ( table_index integer not null primary key, updateDate datetime )",
        "users=create table users ( id integer not null primary key, data blob )",
        "devices=create table devices ( id integer not null primary key, data blob )",
        "device_faults=create table device_faults ( id integer not null primary key, data blob )",
        "server_changes=create table server_changes ( id integer not null primary key, data blob )",
        "server_logs=create table server_logs ( id integer not null primary key, data blob )",
    };
    EXPECT_EQ(entriesOf(config.getValue(QStringLiteral("vesk_station"))), expected);
}

TEST(QVXConfig, MissingFileIsNotOpenAndGivesFallback)
{
    const QVXConfig config(QStringLiteral("no_such.conf"), true);
    EXPECT_FALSE(config.isOpen());
    EXPECT_EQ(config.getValue(QStringLiteral("x"), QVXConfig::Entry(QStringLiteral("x"), QStringLiteral("d")))
                  .value(),
              QStringLiteral("d"));
}
