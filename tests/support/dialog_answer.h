#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

class StationDialog;

// Acts on the shared dialog once it is open (shown, waiting for a result):
// polls, since the code under test may spin the event loop before it opens
// the dialog. Records what the dialog showed at that moment.
class DialogAnswer : public QObject
{
public:
    DialogAnswer(StationDialog* dialog, std::function<void(StationDialog*)> act);

    static std::function<void(StationDialog*)> clickOk();
    static std::function<void(StationDialog*)> clickCancel();

    bool answered = false;
    QString title;
    QString text;
    int page = -1;
    bool cancelShown = false;

private:
    QTimer timer;
};
