// The history's texts, Russian and English.
#pragma once

#include "data/text_pair.h"

namespace vyz::history {

inline constexpr TextPair HistoryCommandText{"История измерений...", "Measurement history..."};
inline constexpr TextPair HistoryTitleText{"История измерений", "Measurement history"};

inline constexpr TextPair MovedAsideText{
    "История: файл %1 не является базой истории программы и переименован в %2; начата новая "
    "история",
    "History: %1 is not a history database of this program; it was renamed to %2 and a new history "
    "was started"};
inline constexpr TextPair NewerText{
    "История: база %1 записана более новой версией программы и не открыта; считывания в историю "
    "не сохраняются",
    "History: %1 was written by a newer version of the program and was not opened; read-outs are "
    "not stored in the history"};
inline constexpr TextPair OpenFailedText{"История: не удалось открыть %1 (%2)",
                                         "History: cannot open %1 (%2)"};
inline constexpr TextPair StoreFailedText{
    "История: считывание в историю не сохранено (%1)",
    "History: the read-out was not stored in the history (%1)"};
inline constexpr TextPair StoredText{"Сохранено в историю записей: %1",
                                     "Records stored in the history: %1"};
inline constexpr TextPair ServerNotSetText{"Сервер не задан", "No server is set"};

inline constexpr TextPair ReadoutsText{"Считывания", "Read-outs"};
inline constexpr TextPair ColumnTimeText{"Время", "Time"};
inline constexpr TextPair ColumnSourceText{"Источник", "Source"};
inline constexpr TextPair ColumnInstrumentText{"Прибор", "Instrument"};
inline constexpr TextPair ColumnCountText{"Записей", "Records"};
inline constexpr TextPair ColumnQueuedText{"На сервере", "On server"};
inline constexpr TextPair QueuedYesText{"в очереди", "queued"};
inline constexpr TextPair QueuedNoText{"да", "yes"};

inline constexpr TextPair SearchGroupText{"Поиск записей", "Search records"};
inline constexpr TextPair FromText{"С", "From"};
inline constexpr TextPair ToText{"По", "To"};
inline constexpr TextPair MaterialText{"Материал", "Material"};
inline constexpr TextPair InstrumentText{"Прибор", "Instrument"};
inline constexpr TextPair TextText{"Текст", "Text"};
inline constexpr TextPair AnyText{"(любой)", "(any)"};
inline constexpr TextPair SearchText{"Искать", "Search"};
inline constexpr TextPair OnServerText{"На сервере", "On the server"};
inline constexpr TextPair FoundText{"Найдено записей: %1", "Records found: %1"};
inline constexpr TextPair FoundMoreText{"Найдено больше %1 записей; показаны первые %1",
                                        "More than %1 records found; the first %1 are shown"};
inline constexpr TextPair SearchingText{"Поиск на сервере...", "Searching the server..."};
inline constexpr TextPair SearchFailedText{"Поиск не удался: %1", "The search failed: %1"};

inline constexpr TextPair LoadReadoutText{"Загрузить считывание в таблицу",
                                          "Load the read-out into the table"};
inline constexpr TextPair LoadRecordsText{"Загрузить выбранные записи в таблицу",
                                          "Load the selected records into the table"};
inline constexpr TextPair DeleteReadoutText{"Удалить считывание", "Delete the read-out"};
inline constexpr TextPair ServerButtonText{"Сервер...", "Server..."};
inline constexpr TextPair DeleteQuestionText{
    "Удалить из истории этого компьютера считывание от %1 (%2, записей: %3)?",
    "Delete the read-out of %1 (%2, records: %3) from the history of this computer?"};
inline constexpr TextPair DeletedText{"Считывание удалено из истории",
                                      "The read-out was deleted from the history"};
inline constexpr TextPair LoadedText{"Загружено из истории записей: %1",
                                     "Records loaded from the history: %1"};
inline constexpr TextPair BusyText{"Таблица занята считыванием; повторите позже",
                                   "The table is busy with a read-out; try again later"};
inline constexpr TextPair NothingSelectedText{"Ничего не выбрано", "Nothing is selected"};

inline constexpr TextPair ServerOffText{"Сервер: не задан", "Server: not set"};
inline constexpr TextPair ServerConnectingText{"Сервер: подключение...", "Server: connecting..."};
inline constexpr TextPair ServerEncryptedText{
    "Сервер: подключен, соединение зашифровано (TLS)",
    "Server: connected, the connection is encrypted (TLS)"};
inline constexpr TextPair ServerPlainText{"Сервер: подключен, соединение НЕ зашифровано",
                                          "Server: connected, the connection is NOT encrypted"};
inline constexpr TextPair ServerUnreachableText{"Сервер недоступен: %1", "Server unreachable: %1"};
inline constexpr TextPair ServerNewerText{
    "Сервер: его база записана более новой версией программы; считывания не отправляются",
    "Server: its database was written by a newer version of the program; nothing is sent"};
inline constexpr TextPair QueueText{"В очереди на сервер: %1", "Queued for the server: %1"};

inline constexpr TextPair SettingsTitleText{"Сервер истории (PostgreSQL)",
                                            "History server (PostgreSQL)"};
inline constexpr TextPair SettingsEnabledText{"Отправлять считывания на сервер",
                                              "Send read-outs to the server"};
inline constexpr TextPair SettingsHostText{"Адрес", "Host"};
inline constexpr TextPair SettingsPortText{"Порт", "Port"};
inline constexpr TextPair SettingsDatabaseText{"База данных", "Database"};
inline constexpr TextPair SettingsUserText{"Пользователь", "User"};
inline constexpr TextPair SettingsPasswordNoteText{
    "Пароль берётся из файла ~/.pgpass или из переменной окружения PGPASSWORD; программа его не "
    "хранит.",
    "The password comes from ~/.pgpass or the PGPASSWORD environment variable; the program does "
    "not keep it."};

} // namespace vyz::history
