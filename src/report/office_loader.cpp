#include "report/office_formats.h"

#include "platform/program_module.h"
#include "report/export_support.h"

#include <atomic>
#include <mutex>

namespace vyz::report {
namespace {

std::mutex loading;
std::atomic<const OfficeExporters*> loaded{nullptr};

const OfficeExporters* Load(QString* error) {
    return static_cast<const OfficeExporters*>(LoadProgramModule(
        OfficeModuleName, OfficeModuleEntry,
        [](const void* offered) {
            const auto* exporters = static_cast<const OfficeExporters*>(offered);
            return exporters->abi == OfficeAbi && exporters->reportSize == sizeof(PreparedReport);
        },
        error));
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
