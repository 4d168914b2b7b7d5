#pragma once

#include <memory>

#include <QString>

class QProcess;

// A private pcscd for one test or measurement: its reader configuration
// holds one vpcd reader on a free loopback port, where a VirtualCard
// connects. pcscd's socket path is fixed, so only one daemon can run on a
// machine: the runner takes a machine-wide lock for its whole life and waits
// for a daemon started before it to exit.
class PcscdRunner
{
public:
    PcscdRunner();
    ~PcscdRunner();
    PcscdRunner(const PcscdRunner&) = delete;
    PcscdRunner& operator=(const PcscdRunner&) = delete;

    // Whether the machine-wide lock was had (and no foreign pcscd is left
    // running); nothing else works without it.
    bool isReady() const { return lockFd >= 0; }
    QString error() const { return lastError; }

    // Starts pcscd and waits until its client library lists the reader.
    bool start();
    // Stops pcscd and waits until it has gone.
    void stop();
    bool restart();

    quint16 port() const { return driverPort; }
    QString configDirectory() const { return configDir; }

private:
    bool startOnce();
    bool waitForNoDaemon(int timeoutMs);
    bool waitForReader(int timeoutMs);

    int lockFd = -1;
    quint16 driverPort = 0;
    QString configDir;
    QString lastError;
    std::unique_ptr<QProcess> daemon;
};
