# The clipboard hand-over at exit talks to the X server through the connection Qt opened.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VYZ_XCB REQUIRED IMPORTED_TARGET xcb)
target_link_libraries(${name} PRIVATE PkgConfig::VYZ_XCB)
