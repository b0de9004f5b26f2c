# Imported targets for every library the project links. Debian package names
# are in scripts/deps; the README says what each one is for.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Multimedia Test)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(AMRNB REQUIRED IMPORTED_TARGET opencore-amrnb)

find_library(ID3_LIBRARY NAMES id3 REQUIRED)
find_path(ID3_INCLUDE_DIR NAMES id3/tag.h REQUIRED)
add_library(id3lib::id3 UNKNOWN IMPORTED)
set_target_properties(id3lib::id3 PROPERTIES
  IMPORTED_LOCATION ${ID3_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${ID3_INCLUDE_DIR})

