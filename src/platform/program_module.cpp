#include "platform/program_module.h"

#include "platform/paths.h"

#include <dlfcn.h>
#include <filesystem>
#include <string>

#ifndef VYZ_INSTALLED_LIBRARY_DIR
#define VYZ_INSTALLED_LIBRARY_DIR "/usr/lib/vyz"
#endif
#ifndef VYZ_LIBRARY_DIR_FROM_BIN
#define VYZ_LIBRARY_DIR_FROM_BIN "../lib/vyz"
#endif

namespace vyz {

const void* LoadProgramModule(const char* fileName, const char* entry,
                              const std::function<bool(const void*)>& accepts, QString* error) {
    const std::string dir = ProgramDir();
    QString reasons;
    for (const std::string& folder :
         {dir, dir + "/" VYZ_LIBRARY_DIR_FROM_BIN, std::string(VYZ_INSTALLED_LIBRARY_DIR)}) {
        const std::string path = folder + "/" + fileName;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reasons += QString::fromLocal8Bit(::dlerror()) + QLatin1Char('\n');
            continue;
        }
        using Entry = const void* (*)();
        auto function = reinterpret_cast<Entry>(::dlsym(module, entry));
        const void* offered = function ? function() : nullptr;
        if (offered && accepts(offered)) return offered;
        reasons += QStringLiteral("%1: made by another build of the program\n")
                       .arg(QString::fromStdString(path));
        ::dlclose(module);
    }
    if (reasons.isEmpty())
        reasons = QStringLiteral("%1 was found neither in %2 nor in %3")
                      .arg(QLatin1String(fileName), QString::fromStdString(dir),
                           QStringLiteral(VYZ_INSTALLED_LIBRARY_DIR));
    if (error) *error = reasons.trimmed();
    return nullptr;
}

} // namespace vyz
