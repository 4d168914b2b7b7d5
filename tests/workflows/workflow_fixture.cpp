#include "workflows/workflow_fixture.h"

#include <limits>

#include <QEvent>
#include <QJsonObject>

#include "storage/database.h"
#include "ui/dialog.h"
#include "vexo/vx_conversions.h"

namespace {
// Records each message as the shared dialog opens.
class MessageRecorder : public QObject
{
public:
    MessageRecorder(StationDialog* d, QStringList* list)
        : QObject(d)
        , dialog(d)
        , messages(list)
    {
        d->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (object == dialog && event->type() == QEvent::Show)
            messages->append(dialog->labelTitle->text() + QStringLiteral(": ") + dialog->labelString->text());
        return false;
    }

private:
    StationDialog* dialog;
    QStringList* messages;
};
} // namespace

QVector<QueuedChange> queuedChanges()
{
    QVector<QueuedChange> changes;
    for (int offset = 0;; ++offset) {
        const DatabaseBase::Row row = Database::instance()->request(
            QStringLiteral("SELECT data FROM server_changes ORDER BY id LIMIT 1 OFFSET %1").arg(offset));
        if (row.isEmpty())
            return changes;
        const auto change =
            vxqDeserialize<DatabaseStructs::ChangeServer>(row.value(QStringLiteral("data")).toByteArray());
        changes.append(QueuedChange{change.path, QJsonDocument::fromJson(change.body), change.cell});
    }
}

QVector<int> queuedOperations()
{
    QVector<int> operations;
    for (const QueuedChange& change : queuedChanges())
        if (change.path == QLatin1String("api/KalmireSync/CreateOperation"))
            operations.append(change.operation());
    return operations;
}

bool screenSeen(const QSignalSpy& spy, int screen)
{
    for (const QList<QVariant>& args : spy)
        if (args.at(0).toInt() == screen)
            return true;
    return false;
}

void WorkflowTest::start(const Options& o)
{
    const QString path = o.linkDown ? sim.listenTcp() : sim.listenPty();
    ASSERT_FALSE(path.isEmpty());
    if (o.linkDown)
        sim.setAccepting(false);
    if (o.silentBoards)
        sim.dropAnswers(std::numeric_limits<int>::max());
    TestSupport::writeConfig(
        QStringLiteral("[general]\n"
                       "point_id = %15\n"
                       "support_offscreen = %12\n"
                       "block_on_open_timeout = %1\n"
                       "block_on_close_timeout = %2\n"
                       "[timeouts]\n"
                       "goto_start = %3\n"
                       "open_cell_min_interval = %14\n"
                       "open_silence = 10 ms\n"
                       "reopen_cell = %4\n"
                       "max_try_open_cell = %5\n"
                       "message_lifetime = %6\n"
                       "max_return_device = %7\n"
                       "database_retry = 100 ms\n"
                       "[scanner]\n"
                       "card_reader = %11\n%10"
                       "[cells]\n"
                       "address = %8\n"
                       "tick_time = 100 Hz\n"
                       "reconnect_delay = 20 ms\n"
                       "1 = board = 0, lock = 0\n"
                       "2 = board = 0, lock = 1\n"
                       "3 = board = 0, lock = 2\n%9"
                       "[audio]\n%13")
            .arg(o.blockOnOpenTimeout ? "true" : "false", o.blockOnCloseTimeout ? "true" : "false",
                 o.gotoStart, o.reopenCell, o.maxTryOpenCell, o.messageLifetime, o.maxReturnDevice, path,
                 o.extraCells, o.scannerDevice.isEmpty() ? QString() : "device = " + o.scannerDevice + "\n",
                 o.cardReader ? "true" : "false", o.supportOffscreen ? "true" : "false", o.audio)
            .arg(o.openCellMinInterval, QString::number(o.pointId)));
    giveDone = std::make_unique<QSignalSpy>(&core->giveLogic, &StationLogicBase::done);
    returnDone = std::make_unique<QSignalSpy>(&core->returnLogic, &StationLogicBase::done);
    screens = std::make_unique<QSignalSpy>(core, &StationCore::activeScreenRequest);
    core->init();
    started = true;
    core->dialog->assignToWindow(&window);
    window.show();
    new MessageRecorder(core->dialog, &messages);
    // What the window does on the hub's go-to-start request; the connection
    // ends with the fixture's window, not with the hub.
    QObject::connect(core, &StationCore::gotoStartRequest, &window, [this] {
        core->setQRMode(Constants::qmNone);
        core->goToStart();
    });

    Database* db = Database::instance();
    DatabaseStructs::User anna;
    anna.id = 4;
    anna.login = QStringLiteral("anna");
    anna.personNumber = QStringLiteral("89");
    DatabaseStructs::User bob;
    bob.id = 5;
    bob.login = QStringLiteral("bob");
    bob.personNumber = QStringLiteral("77");
    bob.isBlocked = true;
    db->lock();
    db->addUser(anna);
    db->addUser(bob);
    db->addDevice(device12());
    db->addDevice(device20());
    db->unlock();

    CellsLogic& cells = core->cellsLogic;
    for (CellsLogic::Cell& cell : cells.cells)
        cell.devicePointCellId = 100 + cell.number;
    putDevice(1, device12());

    if (o.linkDown) {
        ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[CellController] Disconnected")), 3000);
        return;
    }
    ASSERT_EVENTUALLY(core->cellController.isConnected(), 3000);
    if (o.silentBoards)
        return;
    ASSERT_EVENTUALLY(std::all_of(cells.cells.begin(), cells.cells.end(),
                                  [](const CellsLogic::Cell& c) { return c.openKnown || !c.addressable; }),
                      3000);
}

void WorkflowTest::TearDown()
{
    if (!started)
        return;
    core->stop();
    core->destroy();
}

int WorkflowTest::openFrames(int lock) const
{
    int count = 0;
    for (const LockSimulator::Frame& frame : sim.frames())
        if (frame.open && frame.board == 0 && frame.lock == lock)
            ++count;
    return count;
}

qint64 WorkflowTest::lastOpenFrameUs(int lock) const
{
    qint64 last = -1;
    for (const LockSimulator::Frame& frame : sim.frames())
        if (frame.open && frame.board == 0 && frame.lock == lock)
            last = frame.atUs;
    return last;
}

void WorkflowTest::failWrites()
{
    Database* db = Database::instance();
    ASSERT_TRUE(db->isWritable());
    db->request(QStringLiteral("PRAGMA query_only = 1"));
    db->addQuery(QStringLiteral("INSERT INTO server_logs (data) VALUES (x'00')"));
    ASSERT_EVENTUALLY(!db->isWritable(), 5000);
}

void WorkflowTest::allowWrites()
{
    Database* db = Database::instance();
    db->request(QStringLiteral("PRAGMA query_only = 0"));
    ASSERT_EVENTUALLY(db->isWritable(), 5000);
}

int WorkflowTest::refusalsLogged()
{
    EXPECT_TRUE(TestSupport::logWritten());
    return int(TestSupport::logLines()
                   .filter(QStringLiteral("[StationLogicBase] No run begins: the database cannot record"))
                   .size());
}

void WorkflowTest::putDevice(int cell, const DatabaseStructs::Device& d)
{
    core->cellsLogic.cells[cell].deviceId = d.id;
    core->cellsLogic.cells[cell].device = d;
}

DatabaseStructs::Device WorkflowTest::deviceRecord(int id) const
{
    return Database::instance()->deviceByID(id);
}

DatabaseStructs::Device WorkflowTest::device12()
{
    DatabaseStructs::Device d;
    d.id = 12;
    d.serial = QStringLiteral("SN-0012");
    d.lastCharge = 90;
    d.userId = 1;
    return d;
}

DatabaseStructs::Device WorkflowTest::device20()
{
    DatabaseStructs::Device d;
    d.id = 20;
    d.serial = QStringLiteral("SN-0020");
    d.lastCharge = 40;
    d.userId = 4;
    return d;
}
