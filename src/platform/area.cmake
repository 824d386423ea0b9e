# The installed data folder is compiled in, so an installed program finds its help and language
# files without any setting.
target_compile_definitions(${name} PRIVATE
    VYZ_INSTALLED_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/vyz")
