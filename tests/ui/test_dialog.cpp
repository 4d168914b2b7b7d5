#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/core.h"
#include "support/dialog_answer.h"
#include "support/test_support.h"
#include "ui/dialog.h"

namespace {
// A window with a text field under the veil, shown and active, so that
// focus and keys behave as on the kiosk.
class Veil : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        edit->setObjectName(QStringLiteral("editUnderVeil"));
        layout->addWidget(edit);
        window.resize(600, 800);
        dialog->assignToWindow(&window);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        ASSERT_EVENTUALLY(edit->hasFocus(), 1000);
    }

    // The window owns the dialog once it is assigned.
    QWidget window;
    QLineEdit* edit = nullptr;
    StationDialog* dialog = new StationDialog();
};

void later(std::function<void()> action)
{
    QTimer::singleShot(0, std::move(action));
}
} // namespace

TEST(StationDialog, ExecWithoutAWindowReturnsZeroAndShowsNothing)
{
    auto dialog = std::make_unique<StationDialog>();
    DialogAnswer answer(dialog.get(), DialogAnswer::clickOk());
    EXPECT_EQ(dialog->exec(), 0);
    EXPECT_TRUE(dialog->isHidden());

    QWidget window;
    dialog->assignToWindow(&window);
    dialog->assignToWindow(nullptr);
    EXPECT_EQ(dialog->exec(), 0);
    EXPECT_TRUE(dialog->isHidden());
    EXPECT_FALSE(answer.answered);
}

TEST(StationDialog, ExecWorksWhileTheWindowIsNotShownYet)
{
    QWidget window;
    auto* dialog = new StationDialog();
    dialog->assignToWindow(&window);
    dialog->setString(QStringLiteral("Early"));
    DialogAnswer answer(dialog, DialogAnswer::clickOk());
    // isVisible() is false all along here: only the dialog's own flag tells
    // that it is open.
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_TRUE(answer.answered);
    EXPECT_TRUE(dialog->isHidden());
}

struct EndCase
{
    const char* name;
    std::function<void(StationDialog*)> end;
    int expected;
};
class DialogEnds : public Veil, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(DialogEnds, WithTheResultOfItsEnding)
{
    dialog->setTitle(QStringLiteral("Login"));
    dialog->setString(QStringLiteral("User not found!"));
    DialogAnswer answer(dialog, GetParam().end);
    EXPECT_EQ(dialog->exec(), GetParam().expected);
    EXPECT_FALSE(dialog->wasTakenOver());
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.title, QStringLiteral("Login"));
    EXPECT_EQ(answer.text, QStringLiteral("User not found!"));
    EXPECT_EQ(answer.page, 0);
    EXPECT_TRUE(dialog->isHidden());
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DialogEnds,
    ::testing::Values(EndCase{"OkClicked", DialogAnswer::clickOk(), 1},
                      EndCase{"CancelClicked", DialogAnswer::clickCancel(), 0},
                      EndCase{"CancelFromCode", [](StationDialog* d) { d->cancel(); }, 0},
                      EndCase{"DoneFromCode", [](StationDialog* d) { d->done(1); }, 1},
                      EndCase{"HiddenMeanwhile", [](StationDialog* d) { d->hide(); }, 0},
                      EndCase{"DetachedMeanwhile", [](StationDialog* d) { d->assignToWindow(nullptr); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Veil, MessageTimesOutThroughTheHub)
{
    TestSupport::writeConfig(QStringLiteral("[timeouts]\nmessage_lifetime = 60 ms\n"));
    StationCore* core = StationCore::instance();
    core->init();
    core->dialog->assignToWindow(&window);
    QSignalSpy toStart(core, &StationCore::gotoStartRequest);
    // Looks only, answers nothing: the lifetime must end the message.
    DialogAnswer look(core->dialog, [](StationDialog*) {});
    core->showMessage(QStringLiteral("User scan"), QStringLiteral("Invalid code!"));
    ASSERT_TRUE(look.answered);
    EXPECT_EQ(look.title, QStringLiteral("User scan"));
    EXPECT_EQ(look.text, QStringLiteral("Invalid code!"));
    EXPECT_FALSE(look.cancelShown);
    EXPECT_EQ(toStart.count(), 1);
    EXPECT_TRUE(core->dialog->isHidden());
    EXPECT_FALSE(core->dialog->buttonCancel->isHidden());
    core->dialog->assignToWindow(nullptr);
}

struct ListCase
{
    const char* name;
    QStringList strings;
    int downPresses;
    int index;
    QString string;
};
class DialogList : public Veil, public ::testing::WithParamInterface<ListCase>
{
};

TEST_P(DialogList, ChoosesTheCurrentRow)
{
    const ListCase& c = GetParam();
    dialog->setStringList({QStringLiteral("stale")});
    dialog->setStringList(c.strings);
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        for (int i = 0; i < c.downPresses; ++i)
            QTest::keyClick(d->listWidget, Qt::Key_Down);
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(answer.page, 1);
    EXPECT_EQ(dialog->selectedIndex(), c.index);
    EXPECT_EQ(dialog->selectedString(), c.string);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DialogList,
    ::testing::Values(ListCase{"FirstIsCurrent", {"Cell 3", "Cell 4", "Cell 9"}, 0, 0, "Cell 3"},
                      ListCase{"MovedByKeys", {"Cell 3", "Cell 4", "Cell 9"}, 2, 2, "Cell 9"},
                      ListCase{"StopsAtTheEnd", {"Cell 3", "Cell 4"}, 5, 1, "Cell 4"},
                      ListCase{"OneString", {"Only"}, 0, 0, "Only"},
                      ListCase{"EmptyListHasNoChoice", {}, 1, -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Veil, TextInputStartsEmptyAndReturnsTheTypedText)
{
    dialog->setTextInput();
    dialog->textEdit->setPlainText(QStringLiteral("left over"));
    dialog->setTextInput();
    DialogAnswer answer(dialog, [](StationDialog* d) {
        QTest::keyClicks(d->textEdit, QStringLiteral("Screen broken"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(answer.page, 2);
    EXPECT_EQ(dialog->textInputString(), QStringLiteral("Screen broken"));
}

TEST_F(Veil, InnerExecTakesOverAndTheOuterReturnsZero)
{
    dialog->setString(QStringLiteral("Outer"));
    int inner = -1;
    bool innerTakenOver = true;
    QString innerText;
    DialogAnswer startInner(dialog, [&](StationDialog* d) {
        later([&, d] {
            // A handler running inside the outer exec shows its own message.
            d->setString(QStringLiteral("Inner"));
            DialogAnswer answer(d, DialogAnswer::clickOk());
            inner = d->exec();
            innerTakenOver = d->wasTakenOver();
            innerText = answer.text;
        });
    });
    EXPECT_EQ(dialog->exec(), 0);
    // Told from a cancel: the person answered the inner one.
    EXPECT_TRUE(dialog->wasTakenOver());
    EXPECT_EQ(inner, 1);
    EXPECT_FALSE(innerTakenOver);
    EXPECT_EQ(innerText, QStringLiteral("Inner"));
    EXPECT_TRUE(dialog->isHidden());
}

TEST_F(Veil, FollowsTheWindowsSize)
{
    EXPECT_EQ(dialog->geometry(), window.rect());
    window.resize(800, 480);
    EXPECT_EVENTUALLY(dialog->geometry() == QRect(0, 0, 800, 480), 1000);
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        window.resize(500, 900);
        later([d] { d->done(1); });
    });
    dialog->exec();
    EXPECT_EQ(dialog->geometry(), QRect(0, 0, 500, 900));
}

TEST_F(Veil, KeysGoToTheDialogAndBackAfterwards)
{
    dialog->setTextInput();
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        // Aimed at the field under the veil, as a keyboard-wedge scanner or a
        // stale focus would send them.
        QTest::keyClicks(edit, QStringLiteral("abc"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(dialog->textInputString(), QStringLiteral("abc"));

    // Closed: the field has its focus and its keys again.
    EXPECT_EVENTUALLY(edit->hasFocus(), 1000);
    QTest::keyClicks(edit, QStringLiteral("xy"));
    EXPECT_EQ(edit->text(), QStringLiteral("xy"));
    EXPECT_EQ(dialog->textInputString(), QStringLiteral("abc"));
}

TEST_F(Veil, ListKeysAimedUnderTheVeilMoveTheChoice)
{
    dialog->setStringList({QStringLiteral("One"), QStringLiteral("Two")});
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        QTest::keyClick(edit, Qt::Key_Down);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(dialog->selectedIndex(), 1);
    EXPECT_EQ(edit->text(), QString());
}

TEST_F(Veil, KeysForTheWindowItselfGoToTheDialog)
{
    dialog->setTextInput();
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        // Nothing has the focus: the key goes to the window, as the
        // platform delivers it then.
        QApplication::focusWidget()->clearFocus();
        QTest::keyClicks(&window, QStringLiteral("ok"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(dialog->textInputString(), QStringLiteral("ok"));
    EXPECT_EQ(edit->text(), QString());
}

TEST_F(Veil, KeysTheDialogLeavesUnhandledStopAtTheWindow)
{
    struct Counter : QObject
    {
        int* count;
        explicit Counter(int* c)
            : count(c)
        {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress)
                ++*count;
            return false;
        }
    };
    int windowKeys = 0;
    Counter counter(&windowKeys);
    window.installEventFilter(&counter);
    int okKeys = 0;
    Counter okCounter(&okKeys);
    dialog->buttonOk->installEventFilter(&okCounter);
    dialog->setString(QStringLiteral("Message"));
    DialogAnswer answer(dialog, [&](StationDialog* d) {
        // F5 means nothing to the Ok button: it passes the key on.
        QTest::keyClick(d->buttonOk, Qt::Key_F5);
        d->done(1);
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(windowKeys, 0);
    // Not sent back to the dialog a second time either.
    EXPECT_EQ(okKeys, 1);
}
