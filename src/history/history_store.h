// The measurement history: every read-out (and every opened file) with its records, kept in one
// schema that both engines share, the embedded SQLite file of this computer and the PostgreSQL
// server of a team. A record is stored once per instrument: the same instrument, record number,
// date/time and bytes make the same record, however many read-outs brought it.
#pragma once

#include "data/archive_record.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace vyz::history {

// The schema this program writes; a database of a higher version is refused.
int SchemaVersion();

// Where a read-out came from.
enum class SourceKind { Usb, Serial, File };
QString SourceKindName(SourceKind kind); // "usb", "serial", "file": what the database stores

// One read-out as it is stored: its records in archive order.
struct Readout {
    QString uid; // unique across computers: the server recognises a read-out it already holds
    QDateTime takenAt;
    SourceKind kind = SourceKind::File;
    QString source;     // "USB", the port's device name, or the file's path
    QString instrument; // the instrument's identity text (empty for a file)
    bool coordinates = false;
    std::vector<ArchiveRecord> records;
};

// A read-out as the history lists it.
struct ReadoutInfo {
    qint64 id = 0;
    QString uid;
    QDateTime takenAt;
    QString kind;
    QString source;
    QString instrument;
    bool coordinates = false;
    int count = 0;
    bool queued = false; // not yet on the team server
};

// A search over records. Every field the operator types reaches the database only as a bound
// parameter.
struct RecordFilter {
    std::optional<QDate> from, to; // measurement dates, both inclusive
    int material = -1;             // MaterialIndex, -1 any
    QString instrument;            // exact identity text, empty any
    QString text; // part of the identity or of a read-out's source, or a record number
    int limit = ArchiveCapacity; // at most this many, newest first
};

struct FoundRecord {
    ArchiveRecord record{};
    QString instrument;
    bool coordinates = false;
};

// The bytes a read-out of the given layout carries for certain: the plain layout has no
// coordinates and a plain file no tail word, so those bytes are zero in what is stored.
ArchiveRecord StoredBytes(const ArchiveRecord& record, bool coordinates);
// "2020-03-03 09:05:07": the record's own date and time as stored (no validation, as shown).
QString MeasuredAt(const ArchiveRecord& record);

class HistoryDb {
public:
    // `connectionName` names this connection; each thread uses connections of its own.
    explicit HistoryDb(QString connectionName);
    ~HistoryDb();
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    enum class Open {
        Ok,
        MovedAside, // a damaged or foreign file was moved aside and a new database created
        Newer,      // written by a newer program version: left as it is, not opened
        Failed,     // see Error()
    };
    // Opens (creating it when absent) the SQLite file at `path` and brings its schema up to date
    // (tests: up to `version` only). `movedTo` receives the new name of a file moved aside.
    Open OpenLocal(const QString& path, QString* movedTo = nullptr, int version = 0);
    struct Server {
        QString host;
        int port = 5432;
        QString database;
        QString user;
        int connectTimeoutSeconds = 5;
    };
    // Connects to the team server (password from ~/.pgpass or the libpq environment; TLS when
    // the server offers it) and brings its schema up to date.
    Open OpenServer(const Server& server);
    // Whether the server connection is encrypted (false for SQLite).
    bool Encrypted();
    bool IsOpen() const;
    bool IsServer() const { return server_; }
    void Close();
    QString Error() const { return error_; }

    // Stores a read-out and its records in one transaction; with `queue` it is also put in the
    // queue for the team server. Returns the read-out's id, or 0 on failure (nothing stored). A
    // read-out whose uid is already stored is not stored again (its id is returned).
    qint64 Store(const Readout& given, bool queue);

    std::vector<ReadoutInfo> Readouts(int limit = 10000);
    std::vector<FoundRecord> RecordsOf(qint64 readoutId);
    // Newest first. `more` is set when more records match than the limit.
    std::vector<FoundRecord> Search(const RecordFilter& filter, bool* more = nullptr);
    std::vector<QString> Instruments();
    // Removes a read-out; its records go with it unless another read-out holds them too.
    bool DeleteReadout(qint64 id);
    qint64 RecordTotal();

    // The queue for the team server, oldest first.
    std::vector<qint64> Queued();
    bool ReadReadout(qint64 id, Readout& out);
    bool Dequeue(qint64 id);

    // For tests: runs inside the transaction of a read-out each time records have been written,
    // with the number written so far.
    std::function<void(int written)> afterRecordHook;
    QSqlDatabase& Database() { return db_; }

private:
    bool exec(const QString& sql);
    bool fail(const QString& what, const QString& why);
    bool begin();
    bool commit();
    void rollback();
    std::optional<int> storedVersion();
    bool migrateTo(int version);
    bool storeRecords(const Readout& readout, qint64 readoutId);
    QString dialect(const QString& sql) const;

    QString name_;
    QSqlDatabase db_;
    bool server_ = false;
    QString error_;
};

} // namespace vyz::history
