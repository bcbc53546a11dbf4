# Build options shared by every target: warnings, sanitizers, benchmarks, fuzzers.

option(CORVANE_WERROR "Treat compiler warnings as errors" ON)
option(CORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(CORVANE_BUILD_BENCH "Build the benchmarks under bench/" ON)
option(CORVANE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
option(CORVANE_TSAN "Build with ThreadSanitizer" OFF)

add_compile_options(-Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # RapidJSON's member iterators trip clang's C++20 reversed-operator warning in its own header.
  add_compile_options(-Wno-ambiguous-reversed-operator)
endif()
if(CORVANE_WERROR)
  add_compile_options(-Werror)
endif()

if(CORVANE_FUZZ)
  # The libraries the fuzz targets use are built for coverage too; AddressSanitizer catches what they do wrong.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVANE_SANITIZE AND CORVANE_TSAN)
  message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer: build them in separate folders")
endif()

if(CORVANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(CORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # With the sanitizers GCC 12 reports uninitialised reads inside its own <regex> and <functional> that are not
    # there; the normal build keeps the warning.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()
