// vyz-convert: measurement files (*.vyz) into the report's export formats, CSV and the map
// formats, from the command line and without a display. It decodes the files, prepares the report
// and writes the exports with the same code as the window.
//
//   vyz-convert [--lang ru|en] [--format F] [--force] [CSV choices] INPUT.vyz... -o OUTPUT
//
// Exit codes: 0 every input converted, 1 some input failed, 2 the command line is wrong.
#include "analysis/analysis_settings.h"
#include "data/archive_record.h"
#include "data/record_text.h"
#include "data/text_pair.h"
#include "output/measurement_file.h"
#include "output/record_export.h"
#include "output/record_table.h"
#include "output/report_binding.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/staged_write.h"
#include "report/report_export.h"
#include "vyz_version.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vyz;

namespace {

const TextPair Usage{
    "Использование: vyz-convert [--lang ru|en] [--format ФОРМАТ] [--force] [ключи CSV] "
    "ФАЙЛ.vyz... -o ВЫХОД",
    "Usage: vyz-convert [--lang ru|en] [--format FORMAT] [--force] [CSV options] "
    "FILE.vyz... -o OUTPUT"};
const TextPair Help{
    "Преобразует файлы измерений прибора ВИЗ-1 (*.vyz) в отчет, CSV или карту.\n"
    "\n"
    "  -o, --output ВЫХОД     файл результата (один входной файл) или существующая папка\n"
    "  -f, --format ФОРМАТ    pdf, xlsx, ods, odt, rtf, html, txt, csv, gpx, kml, geojson\n"
    "                         (без ключа: по расширению файла результата)\n"
    "      --lang ru|en       язык текстов (без ключа: язык программы из файла настроек)\n"
    "      --force            заменять существующие файлы\n"
    "      --csv-separator comma|semicolon|tab   разделитель полей CSV\n"
    "      --csv-decimal point|comma             десятичный разделитель CSV\n"
    "      --csv-bom yes|no                      метка порядка байтов в начале CSV\n"
    "      --csv-dates iso|table                 дата и время по ISO 8601 или как в таблице\n"
    "  -h, --help             эта справка\n"
    "  -V, --version          версия программы\n"
    "\n"
    "Без ключей CSV действует выбор, сохраненный программой в файле настроек.\n"
    "Коды завершения: 0 - все файлы преобразованы, 1 - часть файлов не преобразована,\n"
    "2 - ошибка в командной строке.\n",
    "Converts measurement files of the VYZ-1 instrument (*.vyz) into a report, CSV or a map.\n"
    "\n"
    "  -o, --output OUTPUT    the output file (one input) or an existing folder\n"
    "  -f, --format FORMAT    pdf, xlsx, ods, odt, rtf, html, txt, csv, gpx, kml, geojson\n"
    "                         (without it: from the output file's suffix)\n"
    "      --lang ru|en       language of the texts (without it: the program's language from\n"
    "                         the settings file)\n"
    "      --force            replace existing files\n"
    "      --csv-separator comma|semicolon|tab   CSV field separator\n"
    "      --csv-decimal point|comma             CSV decimal separator\n"
    "      --csv-bom yes|no                      byte order mark at the start of the CSV\n"
    "      --csv-dates iso|table                 date and time in ISO 8601 or as the table shows\n"
    "  -h, --help             this help\n"
    "  -V, --version          the program's version\n"
    "\n"
    "Without CSV options the choices the program stored in its settings file apply.\n"
    "Exit codes: 0 every file converted, 1 some files not converted, 2 wrong command line.\n"};
const TextPair UnknownOption{"неизвестный ключ %s", "unknown option %s"};
const TextPair NeedsValue{"ключу %s нужно значение", "option %s needs a value"};
const TextPair BadValue{"недопустимое значение \"%s\" ключа %s", "invalid value \"%s\" for %s"};
const TextPair NoInputs{"не заданы входные файлы", "no input files"};
const TextPair NoOutput{"не задан выход (-o)", "no output given (-o)"};
const TextPair UnknownFormat{"неизвестный формат \"%s\"", "unknown format \"%s\""};
const TextPair FormatFromName{"не удается определить формат по имени %s: задайте --format",
                              "cannot tell the format from the name %s: give --format"};
const TextPair NeedFolder{"для нескольких входных файлов выход должен быть папкой",
                          "with several inputs the output must be a folder"};
const TextPair NoFolder{"папка %s не существует", "the folder %s does not exist"};
const TextPair NotWritable{"в папку %s нельзя записать: %s", "the folder %s cannot be written: %s"};
const TextPair CannotRead{"не удается прочитать: %s", "cannot read: %s"};
const TextPair EmptyFile{"файл пуст", "the file is empty"};
const TextPair Truncated{"файл поврежден: после последней целой записи еще %d байт",
                         "damaged file: %d bytes after the last whole record"};
const TextPair NoRecords{"в файле нет записей", "the file holds no records"};
const TextPair Foreign{"это не файл измерений прибора", "not a measurement file of the instrument"};
const TextPair OnlyFirst{"прочитаны первые %d записей из %d",
                         "only the first %d of %d records read"};
const TextPair Exists{"%s уже существует (--force заменяет)", "%s exists (--force replaces it)"};
const TextPair SameOutput{"%s уже записан из другого входного файла",
                          "%s was already written from another input"};
const TextPair IsInput{"%s - сам входной файл", "%s is the input file itself"};
const TextPair NoPosition{"ни у одной записи нет координат", "no record has a position"};
const TextPair LeftOut{"записей без координат пропущено: %d",
                       "records without a position left out: %d"};
const TextPair CannotWrite{"не удается записать %s: %s", "cannot write %s: %s"};

int lang = 1;

const char* tr(const TextPair& pair) {
    return pair.in(lang);
}

template <typename... A> std::string format(const TextPair& pair, A... args) {
    char text[1024];
    std::snprintf(text, sizeof text, tr(pair), args...);
    return text;
}

void say(const std::string& line) {
    std::fprintf(stderr, "vyz-convert: %s\n", line.c_str());
}

[[noreturn]] void usageError(const std::string& line) {
    say(line);
    std::fprintf(stderr, "%s\n", tr(Usage));
    std::exit(2);
}

enum class Kind { Report, Csv, Map };
struct Format {
    const char* name;
    Kind kind;
    report::ExportFormat report;
    MapFormat map;
};
// The report's formats as its export table names them, then the record exports.
const std::vector<Format>& formats() {
    static const std::vector<Format> all = [] {
        std::vector<Format> f;
        for (const report::ExportFormatEntry& e : report::ExportFormats)
            f.push_back({e.suffix, Kind::Report, e.format, {}});
        f.push_back({"csv", Kind::Csv, {}, {}});
        f.push_back({"gpx", Kind::Map, {}, MapFormat::Gpx});
        f.push_back({"kml", Kind::Map, {}, MapFormat::Kml});
        f.push_back({"geojson", Kind::Map, {}, MapFormat::GeoJson});
        return f;
    }();
    return all;
}

const Format* findFormat(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (name == "text") name = "txt";
    if (name == "htm") name = "html";
    if (name == "json") name = "geojson";
    for (const Format& f : formats())
        if (name == f.name) return &f;
    return nullptr;
}

std::string suffixOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

// The file name of `input` without its folder and its ".vyz".
std::string stemOf(const std::string& input) {
    std::string name = input.substr(input.rfind('/') + 1);
    const std::string suffix = suffixOf(name);
    if (!suffix.empty()) {
        std::string lower = suffix;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (lower == "vyz") name.resize(name.size() - suffix.size() - 1);
    }
    return name.empty() ? "output" : name;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string realOf(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string out = real;
    std::free(real);
    return out;
}

// A record the instrument could have written: a clock reading and a material it knows, values
// that are numbers. A file of other bytes yields mostly records that are not.
bool plausible(const ArchiveRecord& r) {
    return (r.Second < 60 || r.Second == DeletedMark) && r.Minute < 60 && r.Hour < 24 &&
           r.Day >= 1 && r.Day <= 31 && r.MaterialIndex < MaterialCount &&
           std::isfinite(r.Density) && std::isfinite(r.RefDensity) && std::isfinite(r.Temperature);
}

struct Options {
    const Format* format = nullptr;
    std::string output;
    bool force = false;
    CsvOptions csv;
    std::vector<std::string> inputs;
};

// Reads `input` into `records`; false with the reason said.
bool decode(const std::string& input, std::vector<ArchiveRecord>& records, bool& coordinates) {
    std::vector<uint8_t> bytes;
    if (const int error = ReadMeasurementFileBytes(input, bytes)) {
        say(input + ": " + format(CannotRead, std::strerror(error)));
        return false;
    }
    if (bytes.empty()) {
        say(input + ": " + tr(EmptyFile));
        return false;
    }
    const FileLayout layout = DetectLayout(bytes);
    coordinates = layout.coordinates;
    // The reader stops at a full archive; what the file holds beyond it is not part of it.
    struct stat st {};
    const size_t length = ::stat(input.c_str(), &st) == 0 ? size_t(st.st_size) : bytes.size();
    const size_t data = length > layout.dataOffset ? length - layout.dataOffset : 0;
    const size_t whole = data / layout.recordSize;
    if (const size_t rest = data % layout.recordSize) {
        say(input + ": " + format(Truncated, int(rest)));
        return false;
    }
    if (whole == 0) {
        say(input + ": " + tr(NoRecords));
        return false;
    }
    records.assign(ArchiveCapacity, ArchiveRecord{});
    ArchiveRecord staging{};
    const int count = ReadRecords(bytes, layout, staging, records.data(), ArchiveCapacity);
    records.resize(size_t(count));
    int good = 0;
    for (ArchiveRecord& r : records) {
        RepairMonth(r);
        good += plausible(r);
    }
    if (good * 2 <= count) {
        say(input + ": " + tr(Foreign));
        return false;
    }
    if (whole > size_t(count)) say(input + ": " + format(OnlyFirst, count, int(whole)));
    return true;
}

// The spreadsheet library writes its own diagnostics to standard error besides the error it
// returns; while an export runs they are dropped, so each failure stays one line of ours.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

bool writeBytes(const std::string& target, const std::string& text) {
    QString error;
    if (WriteStaged(QFile::decodeName(target.c_str()), {text.data(), qsizetype(text.size())},
                    &error))
        return true;
    say(format(CannotWrite, target.c_str(), error.toLocal8Bit().constData()));
    return false;
}

bool convert(const std::string& input, const std::string& target, const Options& o,
             std::set<std::string>& written) {
    std::vector<ArchiveRecord> records;
    bool coordinates = false;
    if (!decode(input, records, coordinates)) return false;

    const std::string real = realOf(target);
    if (!real.empty() && written.count(real)) {
        say(input + ": " + format(SameOutput, target.c_str()));
        return false;
    }
    if (!real.empty() && real == realOf(input)) {
        say(input + ": " + format(IsInput, target.c_str()));
        return false;
    }
    struct stat st {};
    if (!o.force && ::lstat(target.c_str(), &st) == 0) {
        say(input + ": " + format(Exists, target.c_str()));
        return false;
    }

    bool ok = false;
    switch (o.format->kind) {
    case Kind::Report: {
        const RecordTable table(records, coordinates, lang);
        ReportBinding binding(table);
        report::Report& report = binding.ReportFor(coordinates);
        report.PrepareReport();
        report::ExportResult result;
        {
            const QuietStderr quiet;
            result = report::ExportReport(o.format->report, report.Prepared(),
                                          QString::fromLocal8Bit(target.c_str()));
        }
        ok = result.ok();
        if (!ok) say(format(CannotWrite, target.c_str(), result.error.toLocal8Bit().constData()));
        break;
    }
    case Kind::Csv:
        ok = writeBytes(target, CsvText(records, coordinates, lang, o.csv));
        break;
    case Kind::Map: {
        const MapExport map = MapText(o.format->map, records, lang, analysis::ReadLimits());
        if (map.written == 0) {
            say(input + ": " + tr(NoPosition));
            return false;
        }
        ok = writeBytes(target, map.text);
        if (ok && map.leftOut > 0) say(input + ": " + format(LeftOut, map.leftOut));
        break;
    }
    }
    if (ok) written.insert(realOf(target));
    return ok;
}

// The value of option `name` given as "--name value" or "--name=value".
std::string valueOf(const std::string& arg, const std::string& name, int& i, int argc,
                    char** argv) {
    if (arg.size() > name.size() && arg[name.size()] == '=') return arg.substr(name.size() + 1);
    if (i + 1 >= argc) usageError(format(NeedsValue, name.c_str()));
    return argv[++i];
}

bool optionIs(const std::string& arg, const char* name) {
    const size_t n = std::strlen(name);
    return arg.compare(0, n, name) == 0 && (arg.size() == n || arg[n] == '=');
}

Options parse(int argc, char** argv) {
    Options o;
    o.csv = ReadCsvOptions();
    bool endOfOptions = false;
    auto bad = [](const std::string& value, const char* name) {
        usageError(format(BadValue, value.c_str(), name));
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            o.inputs.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("%s\n\n%s", tr(Usage), tr(Help));
            std::exit(0);
        } else if (arg == "-V" || arg == "--version") {
            std::printf("vyz-convert %s\n", version::FileVersion);
            std::exit(0);
        } else if (arg == "--force") {
            o.force = true;
        } else if (arg == "-o" || optionIs(arg, "--output")) {
            o.output = valueOf(arg, arg == "-o" ? "-o" : "--output", i, argc, argv);
        } else if (arg == "-f" || optionIs(arg, "--format")) {
            const std::string v = valueOf(arg, arg == "-f" ? "-f" : "--format", i, argc, argv);
            o.format = findFormat(v);
            if (!o.format) usageError(format(UnknownFormat, v.c_str()));
        } else if (optionIs(arg, "--lang")) {
            valueOf(arg, "--lang", i, argc, argv); // taken before parsing
        } else if (optionIs(arg, "--csv-separator")) {
            const std::string v = valueOf(arg, "--csv-separator", i, argc, argv);
            if (v == "comma")
                o.csv.separator = ',';
            else if (v == "semicolon")
                o.csv.separator = ';';
            else if (v == "tab")
                o.csv.separator = '\t';
            else
                bad(v, "--csv-separator");
        } else if (optionIs(arg, "--csv-decimal")) {
            const std::string v = valueOf(arg, "--csv-decimal", i, argc, argv);
            if (v == "point")
                o.csv.decimal = '.';
            else if (v == "comma")
                o.csv.decimal = ',';
            else
                bad(v, "--csv-decimal");
        } else if (optionIs(arg, "--csv-bom")) {
            const std::string v = valueOf(arg, "--csv-bom", i, argc, argv);
            if (v == "yes")
                o.csv.byteOrderMark = true;
            else if (v == "no")
                o.csv.byteOrderMark = false;
            else
                bad(v, "--csv-bom");
        } else if (optionIs(arg, "--csv-dates")) {
            const std::string v = valueOf(arg, "--csv-dates", i, argc, argv);
            if (v == "iso")
                o.csv.tableDates = false;
            else if (v == "table")
                o.csv.tableDates = true;
            else
                bad(v, "--csv-dates");
        } else {
            usageError(format(UnknownOption, arg.c_str()));
        }
    }
    if (o.inputs.empty()) usageError(tr(NoInputs));
    if (o.output.empty()) usageError(tr(NoOutput));
    return o;
}

// The language: --lang, else the program's stored language, else English.
int chooseLanguage(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (!optionIs(arg, "--lang")) continue;
        const std::string v = arg.size() > 6 ? arg.substr(7) : i + 1 < argc ? argv[i + 1] : "";
        if (v == "ru") return 0;
        if (v == "en") return 1;
        lang = 1;
        usageError(format(BadValue, v.c_str(), "--lang"));
    }
    return IniRead("Config", "LangId", "", 10) == "Rus" ? 0 : 1;
}

// Qt's own notes (a missing runtime folder and the like) would drown the converter's one line per
// input; only its critical messages go through.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vyz-convert: %s\n", message.toLocal8Bit().constData());
}

// The folder of this program (its settings file may live beside it).
std::string programFolder(const char* argv0) {
    std::string self = realOf("/proc/self/exe");
    if (self.empty()) self = realOf(argv0);
    return folderOf(self);
}

} // namespace

int main(int argc, char** argv) {
    InitProgramPaths(programFolder(argv[0]));
    lang = chooseLanguage(argc, argv);
    LangIndex = static_cast<int8_t>(lang);
    Options o = parse(argc, argv);

    // Where the outputs go: into an existing folder, or one input into the named file.
    const bool intoFolder = isFolder(o.output);
    if (!intoFolder && o.inputs.size() > 1) {
        if (o.output.back() == '/' || ::access(o.output.c_str(), F_OK) != 0) {
            say(format(NoFolder, o.output.c_str()));
            return 1;
        }
        usageError(tr(NeedFolder));
    }
    if (!intoFolder && o.output.back() == '/') {
        say(format(NoFolder, o.output.c_str()));
        return 1;
    }
    if (!o.format) {
        if (intoFolder) usageError(format(FormatFromName, o.output.c_str()));
        o.format = findFormat(suffixOf(o.output));
        if (!o.format) usageError(format(FormatFromName, o.output.c_str()));
    }
    const std::string folder = intoFolder ? o.output : folderOf(o.output);
    if (!isFolder(folder)) {
        say(format(NoFolder, folder.c_str()));
        return 1;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        say(format(NotWritable, folder.c_str(), std::strerror(errno)));
        return 1;
    }

    // The report measures and paints its texts with the offscreen platform's fonts: no display is
    // needed. CSV and maps need no Qt application at all, so they start at once.
    qInstallMessageHandler(quietQt);
    std::optional<QGuiApplication> app;
    if (o.format->kind == Kind::Report) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
    }

    std::set<std::string> written;
    int failed = 0;
    for (const std::string& input : o.inputs) {
        const std::string target =
            intoFolder ? folder + "/" + stemOf(input) + "." + o.format->name : o.output;
        if (!convert(input, target, o, written)) ++failed;
    }
    return failed ? 1 : 0;
}
