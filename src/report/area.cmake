# The report engine's exporters write .xlsx through libxlsxwriter and the ODF zip containers
# through libzip.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VYZ_XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
pkg_check_modules(VYZ_LIBZIP REQUIRED IMPORTED_TARGET libzip)
target_link_libraries(${name} PRIVATE PkgConfig::VYZ_XLSXWRITER PkgConfig::VYZ_LIBZIP)
