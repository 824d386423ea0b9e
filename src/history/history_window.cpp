#include "history/history_window.h"

#include "data/lang_texts.h"
#include "data/record_text.h"
#include "history/history_texts.h"
#include "platform/message_box.h"
#include "platform/text_string.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

namespace vyz::history {
namespace {

QTableWidget* makeTable(QWidget* parent, const char* name) {
    auto* t = new QTableWidget(parent);
    t->setObjectName(QLatin1String(name));
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c)
        table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

} // namespace

HistoryWindow::HistoryWindow(HistoryService& service, Loader load,
                             std::function<void(const QString&)> status, QWidget* parent)
    : QWidget(parent, Qt::Window), service_(service), load_(std::move(load)),
      status_(std::move(status)) {
    setObjectName(QStringLiteral("frmHistory"));
    resize(820, 600);
    auto* layout = new QVBoxLayout(this);

    readoutsLabel_ = new QLabel(this);
    readoutTable_ = makeTable(this, "Readouts");
    readoutTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    loadReadout_ = new QPushButton(this);
    loadReadout_->setObjectName(QStringLiteral("btnLoadReadout"));
    deleteReadout_ = new QPushButton(this);
    deleteReadout_->setObjectName(QStringLiteral("btnDeleteReadout"));
    auto* readoutButtons = new QHBoxLayout;
    readoutButtons->addWidget(loadReadout_);
    readoutButtons->addWidget(deleteReadout_);
    readoutButtons->addStretch();
    layout->addWidget(readoutsLabel_);
    layout->addWidget(readoutTable_, 2);
    layout->addLayout(readoutButtons);

    searchLabel_ = new QLabel(this);
    auto* grid = new QGridLayout;
    fromOn_ = new QCheckBox(this);
    fromOn_->setObjectName(QStringLiteral("chkFrom"));
    from_ = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    from_->setObjectName(QStringLiteral("dateFrom"));
    from_->setCalendarPopup(true);
    toOn_ = new QCheckBox(this);
    toOn_->setObjectName(QStringLiteral("chkTo"));
    to_ = new QDateEdit(QDate::currentDate(), this);
    to_->setObjectName(QStringLiteral("dateTo"));
    to_->setCalendarPopup(true);
    for (QDateEdit* d : {from_, to_})
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    materialLabel_ = new QLabel(this);
    material_ = new QComboBox(this);
    material_->setObjectName(QStringLiteral("cmbMaterial"));
    instrumentLabel_ = new QLabel(this);
    instrument_ = new QComboBox(this);
    instrument_->setObjectName(QStringLiteral("cmbInstrument"));
    textLabel_ = new QLabel(this);
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("edtText"));
    onServer_ = new QCheckBox(this);
    onServer_->setObjectName(QStringLiteral("chkOnServer"));
    search_ = new QPushButton(this);
    search_->setObjectName(QStringLiteral("btnSearch"));
    search_->setDefault(true);
    grid->addWidget(fromOn_, 0, 0);
    grid->addWidget(from_, 0, 1);
    grid->addWidget(toOn_, 0, 2);
    grid->addWidget(to_, 0, 3);
    grid->addWidget(materialLabel_, 0, 4);
    grid->addWidget(material_, 0, 5);
    grid->addWidget(instrumentLabel_, 1, 0);
    grid->addWidget(instrument_, 1, 1, 1, 3);
    grid->addWidget(textLabel_, 1, 4);
    grid->addWidget(text_, 1, 5);
    grid->addWidget(onServer_, 2, 0, 1, 2);
    grid->addWidget(search_, 2, 5);
    layout->addWidget(searchLabel_);
    layout->addLayout(grid);

    foundLabel_ = new QLabel(this);
    foundLabel_->setObjectName(QStringLiteral("lblFound"));
    foundTable_ = makeTable(this, "Found");
    foundTable_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    loadRecords_ = new QPushButton(this);
    loadRecords_->setObjectName(QStringLiteral("btnLoadRecords"));
    layout->addWidget(foundLabel_);
    layout->addWidget(foundTable_, 3);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(loadRecords_);
    bottom->addStretch();
    serverState_ = new QLabel(this);
    serverState_->setObjectName(QStringLiteral("lblServerState"));
    server_ = new QPushButton(this);
    server_->setObjectName(QStringLiteral("btnServer"));
    bottom->addWidget(serverState_);
    bottom->addWidget(server_);
    layout->addLayout(bottom);

    connect(loadReadout_, &QPushButton::clicked, this, &HistoryWindow::LoadReadout);
    connect(readoutTable_, &QTableWidget::cellDoubleClicked, this, &HistoryWindow::LoadReadout);
    connect(deleteReadout_, &QPushButton::clicked, this, &HistoryWindow::DeleteReadout);
    connect(search_, &QPushButton::clicked, this, &HistoryWindow::RunSearch);
    connect(text_, &QLineEdit::returnPressed, this, &HistoryWindow::RunSearch);
    connect(loadRecords_, &QPushButton::clicked, this, &HistoryWindow::LoadRecords);
    connect(server_, &QPushButton::clicked, this, &HistoryWindow::EditServer);
    connect(&service_, &HistoryService::StateChanged, this, &HistoryWindow::showState);
    connect(&service_, &HistoryService::Stored, this, &HistoryWindow::RefreshReadouts);
    connect(&service_, &HistoryService::SearchDone, this,
            [this](int request, const std::vector<FoundRecord>& found, bool more,
                   const QString& error) {
                if (request == searchRequest_) showFound(found, more, error);
            });
    Retranslate();
    showState(service_.State());
    RefreshReadouts();
}

void HistoryWindow::showEvent(QShowEvent* event) {
    Retranslate();
    RefreshReadouts();
    QWidget::showEvent(event);
}

void HistoryWindow::Retranslate() {
    setWindowTitle(Text(HistoryTitleText));
    readoutsLabel_->setText(Text(ReadoutsText));
    readoutTable_->setColumnCount(5);
    readoutTable_->setHorizontalHeaderLabels({Text(ColumnTimeText), Text(ColumnSourceText),
                                              Text(ColumnInstrumentText), Text(ColumnCountText),
                                              Text(ColumnQueuedText)});
    loadReadout_->setText(Text(LoadReadoutText));
    deleteReadout_->setText(Text(DeleteReadoutText));
    searchLabel_->setText(Text(SearchGroupText));
    fromOn_->setText(Text(FromText));
    toOn_->setText(Text(ToText));
    materialLabel_->setText(Text(MaterialText));
    instrumentLabel_->setText(Text(InstrumentText));
    textLabel_->setText(Text(TextText));
    onServer_->setText(Text(OnServerText));
    search_->setText(Text(SearchText));
    loadRecords_->setText(Text(LoadRecordsText));
    server_->setText(Text(ServerButtonText));
    const int material = material_->currentIndex();
    material_->clear();
    material_->addItem(Text(AnyText), -1);
    for (int i = 1; i < MaterialCount; ++i)
        material_->addItem(QString::fromUtf8(MaterialName(unsigned(i), LangIndex.load())), i);
    material_->setCurrentIndex(std::max(material, 0));
    refreshInstruments();
    const QStringList heads = {Text(LangTexts[31]), Text(LangTexts[34]),       Text(LangTexts[35]),
                               Text(LangTexts[39]), Text(LangTexts[36]),       Text(LangTexts[37]),
                               Text(LangTexts[44]), Text(ColumnInstrumentText)};
    foundTable_->setColumnCount(int(heads.size()));
    foundTable_->setHorizontalHeaderLabels(heads);
    showState(service_.State());
}

void HistoryWindow::refreshInstruments() {
    const QString current =
        instrument_->currentIndex() > 0 ? instrument_->currentText() : QString();
    instrument_->clear();
    instrument_->addItem(Text(AnyText));
    for (const QString& name : service_.Local().Instruments())
        instrument_->addItem(name);
    const int at = instrument_->findText(current);
    instrument_->setCurrentIndex(at > 0 ? at : 0);
}

void HistoryWindow::RefreshReadouts() {
    readouts_ = service_.Local().Readouts();
    readoutTable_->setRowCount(int(readouts_.size()));
    const bool server = service_.Settings().enabled;
    for (int i = 0; i < int(readouts_.size()); ++i) {
        const ReadoutInfo& r = readouts_[size_t(i)];
        setRow(readoutTable_, i,
               {r.takenAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), r.source,
                r.instrument, QString::number(r.count),
                server ? Text(r.queued ? QueuedYesText : QueuedNoText) : QString()});
    }
    readoutTable_->resizeColumnsToContents();
    refreshInstruments();
}

RecordFilter HistoryWindow::filter() const {
    RecordFilter f;
    if (fromOn_->isChecked()) f.from = from_->date();
    if (toOn_->isChecked()) f.to = to_->date();
    f.material = material_->currentData().toInt();
    if (instrument_->currentIndex() > 0) f.instrument = instrument_->currentText();
    f.text = text_->text().trimmed();
    return f;
}

void HistoryWindow::RunSearch() {
    ++searchRequest_;
    if (onServer_->isChecked()) {
        foundLabel_->setText(Text(SearchingText));
        service_.SearchServer(filter(), searchRequest_);
        return;
    }
    bool more = false;
    const std::vector<FoundRecord> found = service_.Local().Search(filter(), &more);
    showFound(found, more, found.empty() ? service_.Local().Error() : QString());
}

void HistoryWindow::showFound(const std::vector<FoundRecord>& found, bool more,
                              const QString& error) {
    found_ = found;
    foundTable_->setRowCount(int(found_.size()));
    const int lang = LangIndex.load();
    RowTexts texts;
    for (int i = 0; i < int(found_.size()); ++i) {
        RecordRowTexts(found_[size_t(i)].record, lang, false, texts);
        QStringList cells;
        for (int c = 0; c < 7; ++c)
            cells << QString::fromUtf8(texts.cell[size_t(c)]);
        cells << found_[size_t(i)].instrument;
        setRow(foundTable_, i, cells);
    }
    foundTable_->resizeColumnsToContents();
    if (!error.isEmpty())
        foundLabel_->setText(Text(SearchFailedText).arg(error));
    else if (more)
        foundLabel_->setText(Text(FoundMoreText).arg(found_.size()));
    else
        foundLabel_->setText(Text(FoundText).arg(found_.size()));
}

qint64 HistoryWindow::currentReadout(int* row) const {
    const int r = readoutTable_->currentRow();
    if (row) *row = r;
    if (r < 0 || r >= int(readouts_.size()) || readoutTable_->selectedItems().isEmpty()) return 0;
    return readouts_[size_t(r)].id;
}

void HistoryWindow::LoadReadout() {
    int row = -1;
    const qint64 id = currentReadout(&row);
    if (id == 0) {
        status_(Text(NothingSelectedText));
        return;
    }
    std::vector<ArchiveRecord> records;
    for (const FoundRecord& f : service_.Local().RecordsOf(id))
        records.push_back(f.record);
    if (!load_(records, readouts_[size_t(row)].coordinates)) {
        status_(Text(BusyText));
        return;
    }
    status_(Text(LoadedText).arg(records.size()));
}

void HistoryWindow::LoadRecords() {
    // The selected rows, or every record found when none is selected; the table lists the newest
    // first, so the archive takes them oldest first.
    std::set<int> rows;
    for (const QModelIndex& index : foundTable_->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty())
        for (int i = 0; i < int(found_.size()); ++i)
            rows.insert(i);
    if (rows.empty()) {
        status_(Text(NothingSelectedText));
        return;
    }
    std::vector<ArchiveRecord> records;
    bool coordinates = false;
    for (auto it = rows.rbegin(); it != rows.rend() && int(records.size()) < ArchiveCapacity;
         ++it) {
        records.push_back(found_[size_t(*it)].record);
        coordinates = coordinates || found_[size_t(*it)].coordinates;
    }
    if (!load_(records, coordinates)) {
        status_(Text(BusyText));
        return;
    }
    status_(Text(LoadedText).arg(records.size()));
}

void HistoryWindow::DeleteReadout() {
    int row = -1;
    const qint64 id = currentReadout(&row);
    if (id == 0) {
        status_(Text(NothingSelectedText));
        return;
    }
    const ReadoutInfo& r = readouts_[size_t(row)];
    const QString question =
        Text(DeleteQuestionText)
            .arg(r.takenAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), r.source)
            .arg(r.count);
    if (ShowMessageBox(this, QMessageBox::Question, windowTitle(), question,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!service_.Local().DeleteReadout(id)) {
        status_(Text(StoreFailedText).arg(service_.Local().Error()));
        return;
    }
    status_(Text(DeletedText));
    RefreshReadouts();
}

void HistoryWindow::EditServer() {
    ServerDialog dialog(service_.Settings(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    WriteServerSettings(dialog.Settings());
    service_.ApplyServerSettings(dialog.Settings());
    RefreshReadouts();
}

void HistoryWindow::showState(const ServerState& state) {
    QString s;
    switch (state.status) {
    case ServerState::Off:
        s = Text(ServerOffText);
        break;
    case ServerState::Connecting:
        s = Text(ServerConnectingText);
        break;
    case ServerState::Connected:
        s = Text(state.encrypted ? ServerEncryptedText : ServerPlainText);
        break;
    case ServerState::Unreachable:
        s = Text(ServerUnreachableText).arg(state.error.trimmed());
        break;
    case ServerState::Newer:
        s = Text(ServerNewerText);
        break;
    }
    if (state.status != ServerState::Off)
        s += QStringLiteral("; ") + Text(QueueText).arg(state.queued);
    serverState_->setText(s);
    serverState_->setToolTip(state.error);
}

ServerDialog::ServerDialog(const ServerSettings& settings, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgHistoryServer"));
    setWindowTitle(Text(SettingsTitleText));
    auto* form = new QFormLayout(this);
    enabled_ = new QCheckBox(Text(SettingsEnabledText), this);
    enabled_->setObjectName(QStringLiteral("chkServer"));
    enabled_->setChecked(settings.enabled);
    host_ = new QLineEdit(settings.server.host, this);
    host_->setObjectName(QStringLiteral("edtHost"));
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("edtPort"));
    port_->setRange(1, 65535);
    port_->setValue(settings.server.port);
    database_ = new QLineEdit(settings.server.database, this);
    database_->setObjectName(QStringLiteral("edtDatabase"));
    user_ = new QLineEdit(settings.server.user, this);
    user_->setObjectName(QStringLiteral("edtUser"));
    form->addRow(enabled_);
    form->addRow(Text(SettingsHostText), host_);
    form->addRow(Text(SettingsPortText), port_);
    form->addRow(Text(SettingsDatabaseText), database_);
    form->addRow(Text(SettingsUserText), user_);
    auto* note = new QLabel(Text(SettingsPasswordNoteText), this);
    note->setWordWrap(true);
    form->addRow(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

ServerSettings ServerDialog::Settings() const {
    ServerSettings s;
    s.enabled = enabled_->isChecked();
    s.server.host = host_->text().trimmed();
    s.server.port = port_->value();
    s.server.database = database_->text().trimmed();
    s.server.user = user_->text().trimmed();
    return s;
}

} // namespace vyz::history
