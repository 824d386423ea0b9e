#include "report/office_formats.h"

#include "platform/paths.h"
#include "report/export_support.h"

#include <atomic>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <string>

#ifndef VYZ_INSTALLED_LIBRARY_DIR
#define VYZ_INSTALLED_LIBRARY_DIR "/usr/lib/vyz"
#endif
#ifndef VYZ_LIBRARY_DIR_FROM_BIN
#define VYZ_LIBRARY_DIR_FROM_BIN "../lib/vyz"
#endif

namespace vyz::report {
namespace {

std::mutex loading;
std::atomic<const OfficeExporters*> loaded{nullptr};

// Loads the module from the first folder that has one; nullptr with the reason otherwise.
const OfficeExporters* Load(QString* error) {
    const std::string dir = ProgramDir();
    QString reasons;
    for (const std::string& folder :
         {dir, dir + "/" VYZ_LIBRARY_DIR_FROM_BIN, std::string(VYZ_INSTALLED_LIBRARY_DIR)}) {
        const std::string path = folder + "/" + OfficeModuleName;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        // Kept loaded for the rest of the run: its exporters are handed out.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reasons += QString::fromLocal8Bit(::dlerror()) + QLatin1Char('\n');
            continue;
        }
        using Entry = const OfficeExporters* (*)();
        auto entry = reinterpret_cast<Entry>(::dlsym(module, OfficeModuleEntry));
        const OfficeExporters* exporters = entry ? entry() : nullptr;
        if (exporters && exporters->abi == OfficeAbi &&
            exporters->reportSize == sizeof(PreparedReport))
            return exporters;
        reasons += QStringLiteral("%1: made by another build of the program\n")
                       .arg(QString::fromStdString(path));
        ::dlclose(module);
    }
    if (reasons.isEmpty())
        reasons = QStringLiteral("%1 was found neither in %2 nor in %3")
                      .arg(QLatin1String(OfficeModuleName), QString::fromStdString(dir),
                           QStringLiteral(VYZ_INSTALLED_LIBRARY_DIR));
    if (error) *error = reasons.trimmed();
    return nullptr;
}

} // namespace

const OfficeExporters* Office(QString* error) {
    if (&LinkedOffice) return &LinkedOffice;
    if (const OfficeExporters* ready = loaded.load()) return ready;
    const std::lock_guard lock(loading);
    if (!loaded.load()) loaded = Load(error);
    return loaded.load();
}

namespace {

ExportResult Through(ExportFunction OfficeExporters::*which, const PreparedReport& report,
                     const QString& path, Progress* progress) {
    QString error;
    const OfficeExporters* office = Office(&error);
    if (!office) return detail::Failed(error);
    return (office->*which)(report, path, progress);
}

} // namespace

ExportResult OfficeXlsx(const PreparedReport& report, const QString& path, Progress* progress) {
    return Through(&OfficeExporters::xlsx, report, path, progress);
}

ExportResult OfficeOds(const PreparedReport& report, const QString& path, Progress* progress) {
    return Through(&OfficeExporters::ods, report, path, progress);
}

ExportResult OfficeOdt(const PreparedReport& report, const QString& path, Progress* progress) {
    return Through(&OfficeExporters::odt, report, path, progress);
}

} // namespace vyz::report
