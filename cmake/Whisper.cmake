# Finds whisper.cpp, in this order:
#   1. an installed whisper.cpp (its CMake package), version 1.7.6 or later;
#   2. a source tree given with FETCHCONTENT_SOURCE_DIR_WHISPER (scripts/setup provisions one);
#   3. the upstream release v1.9.1, downloaded and checked against its pinned hash.
# Cases 2 and 3 build the library static, CPU only, without its examples, tests or server.

find_package(whisper 1.7.6 CONFIG QUIET)
if(whisper_FOUND)
  message(STATUS "whisper.cpp: installed package ${whisper_VERSION}")
  return()
endif()

include(FetchContent)
FetchContent_Declare(whisper
  URL https://github.com/ggml-org/whisper.cpp/archive/refs/tags/v1.9.1.tar.gz
  URL_HASH SHA256=147267177eef7b22ec3d2476dd514d1b12e160e176230b740e3d1bd600118447
  DOWNLOAD_EXTRACT_TIMESTAMP ON)

if(FETCHCONTENT_SOURCE_DIR_WHISPER)
  message(STATUS "whisper.cpp: source tree ${FETCHCONTENT_SOURCE_DIR_WHISPER}")
else()
  message(STATUS "whisper.cpp: fetching release v1.9.1")
endif()

FetchContent_GetProperties(whisper)
if(NOT whisper_POPULATED)
  FetchContent_Populate(whisper)
endif()

function(murmelo_add_whisper)
  set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
  set(WHISPER_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
  set(WHISPER_BUILD_TESTS OFF CACHE BOOL "" FORCE)
  set(WHISPER_BUILD_SERVER OFF CACHE BOOL "" FORCE)
  set(GGML_NATIVE ON CACHE BOOL "" FORCE)
  set(GGML_CCACHE OFF CACHE BOOL "" FORCE)
  set(GGML_CUDA OFF CACHE BOOL "" FORCE)
  set(GGML_VULKAN OFF CACHE BOOL "" FORCE)
  set(GGML_METAL OFF CACHE BOOL "" FORCE)
  set(GGML_BLAS OFF CACHE BOOL "" FORCE)
  set(GGML_OPENMP ON CACHE BOOL "" FORCE)
  # Recognition at -O0 is unusably slow; the dependency is optimised in every build type.
  set(CMAKE_C_FLAGS_DEBUG "-O2 -g")
  set(CMAKE_CXX_FLAGS_DEBUG "-O2 -g")
  add_subdirectory(${whisper_SOURCE_DIR} ${whisper_BINARY_DIR} EXCLUDE_FROM_ALL SYSTEM)
endfunction()
murmelo_add_whisper()
