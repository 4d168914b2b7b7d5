// The on-screen keyboard over a form: it follows the focus, types by posted
// key events into the field focused when a key went down, chooses page and
// capitals from the field's hints, hides once the finger is lifted, and
// falls back to its own layout when given a broken one.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "keyboard_form.h"
#include "support/test_support.h"

namespace {
using Page = VirtualKeyboardLayoutPage;

QStackedWidget* stackOf(const VirtualKeyboard* keyboard)
{
    return keyboard->findChild<QStackedWidget*>(QStringLiteral("stackedPages"));
}

QStringList pageNames(const VirtualKeyboard* keyboard)
{
    QStringList names;
    QStackedWidget* stack = stackOf(keyboard);
    for (int index = 0; stack && index < stack->count(); ++index)
        names.append(static_cast<Page*>(stack->widget(index))->name);
    return names;
}
} // namespace

TEST_F(KeyboardForm, TypesLettersWithACapitalFirst)
{
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    ASSERT_EQ(pageName(), QStringLiteral("latin"));
    tapKeys({QStringLiteral("H"), QStringLiteral("i")});
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("Hi"), 2000);

    tap(keyOfRole(Page::rlSpace));
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("Hi "), 2000);
    tap(keyOfRole(Page::rlBackspace));
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("Hi"), 2000);

    // Shift gives one capital, then the letters are small again.
    QToolButton* shift = keyOfRole(Page::rlShift);
    tap(shift);
    EXPECT_TRUE(shift->isChecked());
    tapKeys({QStringLiteral("A"), QStringLiteral("b")});
    EXPECT_FALSE(shift->isChecked());
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("HiAb"), 2000);

    QSignalSpy returned(lineName, &QLineEdit::returnPressed);
    tap(keyOfRole(Page::rlReturn));
    EXPECT_TRUE(returned.count() > 0 || returned.wait(2000));
}

TEST_F(KeyboardForm, PageKeysSwitchPagesThatTypeTheirOwnKeys)
{
    lineName->setFocus();
    tap(key(QStringLiteral("123")));
    ASSERT_EQ(pageName(), QStringLiteral("numeric"));
    // "&&" on a key shows and types one ampersand.
    tapKeys({QStringLiteral("4"), QStringLiteral("&&"), QStringLiteral("\"")});
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("4&\""), 2000);

    tap(key(QStringLiteral("ru")));
    ASSERT_EQ(pageName(), QStringLiteral("cyrillic"));
    QToolButton* letter =
        keyOf(page(), QStringLiteral("Д")) ? key(QStringLiteral("Д")) : key(QStringLiteral("д"));
    ASSERT_TRUE(letter);
    const QString typed = letter->text();
    tap(letter);
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("4&\"") + typed, 2000);

    tap(key(QStringLiteral("en")));
    EXPECT_EQ(pageName(), QStringLiteral("latin"));
    EXPECT_TRUE(keyboard->isVisible());
}

struct HintsCase
{
    const char* name;
    Qt::InputMethodHints hints;
    const char* page;
    bool capital;
    bool pageKeysEnabled;
    bool shiftEnabled;
};

class KeyboardHints : public KeyboardForm, public ::testing::WithParamInterface<HintsCase>
{
};

// The field before always is the digits-only one: its page and its locks
// must not carry over.
TEST_P(KeyboardHints, ChooseThePageAndCapitals)
{
    const HintsCase& c = GetParam();
    lineNumber->setFocus();
    ASSERT_EQ(pageName(), QStringLiteral("numeric"));
    lineName->setInputMethodHints(c.hints);
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    ASSERT_EQ(pageName(), QLatin1String(c.page));
    EXPECT_EQ(page()->capital, c.capital);
    QToolButton* shift = ::keyOfRole(page(), Page::rlShift);
    if (shift) {
        EXPECT_EQ(shift->isChecked(), c.capital);
        EXPECT_EQ(shift->isEnabled(), c.shiftEnabled);
    }
    EXPECT_EQ(keyOfRole(Page::rlGotoPage)->isEnabled(), c.pageKeysEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    KeyboardHints,
    ::testing::Values(HintsCase{"None", Qt::ImhNone, "latin", true, true, true},
                      HintsCase{"DigitsOnly", Qt::ImhDigitsOnly, "numeric", true, false, true},
                      HintsCase{"PreferNumbers", Qt::ImhPreferNumbers, "numeric", true, true, true},
                      HintsCase{"NumbersAndLatin", Qt::ImhPreferNumbers | Qt::ImhPreferLatin, "latin", true,
                                true, true},
                      HintsCase{"LatinOnly", Qt::ImhLatinOnly, "latin", true, false, true},
                      HintsCase{"UppercaseOnly", Qt::ImhUppercaseOnly, "latin", true, true, false},
                      HintsCase{"LowercaseOnly", Qt::ImhLowercaseOnly, "latin", false, true, false},
                      HintsCase{"NoAutoUppercase", Qt::ImhNoAutoUppercase, "latin", false, true, true},
                      HintsCase{"PreferLowercase", Qt::ImhPreferLowercase, "latin", false, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyboardForm, UppercaseOnlyKeepsCapitalsAfterALetter)
{
    lineName->setInputMethodHints(Qt::ImhUppercaseOnly);
    lineName->setFocus();
    tapKeys({QStringLiteral("O"), QStringLiteral("K")});
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("OK"), 2000);
}

TEST_F(KeyboardForm, PasswordFieldTypesOnTheLatinPageAndNothingIsLogged)
{
    lineNumber->setFocus();
    MessageCapture messages;
    linePassword->setFocus();
    ASSERT_EQ(pageName(), QStringLiteral("latin"));
    tapKeys({QStringLiteral("s"), QStringLiteral("e"), QStringLiteral("c"), QStringLiteral("123"),
             QStringLiteral("7")});
    ASSERT_EVENTUALLY(linePassword->text() == QStringLiteral("sec7"), 2000);
    EXPECT_EQ(messages.lines(), QStringList());
}

TEST_F(KeyboardForm, KeyGoesToTheFieldFocusedWhenItWentDown)
{
    lineName->setFocus();
    QToolButton* q = key(QStringLiteral("Q"));
    ASSERT_TRUE(q);
    QTest::mousePress(q, Qt::LeftButton);
    linePassword->setFocus();
    QTest::mouseRelease(q, Qt::LeftButton);
    // The password field has no capitals: the key shows a small letter now.
    ASSERT_EVENTUALLY(lineName->text() == QStringLiteral("q"), 2000);
    EXPECT_EQ(linePassword->text(), QString());
}

TEST_F(KeyboardForm, HeldKeyRepeatsIntoTheFieldFocusedWhenItWentDown)
{
    lineName->setFocus();
    QToolButton* x = key(QStringLiteral("X"));
    ASSERT_TRUE(x);
    QTest::mousePress(x, Qt::LeftButton);
    ASSERT_EVENTUALLY(lineName->text().size() >= 2, 5000);
    linePassword->setFocus();
    const int typed = lineName->text().size();
    EXPECT_EVENTUALLY(lineName->text().size() >= typed + 2, 5000);
    QTest::mouseRelease(x, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(linePassword->text(), QString());
}

TEST_F(KeyboardForm, FieldDeletedWhileTheKeyIsDownGetsNothing)
{
    auto* lineGone = new QLineEdit(&window);
    window.layout()->addWidget(lineGone);
    lineGone->show();
    lineGone->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    QToolButton* q = key(QStringLiteral("Q"));
    ASSERT_TRUE(q);
    QTest::mousePress(q, Qt::LeftButton);
    delete lineGone;
    lineName->setFocus();
    QTest::mouseRelease(q, Qt::LeftButton);

    // Deleted after the key was typed, before the events arrived.
    lineGone = new QLineEdit(&window);
    window.layout()->addWidget(lineGone);
    lineGone->show();
    lineGone->setFocus();
    tap(key(QStringLiteral("Q")));
    delete lineGone;

    lineName->setFocus();
    QTest::qWait(50);
    EXPECT_EQ(lineName->text(), QString());
}

TEST_F(KeyboardForm, HidesOnlyOnceTheFingerLeavesTheScreen)
{
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    QWindow* screen = window.windowHandle();
    const QPoint onButton = buttonOk->mapTo(&window, buttonOk->rect().center());
    QTest::mousePress(screen, Qt::LeftButton, Qt::NoModifier, onButton);
    ASSERT_TRUE(buttonOk->hasFocus());
    ASSERT_NE(QGuiApplication::mouseButtons(), Qt::NoButton);
    // Three times the hide timer's period with the finger down.
    QTest::qWait(300);
    EXPECT_TRUE(keyboard->isVisible());
    QTest::mouseRelease(screen, Qt::LeftButton, Qt::NoModifier, onButton);
    EXPECT_EVENTUALLY(!keyboard->isVisible(), 2000);
}

TEST_F(KeyboardForm, HideKeyHidesAndATapIntoTheFieldShowsItAgain)
{
    lineName->setFocus();
    tap(keyOfRole(Page::rlHide));
    ASSERT_EVENTUALLY(!keyboard->isVisible(), 2000);
    EXPECT_TRUE(lineName->hasFocus());
    QTest::mouseClick(lineName, Qt::LeftButton);
    EXPECT_TRUE(keyboard->isVisible());
}

TEST_F(KeyboardForm, StaysHiddenWhileDisabled)
{
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    keyboard->setEnabled(false);
    EXPECT_FALSE(keyboard->isVisible());
    lineNumber->setFocus();
    QTest::mouseClick(lineNumber, Qt::LeftButton);
    EXPECT_FALSE(keyboard->isVisible());

    keyboard->setEnabled(true);
    lineName->setFocus();
    EXPECT_TRUE(keyboard->isVisible());
    keyboard->setDisabled(true);
    EXPECT_FALSE(keyboard->isVisible());
}

TEST_F(KeyboardForm, AlwaysVisibleOutlivesAHidePendingBefore)
{
    lineName->setFocus();
    buttonOk->setFocus();
    keyboard->setAlwaysVisible(true);
    // Three times the hide timer's period.
    QTest::qWait(300);
    EXPECT_TRUE(keyboard->isVisible());
    keyboard->setAlwaysVisible(false);
    lineName->setFocus();
    buttonOk->setFocus();
    EXPECT_EVENTUALLY(!keyboard->isVisible(), 2000);
}

TEST_F(KeyboardForm, NewLayoutReplacesThePagesWhileShown)
{
    lineName->setFocus();
    tap(key(QStringLiteral("ru")));
    QPointer<Page> cyrillic = page();
    keyboard->setLayoutPath(QStringLiteral(":/virtual_keyboard/default.json"));
    EXPECT_TRUE(cyrillic.isNull());
    EXPECT_EQ(pageNames(keyboard), (QStringList{QStringLiteral("numeric"), QStringLiteral("latin")}));
    EXPECT_EQ(pageName(), QStringLiteral("latin"));
    EXPECT_TRUE(keyboard->isVisible());
    tap(key(QStringLiteral("a")));
    EXPECT_EVENTUALLY(lineName->text() == QStringLiteral("a"), 2000);
}

class KeyboardWithoutLayoutPath : public KeyboardForm
{
protected:
    KeyboardWithoutLayoutPath() { layoutPath.clear(); }
};

TEST_F(KeyboardWithoutLayoutPath, UsesItsOwnLayoutOnFirstFocus)
{
    lineName->setFocus();
    EXPECT_TRUE(keyboard->isVisible());
    EXPECT_EQ(pageNames(keyboard), (QStringList{QStringLiteral("numeric"), QStringLiteral("latin")}));
    EXPECT_EQ(pageName(), QStringLiteral("latin"));
}

TEST_F(KeyboardForm, CustomLayoutLoadsWithoutAWarning)
{
    // The test main fails the test on any warning.
    QFile file(QStringLiteral("custom.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"default_page": "x", "pages": [{"name": "x", "rows": [[{"role": "l", "text": "z"}]]}]})");
    file.close();
    keyboard->setLayoutPath(QStringLiteral("custom.json"));
    EXPECT_EQ(pageNames(keyboard), QStringList{QStringLiteral("x")});
    lineName->setFocus();
    EXPECT_EQ(pageName(), QStringLiteral("x"));
}

struct BadLayoutCase
{
    const char* name;
    // Null: there is no such file.
    const char* document;
};

class BrokenLayout : public KeyboardForm, public ::testing::WithParamInterface<BadLayoutCase>
{
};

#define PAGE_A R"({"name": "a", "rows": [[{"role": "l", "text": "a"}]]})"

TEST_P(BrokenLayout, GivesTheLibraryLayoutAndOneWarningLine)
{
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("broken.json"));
    QFile::remove(path);
    if (GetParam().document) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(GetParam().document);
    }
    {
        MessageCapture messages;
        keyboard->setLayoutPath(path);
        ASSERT_EQ(messages.warnings().size(), 1) << messages.warnings().join(QLatin1Char('\n')).toStdString();
        const QString warning = messages.warnings().first();
        EXPECT_TRUE(warning.contains(path)) << warning.toStdString();
        EXPECT_FALSE(warning.contains(QLatin1Char('\n'))) << warning.toStdString();
    }
    EXPECT_EQ(pageNames(keyboard), (QStringList{QStringLiteral("numeric"), QStringLiteral("latin")}));
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    EXPECT_EQ(pageName(), QStringLiteral("latin"));
    tap(key(QStringLiteral("A")));
    EXPECT_EVENTUALLY(lineName->text() == QStringLiteral("A"), 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    BrokenLayout,
    ::testing::Values(BadLayoutCase{"MissingFile", nullptr},
                      BadLayoutCase{"EmptyFile", ""},
                      BadLayoutCase{"CutShort", R"({"default_page": "a", "pages": [)" PAGE_A},
                      BadLayoutCase{"NotAnObject", "[" PAGE_A "]"},
                      BadLayoutCase{"NoPages", R"({"default_page": "a"})"},
                      BadLayoutCase{"PagesNotAList", R"({"default_page": "a", "pages": )" PAGE_A "}"},
                      BadLayoutCase{"NoPageWithKeys",
                                    R"({"default_page": "a", "pages": [{"name": "a", "rows": [[]]},
                          {"name": "b", "rows": [[{"text": "b"}], {"role": "l"}]}]})"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FlawedLayoutCase
{
    const char* name;
    const char* document;
    QStringList pages;
    // The captions of the page that opens.
    QStringList keys;
    // Part of the warning: what was left out or does nothing.
    const char* flaw;
};

class FlawedLayout : public KeyboardForm, public ::testing::WithParamInterface<FlawedLayoutCase>
{
};

// An entry the keyboard cannot use costs only itself: the other keys, rows
// and pages are kept, and one warning line says what was left.
TEST_P(FlawedLayout, KeepsTheRestAndWarnsOnce)
{
    const FlawedLayoutCase& c = GetParam();
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("flawed.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.document);
    file.close();
    {
        MessageCapture messages;
        keyboard->setLayoutPath(path);
        ASSERT_EQ(messages.warnings().size(), 1) << messages.warnings().join(QLatin1Char('\n')).toStdString();
        const QString warning = messages.warnings().first();
        EXPECT_TRUE(warning.contains(path)) << warning.toStdString();
        EXPECT_TRUE(warning.contains(QLatin1String(c.flaw))) << warning.toStdString();
        EXPECT_FALSE(warning.contains(QLatin1Char('\n'))) << warning.toStdString();
    }
    ASSERT_EQ(pageNames(keyboard), c.pages);
    QStringList captions;
    for (const QToolButton* button : static_cast<Page*>(stackOf(keyboard)->widget(0))->keys)
        captions.append(button->text());
    EXPECT_EQ(captions, c.keys);
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    EXPECT_EQ(pageName(), c.pages.first());
    // The name field opens with a capital.
    tap(key(QStringLiteral("A")));
    EXPECT_EVENTUALLY(lineName->text() == QStringLiteral("A"), 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    FlawedLayout,
    ::testing::Values(
        FlawedLayoutCase{"SpacerKeyKeepsItsPage",
                         R"({"default_page": "a", "pages": [)" PAGE_A R"(, {"name": "b", "rows": [[
                             {"role": "l", "text": "b"}, {"stretch": 2}, {"role": "gotopage", "text": "A",
                             "page": "a"}]]}]})",
                         {"a", "b"},
                         {"a"},
                         R"(page 2 "b": 1 key(s) without a role)"},
        FlawedLayoutCase{
            "KeyNotAnObject",
            R"({"default_page": "a", "pages": [{"name": "a", "rows": [[{"role": "l", "text": "a"},
                             "b"]]}]})",
            {"a"},
            {"a"},
            "without a role"},
        FlawedLayoutCase{"EmptyPage",
                         R"({"default_page": "a", "pages": [)" PAGE_A R"(, {"name": "b", "rows": []}]})",
                         {"a"},
                         {"a"},
                         R"(page 2 "b" has no keys)"},
        FlawedLayoutCase{"PageOfEmptyRows",
                         R"({"default_page": "a", "pages": [)" PAGE_A
                         R"(, {"name": "b", "rows": [[], []]}]})",
                         {"a"},
                         {"a"},
                         R"(page 2 "b" has no keys)"},
        FlawedLayoutCase{"PageNotAnObject",
                         R"({"default_page": "a", "pages": [)" PAGE_A R"(, "b"]})",
                         {"a"},
                         {"a"},
                         "page 2 \"\" has no keys"},
        FlawedLayoutCase{"RowNotAList",
                         R"({"default_page": "a", "pages": [{"name": "a", "rows": [
                             [{"role": "l", "text": "a"}], {"role": "l", "text": "b"}]}]})",
                         {"a"},
                         {"a"},
                         "1 row(s) not a list"},
        FlawedLayoutCase{
            "LetterWithoutText",
            R"({"default_page": "a", "pages": [{"name": "a", "rows": [[{"role": "l", "text": "a"},
                             {"role": "l"}]]}]})",
            {"a"},
            {"a", ""},
            "without text type nothing"},
        // The first page opens in place of the one named.
        FlawedLayoutCase{"DefaultPageMissing",
                         R"({"default_page": "latin", "pages": [)" PAGE_A R"(, {"name": "b", "rows": [[
                             {"role": "l", "text": "b"}]]}]})",
                         {"a", "b"},
                         {"a"},
                         R"(default page "latin" is missing)"},
        FlawedLayoutCase{
            "NoDefaultPage", R"({"pages": [)" PAGE_A "]}", {"a"}, {"a"}, R"(default page "" is missing)"},
        FlawedLayoutCase{
            "KeyToAMissingPage",
            R"({"default_page": "a", "pages": [{"name": "a", "rows": [[{"role": "l", "text": "a"},
                             {"role": "gotopage", "text": "?!", "page": "symbols"}]]}]})",
            {"a"},
            {"a", "?!"},
            R"(missing page "symbols" do nothing)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyboardForm, MissingDefaultPageReopensOnTheFirstPage)
{
    QFile file(QStringLiteral("nodefault.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"default_page": "latin", "pages": [
        {"name": "a", "rows": [[{"role": "l", "text": "a"}, {"role": "gotopage", "text": "to b", "page": "b"}]]},
        {"name": "b", "rows": [[{"role": "l", "text": "b"}]]}]})");
    file.close();
    {
        MessageCapture messages;
        keyboard->setLayoutPath(QStringLiteral("nodefault.json"));
        ASSERT_EQ(messages.warnings().size(), 1);
    }
    lineName->setFocus();
    ASSERT_EQ(pageName(), QStringLiteral("a"));
    tap(key(QStringLiteral("to b")));
    ASSERT_EQ(pageName(), QStringLiteral("b"));
    // The next field taking the focus opens the keyboard anew.
    buttonOk->setFocus();
    lineName->setFocus();
    ASSERT_TRUE(keyboard->isVisible());
    EXPECT_EQ(pageName(), QStringLiteral("a"));
}

TEST(VirtualKeyboardSize, KeysAreAsHighAsAKeyOfTheWidestRowIsWide)
{
    VirtualKeyboard keyboard;
    keyboard.setLayoutPath(QStringLiteral(":/keyboard.json"));
    ASSERT_EQ(keyboard.style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, &keyboard), 6);
    keyboard.setAlwaysVisible(true);
    keyboard.resize(1000, 400);
    // Thirteen keys and twelve gaps of 6 pixels in 1000.
    ASSERT_EVENTUALLY(stackOf(&keyboard)->styleSheet() == QStringLiteral("font:35px"), 2000);
    for (const QToolButton* button : keyboard.findChildren<QToolButton*>()) {
        EXPECT_EQ(button->minimumHeight(), 71);
        EXPECT_EQ(button->maximumHeight(), 71);
    }

    // Only a change of width sizes the keys again.
    stackOf(&keyboard)->setStyleSheet(QStringLiteral("font:9px"));
    keyboard.resize(1000, 500);
    ASSERT_EVENTUALLY(keyboard.height() == 500, 2000);
    EXPECT_EQ(stackOf(&keyboard)->styleSheet(), QStringLiteral("font:9px"));
    keyboard.resize(1200, 500);
    EXPECT_EVENTUALLY(stackOf(&keyboard)->styleSheet() == QStringLiteral("font:43px"), 2000);
}

TEST(GlyphpadLibrary, TheProgramNeedsItAndFindsItThroughItsRunPath)
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), QStringLiteral(STATION_PROGRAM)});
    ASSERT_TRUE(readelf.waitForFinished(10000));
    const QString dynamic = QString::fromLocal8Bit(readelf.readAllStandardOutput());
    EXPECT_TRUE(dynamic.contains(QRegularExpression(QStringLiteral(R"(\(NEEDED\).*\[libglyphpad\.so\])"))))
        << dynamic.toStdString();
    EXPECT_TRUE(
        dynamic.contains(QRegularExpression(QStringLiteral(R"(\(RUNPATH\).*\[\$ORIGIN:\$ORIGIN/lib[]:])"))))
        << dynamic.toStdString();
    const QString programDir = QFileInfo(QStringLiteral(STATION_PROGRAM)).absolutePath();
    EXPECT_TRUE(QFileInfo::exists(programDir + QStringLiteral("/lib/libglyphpad.so")));
}

TEST(GlyphpadLibrary, HoldsItsPaletteIcon)
{
    const QImage icon(QStringLiteral(":/icons/widgets/virtual-keyboard.png"));
    EXPECT_EQ(icon.size(), QSize(32, 32));
}
