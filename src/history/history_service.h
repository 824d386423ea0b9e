// The history as the program uses it: the local database on the user-interface thread (every
// read-out is written there first), and the team server reached from a thread of its own, so a
// server that is slow, refuses or disappears never holds the window. The server gets the queued
// read-outs one transaction each; a read-out it already holds (by its uid) is not stored again.
#pragma once

#include "history/history_store.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <memory>

class QTimer;

namespace vyz::history {

// The server settings as the settings file keeps them (never a password).
struct ServerSettings {
    bool enabled = false;
    HistoryDb::Server server;
};
ServerSettings ReadServerSettings();
void WriteServerSettings(const ServerSettings& settings);

// What the window shows about the server.
struct ServerState {
    enum Status { Off, Connecting, Connected, Unreachable, Newer } status = Off;
    int queued = 0;
    bool encrypted = false;
    QString error;
};

// Lives on the server thread: its own connections to the local file (the queue) and the server.
class ServerLink : public QObject {
    Q_OBJECT
public:
    explicit ServerLink(QString localPath);
    ~ServerLink() override;
    // Tests: runs inside each server transaction as records are written (on the server thread).
    std::function<void(int written)> afterRecordHook;

public slots:
    void Configure(const vyz::history::ServerSettings& settings);
    void Kick(); // sends the queue now
    void Search(const vyz::history::RecordFilter& filter, int request);
    void Stop();

signals:
    void StateChanged(const vyz::history::ServerState& state);
    void SearchDone(int request, const std::vector<vyz::history::FoundRecord>& found, bool more,
                    const QString& error);

private:
    bool connectServer();
    void report(ServerState::Status status, const QString& error = {});

    QString localPath_;
    std::unique_ptr<HistoryDb> local_, server_;
    ServerSettings settings_;
    QTimer* retry_ = nullptr;
    ServerState state_;
};

class HistoryService : public QObject {
    Q_OBJECT
public:
    HistoryService();
    ~HistoryService() override;

    // Opens the local database; the text says what happened when it is not plainly Ok (moved
    // aside, newer, failed), for the status line and a message.
    HistoryDb::Open Open(const QString& path, QString* message);
    bool IsOpen() const { return local_.IsOpen(); }
    HistoryDb& Local() { return local_; }
    ServerLink* Link() { return link_; }
    const ServerState& State() const { return state_; }

    // Stores a read-out (queued for the server when one is set); false with the reason in
    // Error() when nothing was stored.
    bool Store(const Readout& readout);
    QString Error() const { return local_.Error(); }

    void ApplyServerSettings(const ServerSettings& settings);
    const ServerSettings& Settings() const { return settings_; }
    // Searches the server on its thread; the answer comes as SearchDone.
    void SearchServer(const RecordFilter& filter, int request);

signals:
    void StateChanged(const vyz::history::ServerState& state);
    void SearchDone(int request, const std::vector<vyz::history::FoundRecord>& found, bool more,
                    const QString& error);
    void Stored();

private:
    HistoryDb local_{QStringLiteral("vyz-history-ui")};
    QString path_;
    QThread thread_;
    ServerLink* link_ = nullptr;
    ServerSettings settings_;
    ServerState state_;
};

// The program's one history (null until the main window starts it).
HistoryService* Service();
void SetService(HistoryService* service);

// The history file in the folder the program writes its files to.
QString DefaultDatabasePath();

} // namespace vyz::history
