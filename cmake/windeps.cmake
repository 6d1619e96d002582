# SQLite, LZ4 and ICU for a Windows build, as tools/windeps.sh leaves them: static libraries in a prefix
# the toolchain file puts on CMAKE_FIND_ROOT_PATH. ICU's MinGW build names its static libraries sicuuc,
# sicuin (i18n) and sicudt (the data), and its users must say they link it statically.
find_path(MAROVEX_SQLITE3_INCLUDE sqlite3.h REQUIRED)
find_library(MAROVEX_SQLITE3_LIBRARY NAMES sqlite3 REQUIRED)
add_library(PkgConfig::SQLITE3 INTERFACE IMPORTED)
target_include_directories(PkgConfig::SQLITE3 INTERFACE ${MAROVEX_SQLITE3_INCLUDE})
target_link_libraries(PkgConfig::SQLITE3 INTERFACE ${MAROVEX_SQLITE3_LIBRARY})

find_path(MAROVEX_LZ4_INCLUDE lz4.h REQUIRED)
find_library(MAROVEX_LZ4_LIBRARY NAMES lz4 REQUIRED)
add_library(PkgConfig::LZ4 INTERFACE IMPORTED)
target_include_directories(PkgConfig::LZ4 INTERFACE ${MAROVEX_LZ4_INCLUDE})
target_link_libraries(PkgConfig::LZ4 INTERFACE ${MAROVEX_LZ4_LIBRARY})

find_path(MAROVEX_ICU_INCLUDE unicode/uversion.h REQUIRED)
find_library(MAROVEX_ICU_DATA NAMES sicudt icudt REQUIRED)
find_library(MAROVEX_ICU_UC NAMES sicuuc icuuc REQUIRED)
find_library(MAROVEX_ICU_I18N NAMES sicuin icuin REQUIRED)
add_library(ICU::data INTERFACE IMPORTED)
target_link_libraries(ICU::data INTERFACE ${MAROVEX_ICU_DATA})
add_library(ICU::uc INTERFACE IMPORTED)
target_include_directories(ICU::uc INTERFACE ${MAROVEX_ICU_INCLUDE})
target_compile_definitions(ICU::uc INTERFACE U_STATIC_IMPLEMENTATION)
target_link_libraries(ICU::uc INTERFACE ${MAROVEX_ICU_UC} ICU::data advapi32)
add_library(ICU::i18n INTERFACE IMPORTED)
target_link_libraries(ICU::i18n INTERFACE ${MAROVEX_ICU_I18N} ICU::uc)
