#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include "jalt/vx_map.h"
#include "jalt/vx_time.h"
#include "storage/database_structs.h"
#include "vexo/indexed_timer.h"

class QMediaPlayer;
class StationLogicBase;
class VXValueTree;

// The station without a screen: users work by card, login code and device
// sticker alone, guided by short voice prompts. A first identification arms
// it for that user; the same user identified again takes a device out; a
// device sticker scanned after the identification puts that device back.
// The issue and return themselves are the hub's two workflows, driven by
// direct calls. The hub's offscreenLogic; main thread only.
//
// The constructor neither logs nor reaches the hub: it is built as a member
// of the hub.
class StationOffScreenLogic : public QObject, public IndexedTimer<int>
{
    Q_OBJECT
public:
    enum AudioType
    {
        atInitial = 0,
        atGive = 1,
        atReturn = 2,
        atLoginFirst = 3,
        atError = 4,
    };

    StationOffScreenLogic();
    ~StationOffScreenLogic() override;

    // Once, from the hub's init: the prompt files of [audio], the arming
    // time-out, and the ends of the runs it starts.
    void init(const VXValueTree& config);
    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    // Back to idle: no user armed.
    void reset();

    // A user identified on the start screen in off-screen mode.
    void loginSuccessful(const DatabaseStructs::User& u);
    // A bar code on the start screen in off-screen mode that is no login
    // code, looked up by serial (an invalid record when unknown).
    void deviceDetected(const DatabaseStructs::Device& d);

    void playAudio(AudioType type);
    // Whether a prompt is playing. A prompt that plays longer than
    // [audio] max_prompt_time counts as ended: a player that never leaves
    // the playing state would otherwise ignore all input for ever.
    bool isAudioPlayed() const;

    // 0 idle, 1 a user is armed.
    int currentState() const { return state; }
    // The absolute path of a prompt's file.
    QString audioFile(AudioType type) const { return files.value(type); }
    const QMediaPlayer* mediaPlayer() const { return player; }

private:
    // The run of logic (the issue or the return workflow) for the armed
    // user; only while enabled (false: not started).
    bool startRun(StationLogicBase& logic, const DatabaseStructs::User& armed);
    // The error prompt of a failed run: played once the current prompt has
    // ended, so that it is heard.
    void playErrorAfterPrompt();
    void playPending();
    void onRunDone(StationLogicBase* logic, bool ok);
    void onPlayerStopped();
    void promptOverdue();
    void reportOnce(const QString& path, const QString& text);

    bool enabled = false;
    int state = 0;
    DatabaseStructs::User user;
    QMediaPlayer* player = nullptr;
    VXMap<int, QString> files;
    VXSystemTime promptLimit = VXSystemTime::fromSec(10);
    // The prompt playing (or last played), the one waiting for it to end
    // (-1: none).
    int current = -1;
    int pending = -1;
    // The workflow of the run started here, until its end (null: none).
    StationLogicBase* run = nullptr;
    // Prompt files whose failure was logged already.
    QSet<QString> reported;
};
