# The Debian packages every layer builds against, as imported targets.
# libimobiledevice and libusbmuxd are only used for their headers by Corvane itself (it loads them at run
# time); the simulator's fidelity tests and the benchmarks link them directly.

find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(CURL REQUIRED)
find_package(glog REQUIRED)
find_package(RapidJSON REQUIRED)
find_package(GTest REQUIRED)
if(CORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(IMOBILEDEVICE REQUIRED IMPORTED_TARGET libimobiledevice-1.0)
pkg_check_modules(USBMUXD REQUIRED IMPORTED_TARGET libusbmuxd-2.0)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)

if(NOT TARGET RapidJSON::RapidJSON)
  add_library(RapidJSON::RapidJSON INTERFACE IMPORTED)
  target_include_directories(RapidJSON::RapidJSON INTERFACE ${RAPIDJSON_INCLUDE_DIRS})
endif()
