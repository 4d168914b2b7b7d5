// Reading keyboard layout documents into pages, rows and keys.

#include <memory>

#include <QBoxLayout>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QResource>
#include <QToolButton>

#include "glyphpad/virtual_keyboard_layout.h"
#include "support/test_support.h"

namespace {
using Page = VirtualKeyboardLayoutPage;

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

QJsonObject parse(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// A key as the tables of the shipped layouts name it: a letter by its text,
// another key by its role in brackets, with its stretch when not 1 and its
// target page.
QString describe(const Page* page, QToolButton* button)
{
    static const char* const roleNames[] = {"inert", "", "backspace", "return", "space", "hide", "shift", ""};
    const int role = page->buttonRole(button);
    const int stretch = button->property("stretch").toInt();
    QString text = QLatin1String(roleNames[role]);
    if (role == Page::rlLetter)
        text = button->text();
    else if (role == Page::rlGotoPage)
        text = button->text() + QStringLiteral(">") + button->property("page").toString();
    if (stretch != 1)
        text += QStringLiteral("*%1").arg(stretch);
    return role == Page::rlLetter && stretch == 1 ? text : QStringLiteral("[%1]").arg(text);
}

// The rows of a page as laid out, one text per row.
QStringList rowsOf(const Page* page)
{
    QStringList rows;
    auto* pageLayout = qobject_cast<QVBoxLayout*>(page->layout());
    EXPECT_TRUE(pageLayout);
    if (!pageLayout)
        return rows;
    for (int index = 0; index < pageLayout->count(); ++index) {
        auto* row = qobject_cast<QHBoxLayout*>(pageLayout->itemAt(index)->layout());
        EXPECT_TRUE(row) << "line " << index << " of page " << page->name.toStdString() << " is not a row";
        if (!row)
            continue;
        QStringList keys;
        for (int column = 0; column < row->count(); ++column) {
            auto* button = qobject_cast<QToolButton*>(row->itemAt(column)->widget());
            EXPECT_TRUE(button);
            if (!button)
                continue;
            EXPECT_EQ(row->stretch(column), button->property("stretch").toInt());
            keys.append(describe(page, button));
        }
        rows.append(keys.join(QLatin1Char(' ')));
    }
    return rows;
}
} // namespace

struct ExpectedPage
{
    QString name;
    int maxColumns;
    QStringList rows;
};

struct ShippedCase
{
    const char* name;
    QString path;
    QVector<ExpectedPage> pages;
};

namespace {
const QString numeric1 = QStringLiteral("1 2 3 4 5 6 7 8 9 0 [backspace]");
const QString numeric2 = QStringLiteral("@ # % && * - + ( ) [return*2]");
const QString numeric3 = QStringLiteral("! \" < > ' : ; / ? _");
const QString latin1 = QStringLiteral("q w e r t y u i o p [backspace]");
const QString latin2 = QStringLiteral("a s d f g h j k l [return*2]");
const QString latin3 = QStringLiteral("z x c v b n m [shift*2]");
} // namespace

class ShippedLayout : public ::testing::TestWithParam<ShippedCase>
{
};

TEST_P(ShippedLayout, ReadsWithItsPagesRowsAndKeys)
{
    const ShippedCase& c = GetParam();
    // Both ship compressed in the resources of their file.
    EXPECT_EQ(QResource(c.path).compressionAlgorithm(), QResource::ZlibCompression);
    VirtualKeyboardLayout layout(readJson(c.path));
    EXPECT_EQ(layout.defaultPage, QStringLiteral("latin"));
    EXPECT_TRUE(VirtualKeyboardLayout::flawsOf(readJson(c.path)).isEmpty());
    ASSERT_EQ(layout.pages.size(), c.pages.size());
    for (int index = 0; index < c.pages.size(); ++index) {
        const Page* page = layout.pages[index];
        const ExpectedPage& expected = c.pages[index];
        EXPECT_EQ(page->name, expected.name);
        EXPECT_EQ(page->maxColumns, expected.maxColumns) << expected.name.toStdString();
        EXPECT_EQ(rowsOf(page), expected.rows) << expected.name.toStdString();
        EXPECT_EQ(layout.getPageByName(expected.name), page);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Resources,
    ShippedLayout,
    ::testing::Values(
        ShippedCase{
            "Program",
            QStringLiteral(":/keyboard.json"),
            {{QStringLiteral("numeric"),
              11,
              {numeric1, numeric2, numeric3, QStringLiteral("[en>latin] [ru>cyrillic] [space*6] [hide]")}},
             {QStringLiteral("latin"),
              11,
              {latin1, latin2, latin3, QStringLiteral("[123>numeric] [ru>cyrillic] , [space*6] . [hide]")}},
             {QStringLiteral("cyrillic"),
              13,
              {QStringLiteral("й ц у к е н г ш ш щ з х [backspace]"),
               QStringLiteral("ф ы в а п р о л д ж э [return*2]"),
               QStringLiteral("я ч с м и т ь ъ б ю [shift*2]"),
               QStringLiteral("[123>numeric] [en>latin] , [space*6] . [hide]")}}}},
        ShippedCase{"Fallback",
                    QStringLiteral(":/virtual_keyboard/default.json"),
                    {{QStringLiteral("numeric"),
                      11,
                      {numeric1, numeric2, numeric3, QStringLiteral("[en>latin] [space*6] [hide]")}},
                     {QStringLiteral("latin"),
                      11,
                      {latin1, latin2, latin3, QStringLiteral("[123>numeric] , [space*6] . [hide]")}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeyCase
{
    const char* name;
    const char* json;
    int role;
    QString caption;
    int stretch;
    bool checkable;
};

class LayoutKey : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(LayoutKey, TakesItsRoleCaptionAndStretch)
{
    const KeyCase& c = GetParam();
    Page page{QJsonObject()};
    std::unique_ptr<QToolButton> button(page.createButton(parse(c.json)));
    ASSERT_TRUE(button);
    EXPECT_EQ(page.buttonRole(button.get()), c.role);
    EXPECT_EQ(button->property("role").toInt(), c.role);
    EXPECT_EQ(button->text(), c.caption);
    EXPECT_EQ(button->property("stretch").toInt(), c.stretch);
    EXPECT_EQ(button->isCheckable(), c.checkable);
    // Pressing a key must not take the focus from the field typed into.
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(button->autoRepeat());
    EXPECT_EQ(button->minimumSize(), QSize(2, 2));
}

INSTANTIATE_TEST_SUITE_P(
    Roles,
    LayoutKey,
    ::testing::Values(
        KeyCase{"Letter", R"({"role": "l", "text": "a"})", Page::rlLetter, QStringLiteral("a"), 1, false},
        KeyCase{"LetterCaseKept", R"({"role": "L", "text": "Ab"})", Page::rlLetter, QStringLiteral("Ab"), 1,
                false},
        KeyCase{"Backspace", R"({"role": "Backspace", "text": "x"})", Page::rlBackspace,
                QString(QChar(0x232B)), 1, false},
        KeyCase{"Return", R"({"role": "RETURN", "stretch": 2})", Page::rlReturn, QString(QChar(0x23CE)), 2,
                false},
        KeyCase{"Space", R"({"role": "space", "stretch": 6})", Page::rlSpace, QString(4, QChar(0x2500)), 6,
                false},
        KeyCase{"Hide", R"({"role": "hide"})", Page::rlHide, QString(QChar(0x2A02)), 1, false},
        KeyCase{"Shift", R"({"role": "Shift"})", Page::rlShift, QString(QChar(0x290A)), 1, true},
        KeyCase{"GotoPage", R"({"role": "gotopage", "text": "123"})", Page::rlGotoPage, QStringLiteral("123"),
                1, false},
        KeyCase{"UnknownRoleIsInert", R"({"role": "ctrl", "text": "Ctrl"})", Page::rlInert,
                QStringLiteral("Ctrl"), 1, false},
        KeyCase{"StretchZero", R"({"role": "l", "text": "a", "stretch": 0})", Page::rlLetter,
                QStringLiteral("a"), 1, false},
        KeyCase{"StretchNotIntegral", R"({"role": "l", "text": "a", "stretch": 2.5})", Page::rlLetter,
                QStringLiteral("a"), 1, false},
        KeyCase{"StretchAsText", R"({"role": "l", "text": "a", "stretch": "3"})", Page::rlLetter,
                QStringLiteral("a"), 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LayoutKey, WithoutARoleIsNoKey)
{
    Page page{QJsonObject()};
    EXPECT_EQ(page.createButton(parse(R"({"text": "a"})")), nullptr);
    EXPECT_EQ(page.createButton(parse(R"({"role": "", "text": "a"})")), nullptr);
    EXPECT_EQ(page.createButton(parse(R"({"role": 1, "text": "a"})")), nullptr);
}

TEST(LayoutKey, PageKeyKeepsItsTarget)
{
    Page page{QJsonObject()};
    std::unique_ptr<QToolButton> button(page.createButton(parse(R"({"role": "gotopage", "page": "latin"})")));
    ASSERT_TRUE(button);
    EXPECT_EQ(button->property("page").toString(), QStringLiteral("latin"));
}

TEST(LayoutPage, RoleLessEntriesLeaveNoGapAndEmptyRowsNoLine)
{
    const Page page(parse(R"({"name": "p", "rows": [
        [{"role": "l", "text": "a"}, {"text": "gap"}, {}, {"role": "l", "text": "b"}],
        [],
        [{"role": ""}, 7],
        "not a row",
        [{"role": "l", "text": "c"}]
    ]})"));
    EXPECT_EQ(rowsOf(&page), (QStringList{QStringLiteral("a b"), QStringLiteral("c")}));
    EXPECT_EQ(page.maxColumns, 2);
    EXPECT_EQ(page.keys.size(), 3);
    EXPECT_FALSE(page.capital);
    EXPECT_TRUE(page.capitalEnabled);
}

TEST(Layout, DropsPagesWithoutKeysAndFindsTheFirstOfTwoNames)
{
    VirtualKeyboardLayout layout(parse(R"({"default_page": "b", "pages": [
        {"name": "empty", "rows": [[], [{"text": "no role"}]]},
        {"name": "b", "rows": [[{"role": "l", "text": "1"}]]},
        "not a page",
        {"name": "b", "rows": [[{"role": "l", "text": "2"}, {"role": "gotopage", "page": "empty"}]]}
    ]})"));
    ASSERT_EQ(layout.pages.size(), 2);
    EXPECT_EQ(layout.getPageByName(QStringLiteral("empty")), nullptr);
    EXPECT_EQ(layout.getPageByName(QStringLiteral("b")), layout.pages[0]);
    EXPECT_EQ(layout.defaultPage, QStringLiteral("b"));
}

TEST(Layout, AnEmptyDocumentHasNoPages)
{
    VirtualKeyboardLayout layout{QJsonObject()};
    EXPECT_TRUE(layout.pages.isEmpty());
    EXPECT_TRUE(layout.defaultPage.isEmpty());
}

TEST(Layout, PassesOnThePagesRequests)
{
    VirtualKeyboardLayout layout(parse(R"({"default_page": "a", "pages": [{"name": "a", "rows": [[
        {"role": "gotopage", "text": "go", "page": "b"}, {"role": "hide"}]]}]})"));
    ASSERT_EQ(layout.pages.size(), 1);
    QStringList requests;
    QObject::connect(&layout, &VirtualKeyboardLayout::gotoPageRequest,
                     [&](const QString& name) { requests.append(QStringLiteral("goto ") + name); });
    QObject::connect(&layout, &VirtualKeyboardLayout::hideRequest,
                     [&] { requests.append(QStringLiteral("hide")); });
    layout.pages[0]->keys[0]->click();
    layout.pages[0]->keys[1]->click();
    layout.setDefaultPage();
    EXPECT_EQ(requests,
              (QStringList{QStringLiteral("goto b"), QStringLiteral("hide"), QStringLiteral("goto a")}));
}

TEST(LayoutPage, CapitalsChangeLettersAndShiftOnly)
{
    Page page(parse(R"({"name": "p", "rows": [[{"role": "l", "text": "ä"}, {"role": "l", "text": "Q"},
        {"role": "shift"}, {"role": "gotopage", "text": "abc", "page": "x"}, {"role": "ctrl", "text": "Ctrl"}]]})"));
    ASSERT_EQ(page.keys.size(), 5);
    page.setCapital(true);
    EXPECT_EQ(page.keys[0]->text(), QStringLiteral("Ä"));
    EXPECT_EQ(page.keys[1]->text(), QStringLiteral("Q"));
    EXPECT_TRUE(page.keys[2]->isChecked());
    EXPECT_EQ(page.keys[3]->text(), QStringLiteral("abc"));
    EXPECT_EQ(page.keys[4]->text(), QStringLiteral("Ctrl"));
    page.setCapital(false);
    EXPECT_EQ(page.keys[0]->text(), QStringLiteral("ä"));
    EXPECT_EQ(page.keys[1]->text(), QStringLiteral("q"));
    EXPECT_FALSE(page.keys[2]->isChecked());

    page.setCapitalEnabled(false);
    page.setGotoEnabled(false);
    EXPECT_FALSE(page.capitalEnabled);
    EXPECT_FALSE(page.keys[2]->isEnabled());
    EXPECT_FALSE(page.keys[3]->isEnabled());
    EXPECT_TRUE(page.keys[0]->isEnabled());
    EXPECT_TRUE(page.keys[4]->isEnabled());
}
