// The history window: the read-outs newest first, a search over records (here or on the team
// server), loading a read-out or any selection of records into the main table, removing a
// read-out, the server settings and the server's state.
#pragma once

#include "history/history_service.h"

#include <QDialog>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace vyz::history {

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // `load` puts records (archive order) into the main table; false when the table is busy.
    // `status` shows a text in the main window's status line.
    using Loader = std::function<bool(const std::vector<ArchiveRecord>& records, bool coordinates)>;
    HistoryWindow(HistoryService& service, Loader load, std::function<void(const QString&)> status,
                  QWidget* parent = nullptr);

    void Retranslate();
    void RefreshReadouts();
    void RunSearch();
    void LoadReadout();
    void LoadRecords();
    void DeleteReadout();
    void EditServer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    RecordFilter filter() const;
    void showFound(const std::vector<FoundRecord>& found, bool more, const QString& error);
    void showState(const ServerState& state);
    void refreshInstruments();
    qint64 currentReadout(int* row = nullptr) const;

    HistoryService& service_;
    Loader load_;
    std::function<void(const QString&)> status_;
    std::vector<ReadoutInfo> readouts_;
    std::vector<FoundRecord> found_;
    int searchRequest_ = 0;

    QLabel* readoutsLabel_;
    QTableWidget* readoutTable_;
    QPushButton* loadReadout_;
    QPushButton* deleteReadout_;
    QLabel* searchLabel_;
    QCheckBox* fromOn_;
    QDateEdit* from_;
    QCheckBox* toOn_;
    QDateEdit* to_;
    QLabel* materialLabel_;
    QComboBox* material_;
    QLabel* instrumentLabel_;
    QComboBox* instrument_;
    QLabel* textLabel_;
    QLineEdit* text_;
    QCheckBox* onServer_;
    QPushButton* search_;
    QLabel* foundLabel_;
    QTableWidget* foundTable_;
    QPushButton* loadRecords_;
    QPushButton* server_;
    QLabel* serverState_;
};

// The server settings: host, port, database, user; never a password.
class ServerDialog : public QDialog {
    Q_OBJECT
public:
    ServerDialog(const ServerSettings& settings, QWidget* parent = nullptr);
    ServerSettings Settings() const;

private:
    QCheckBox* enabled_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* database_;
    QLineEdit* user_;
};

} // namespace vyz::history
