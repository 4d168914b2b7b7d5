// The device problem page in the runs of the window: reports of a fault,
// with and without a comment, reach the fake back-end as tasks and put the
// device in repair; each fault kind is offered once per visit of a device.

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include "fake_backend.h"
#include "storage/database.h"
#include "support/dialog_answer.h"
#include "ui/dialog.h"
#include "ui/screens_fixture.h"

namespace {
class DeviceProblem : public Screens
{
protected:
    // The station logged in to a fake back-end that serves three fault kinds.
    void openWithBackend(Options options = Options())
    {
        ASSERT_TRUE(backend.start());
        backend.setPointId(0);
        backend.setFaults(R"([
            {"id": 1, "name": "Screen broken", "description": "", "updateDate": "10.12.2026 08:00:00"},
            {"id": 2, "name": "Does not charge", "description": "", "updateDate": "10.12.2026 08:00:00"},
            {"id": 3, "name": "Scanner fails", "description": "", "updateDate": "10.12.2026 08:00:00"}
        ])");
        options.maxReturnDevice = QStringLiteral("30 s");
        options.extraCells += QStringLiteral("[server]\nlogin = station\npassword = secret\n"
                                             "base_url = %1\nsync_interval = 1 h\n")
                                  .arg(backend.baseUrl());
        open(options);
        if (HasFatalFailure())
            return;
        ASSERT_EVENTUALLY(Database::instance()->allDeviceFaults().size() == 3, 10000);
    }

    // Anna returns device 20 by its sticker; the door of its cell stays open.
    void returnDevice20()
    {
        beginWithCard(window->buttonReturnDevice);
        core->barCodeReaded(QByteArray("SN-0020\r"));
        ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    }

    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < problemPage()->treeWidget->topLevelItemCount(); ++i)
            names.append(problemPage()->treeWidget->topLevelItem(i)->text(0));
        return names;
    }

    void choose(const QString& name)
    {
        QTreeWidget* tree = problemPage()->treeWidget;
        const QList<QTreeWidgetItem*> found = tree->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        ASSERT_EVENTUALLY(tree->visualItemRect(found.first()).isValid(), 3000);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.first()).center());
        ASSERT_EQ(tree->currentItem(), found.first());
    }

    void reportProblem()
    {
        QTest::mouseClick(window->pageCloseCell->buttonReportProblem, Qt::LeftButton);
        ASSERT_EQ(page(), Constants::asDeviceProblem);
    }

    StationDeviceProblemPage* problemPage() const { return window->pageDeviceProblem; }

    FakeBackend backend;
};
} // namespace

TEST_F(DeviceProblem, ReportsBecomeTasksOncePerFaultAndVisit)
{
    openWithBackend();
    returnDevice20();
    const int cell = openedCell();
    ASSERT_GT(cell, 0);

    reportProblem();
    EXPECT_EQ(listed(), (QStringList{"Screen broken", "Does not charge", "Scanner fails"}));
    EXPECT_FALSE(problemPage()->buttonSelect->isEnabled());
    EXPECT_FALSE(problemPage()->buttonSelectWithComment->isEnabled());
    choose(QStringLiteral("Does not charge"));
    EXPECT_TRUE(problemPage()->buttonSelect->isEnabled());
    EXPECT_TRUE(problemPage()->buttonSelectWithComment->isEnabled());
    QSignalSpy devicesChanged(Database::instance(), &Database::devicesChanged);
    QTest::mouseClick(problemPage()->buttonSelect, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asCloseCell);
    // The pages that list devices hear of the new status.
    EXPECT_EQ(devicesChanged.count(), 1);

    // In repair at once; the return's own change of the holder stays.
    const DatabaseStructs::Device device = Database::instance()->deviceByID(20);
    EXPECT_EQ(device.status, Constants::dsInRepair);
    EXPECT_EQ(device.userId, 0);

    // The second visit offers the rest; this report carries a comment.
    reportProblem();
    EXPECT_EQ(listed(), (QStringList{"Screen broken", "Scanner fails"}));
    choose(QStringLiteral("Scanner fails"));
    DialogAnswer comment(core->dialog, [](StationDialog* dialog) {
        dialog->textEdit->setPlainText(QStringLiteral("Beeps, reads nothing"));
        DialogAnswer::clickOk()(dialog);
    });
    QTest::mouseClick(problemPage()->buttonSelectWithComment, Qt::LeftButton);
    ASSERT_TRUE(comment.answered);
    EXPECT_EQ(comment.title, QStringLiteral("Describe problem"));
    EXPECT_EQ(comment.page, core->dialog->stackedWidgetContent->indexOf(core->dialog->pageLineInput));
    EXPECT_EQ(page(), Constants::asCloseCell);

    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathTask) == 2, 5000);
    const QList<FakeBackend::Request> tasks = backend.requests(FakeBackend::pathTask);
    struct Expected
    {
        int fault;
        const char* description;
    };
    const Expected expected[] = {{2, ""}, {3, "Beeps, reads nothing"}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject body = tasks[i].json().object();
        EXPECT_EQ(body.value("deviceId").toInt(), 20) << i;
        EXPECT_EQ(body.value("userId").toInt(), 4) << i;
        EXPECT_EQ(body.value("deviceFaultId").toInt(), expected[i].fault) << i;
        EXPECT_EQ(body.value("description").toString(), QLatin1String(expected[i].description)) << i;
    }

    // A cancelled comment reports nothing and keeps the choice.
    reportProblem();
    EXPECT_EQ(listed(), QStringList{"Screen broken"});
    choose(QStringLiteral("Screen broken"));
    DialogAnswer cancel(core->dialog, DialogAnswer::clickCancel());
    QTest::mouseClick(problemPage()->buttonSelectWithComment, Qt::LeftButton);
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(page(), Constants::asDeviceProblem);
    ASSERT_NE(problemPage()->treeWidget->currentItem(), nullptr);
    EXPECT_EQ(problemPage()->treeWidget->currentItem()->text(0), QStringLiteral("Screen broken"));
    QTest::mouseClick(problemPage()->buttonCancel, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asCloseCell);

    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);

    // The next run's device is offered every fault again.
    beginWithCard(window->buttonGiveDevice);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    reportProblem();
    EXPECT_EQ(listed(), (QStringList{"Screen broken", "Does not charge", "Scanner fails"}));
    QTest::mouseClick(problemPage()->buttonCancel, Qt::LeftButton);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);

    // Uploads go in order: once the issue is delivered, so is anything
    // queued before it. The cancelled comment sent no task.
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathOperation) == 2, 5000);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathTask), 2);
    EXPECT_EQ(messages, (QStringList{"Describe problem: ", "Describe problem: ", "Issue device: Successful",
                                     "Issue device: Successful"}));
}

TEST_F(DeviceProblem, CommentIsTypedOnTheScreenKeyboard)
{
    openWithBackend(withScreenKeyboard());
    activate();
    returnDevice20();
    reportProblem();
    choose(QStringLiteral("Does not charge"));
    bool typed = false;
    DialogAnswer comment(core->dialog, [this, &typed](StationDialog* dialog) {
        ASSERT_EVENTUALLY(window->virtualKeyboard->isVisible(), 2000);
        ASSERT_TRUE(dialog->textEdit->hasFocus());
        tapKeys({QStringLiteral("W"), QStringLiteral("e"), QStringLiteral("t")});
        tapKeyOfRole(VirtualKeyboardLayoutPage::rlSpace);
        tapKeys({QStringLiteral("123"), QStringLiteral("2")});
        ASSERT_EVENTUALLY(dialog->textEdit->toPlainText() == QStringLiteral("Wet 2"), 2000);
        typed = true;
        DialogAnswer::clickOk()(dialog);
    });
    QTest::mouseClick(problemPage()->buttonSelectWithComment, Qt::LeftButton);
    ASSERT_TRUE(comment.answered);
    ASSERT_TRUE(typed);
    EXPECT_EQ(page(), Constants::asCloseCell);
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathTask) == 1, 5000);
    EXPECT_EQ(backend.requests(FakeBackend::pathTask).first().json().object().value("description").toString(),
              QStringLiteral("Wet 2"));
}

// A comment typed for longer than the inactivity time-out: every key
// counts as activity, so the report is sent and the run goes on, with no
// close time-out and no blocked cell.
TEST_F(DeviceProblem, SlowCommentKeepsTheRunAndIsReported)
{
    Options options;
    options.gotoStart = QStringLiteral("500 ms");
    options.blockOnCloseTimeout = true;
    openWithBackend(options);
    returnDevice20();
    const int cell = openedCell();
    ASSERT_GT(cell, 0);
    reportProblem();
    choose(QStringLiteral("Does not charge"));
    const QString text = QStringLiteral("The socket is loose, it charges only when held");
    DialogAnswer comment(core->dialog, [&text](StationDialog* dialog) {
        for (QChar c : text) {
            QTest::keyClicks(dialog->textEdit, QString(c));
            QTest::qWait(40); // a slow typist, in all longer than the time-out
        }
        DialogAnswer::clickOk()(dialog);
    });
    QTest::mouseClick(problemPage()->buttonSelectWithComment, Qt::LeftButton);
    ASSERT_TRUE(comment.answered);
    EXPECT_EQ(page(), Constants::asCloseCell);
    EXPECT_TRUE(core->returnLogic.isActive());
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathTask) == 1, 5000);
    EXPECT_EQ(backend.requests(FakeBackend::pathTask).first().json().object().value("description").toString(),
              text);
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(cell).isLocked);

    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_TRUE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, (QStringList{"Describe problem: ", "Issue device: Successful"}));
}

TEST_F(DeviceProblem, EmptyFaultTableOffersNothingAndCancelReturns)
{
    open();
    returnDevice20();
    reportProblem();
    EXPECT_EQ(problemPage()->treeWidget->topLevelItemCount(), 0);
    EXPECT_FALSE(problemPage()->buttonSelect->isEnabled());
    EXPECT_FALSE(problemPage()->buttonSelectWithComment->isEnabled());
    QTest::mouseClick(problemPage()->buttonCancel, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asCloseCell);
    EXPECT_EQ(Database::instance()->deviceByID(20).status, Constants::dsWorkable);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doReturned});
    EXPECT_EQ(queuedChanges().size(), 1);
}
