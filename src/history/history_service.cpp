#include "history/history_service.h"

#include "history/history_texts.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/text_string.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QSqlQuery>
#include <QTimer>

namespace vyz::history {
namespace {

HistoryService* TheService = nullptr;

// The queue is retried this often while the server cannot be reached.
constexpr int RetryMs = 30000;

std::string readKey(const char* key, const char* fallback) {
    return IniRead("History", key, std::string(fallback), 256);
}

// The types the server thread's queued signals and calls carry.
void RegisterTypes() {
    qRegisterMetaType<ServerSettings>("vyz::history::ServerSettings");
    qRegisterMetaType<ServerState>("vyz::history::ServerState");
    qRegisterMetaType<RecordFilter>("vyz::history::RecordFilter");
    qRegisterMetaType<std::vector<FoundRecord>>("std::vector<vyz::history::FoundRecord>");
}

} // namespace

ServerSettings ReadServerSettings() {
    ServerSettings s;
    s.enabled = readKey("Server", "N").starts_with('Y');
    s.server.host = QString::fromStdString(readKey("ServerHost", ""));
    s.server.port = ParseInt(readKey("ServerPort", "5432")).value_or(5432);
    if (s.server.port <= 0 || s.server.port > 65535) s.server.port = 5432;
    s.server.database = QString::fromStdString(readKey("ServerDatabase", "vyz"));
    s.server.user = QString::fromStdString(readKey("ServerUser", ""));
    return s;
}

void WriteServerSettings(const ServerSettings& s) {
    IniWrite("History", "Server", s.enabled ? "Y" : "N");
    IniWrite("History", "ServerHost", s.server.host.toStdString());
    IniWrite("History", "ServerPort", std::to_string(s.server.port));
    IniWrite("History", "ServerDatabase", s.server.database.toStdString());
    IniWrite("History", "ServerUser", s.server.user.toStdString());
}

QString DefaultDatabasePath() {
    return QString::fromStdString(WritableDataDir()) + QStringLiteral("/History.sqlite");
}

HistoryService* Service() {
    return TheService;
}
void SetService(HistoryService* service) {
    TheService = service;
}

// --- the server thread ---------------------------------------------------------------------------

ServerLink::ServerLink(QString localPath) : localPath_(std::move(localPath)) {
    RegisterTypes();
}

ServerLink::~ServerLink() = default;

void ServerLink::report(ServerState::Status status, const QString& error) {
    state_.status = status;
    state_.error = error;
    state_.queued = local_ && local_->IsOpen() ? int(local_->Queued().size()) : 0;
    if (status != ServerState::Connected) state_.encrypted = false;
    emit StateChanged(state_);
}

void ServerLink::Configure(const ServerSettings& settings) {
    if (!retry_) {
        retry_ = new QTimer(this);
        retry_->setSingleShot(true);
        connect(retry_, &QTimer::timeout, this, &ServerLink::Kick);
    }
    settings_ = settings;
    server_.reset();
    if (!local_) {
        local_ = std::make_unique<HistoryDb>(QStringLiteral("vyz-history-link-local"));
        if (local_->OpenLocal(localPath_) != HistoryDb::Open::Ok) local_.reset();
    }
    Kick();
}

bool ServerLink::connectServer() {
    if (server_ && server_->IsOpen()) {
        // A connection that broke (server restarted, network gone) is opened anew.
        if (server_->Database().exec(QStringLiteral("SELECT 1")).isActive()) return true;
        server_.reset();
    }
    report(ServerState::Connecting);
    server_ = std::make_unique<HistoryDb>(QStringLiteral("vyz-history-link-server"));
    server_->afterRecordHook = afterRecordHook;
    const HistoryDb::Open result = server_->OpenServer(settings_.server);
    if (result != HistoryDb::Open::Ok) {
        const QString error = server_->Error();
        server_.reset();
        report(result == HistoryDb::Open::Newer ? ServerState::Newer : ServerState::Unreachable,
               error);
        return false;
    }
    state_.encrypted = server_->Encrypted();
    return true;
}

void ServerLink::Kick() {
    if (!settings_.enabled) {
        server_.reset();
        report(ServerState::Off);
        return;
    }
    if (!local_ || !connectServer()) {
        if (retry_) retry_->start(RetryMs);
        return;
    }
    // Oldest first; each read-out leaves the queue only after the server has committed it, and a
    // read-out the server already holds is recognised by its uid, so a transfer broken anywhere
    // is simply sent again.
    for (const qint64 id : local_->Queued()) {
        Readout readout;
        if (!local_->ReadReadout(id, readout)) continue;
        if (server_->Store(readout, false) == 0) {
            const QString error = server_->Error();
            server_.reset();
            report(ServerState::Unreachable, error);
            if (retry_) retry_->start(RetryMs);
            return;
        }
        local_->Dequeue(id);
        report(ServerState::Connected);
    }
    report(ServerState::Connected);
}

void ServerLink::Search(const RecordFilter& filter, int request) {
    if (!settings_.enabled) {
        emit SearchDone(request, {}, false, Text(ServerNotSetText));
        return;
    }
    if (!connectServer()) {
        emit SearchDone(request, {}, false, state_.error);
        return;
    }
    report(ServerState::Connected);
    bool more = false;
    std::vector<FoundRecord> found = server_->Search(filter, &more);
    emit SearchDone(request, found, more, found.empty() ? server_->Error() : QString());
}

void ServerLink::Stop() {
    server_.reset();
    local_.reset();
    if (retry_) retry_->stop();
}

// --- the user-interface side --------------------------------------------------------------------

HistoryService::HistoryService() {
    RegisterTypes();
}

HistoryService::~HistoryService() {
    if (link_) {
        QMetaObject::invokeMethod(link_, &ServerLink::Stop, Qt::BlockingQueuedConnection);
        link_->deleteLater();
        thread_.quit();
        thread_.wait(3000);
    }
    if (TheService == this) TheService = nullptr;
}

HistoryDb::Open HistoryService::Open(const QString& path, QString* message) {
    path_ = path;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString movedTo;
    const HistoryDb::Open result = local_.OpenLocal(path, &movedTo);
    switch (result) {
    case HistoryDb::Open::Ok:
        break;
    case HistoryDb::Open::MovedAside:
        *message = Text(MovedAsideText).arg(path, movedTo);
        break;
    case HistoryDb::Open::Newer:
        *message = Text(NewerText).arg(path);
        break;
    case HistoryDb::Open::Failed:
        *message = Text(OpenFailedText).arg(path, local_.Error());
        break;
    }
    if (!local_.IsOpen()) return result;
    link_ = new ServerLink(path);
    link_->moveToThread(&thread_);
    connect(link_, &ServerLink::StateChanged, this, [this](const ServerState& s) {
        state_ = s;
        emit StateChanged(s);
    });
    connect(link_, &ServerLink::SearchDone, this, &HistoryService::SearchDone);
    thread_.setObjectName(QStringLiteral("HistoryServer"));
    thread_.start();
    ApplyServerSettings(ReadServerSettings());
    return result;
}

bool HistoryService::Store(const Readout& readout) {
    // Every read-out is queued, so setting up a server later sends what was kept before.
    if (local_.Store(readout, true) == 0) return false;
    emit Stored();
    if (link_ && settings_.enabled) QMetaObject::invokeMethod(link_, &ServerLink::Kick);
    return true;
}

void HistoryService::ApplyServerSettings(const ServerSettings& settings) {
    settings_ = settings;
    if (!link_) return;
    QMetaObject::invokeMethod(link_, [link = link_, settings] { link->Configure(settings); });
}

void HistoryService::SearchServer(const RecordFilter& filter, int request) {
    if (!link_) {
        emit SearchDone(request, {}, false, Text(ServerNotSetText));
        return;
    }
    QMetaObject::invokeMethod(link_,
                              [link = link_, filter, request] { link->Search(filter, request); });
}

} // namespace vyz::history
