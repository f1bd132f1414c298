# QM_HOST_STUB_FILE: the product stub (the win32 preset's quillimark-stub.exe)
# for a Linux build of the builder, made by the target host_stub from the
# same sources in a build tree of its own with the 32-bit MinGW-w64
# toolchain, so that "cmake --install" of a Linux build installs qm-build
# with the stub it packs by default. Without that compiler there is none.
# One built already from these sources can be given instead
# (-DQM_GIVEN_STUB=PATH, as scripts/release.sh gives the one its Windows
# build made, so that both archives hold the same file).

include_guard(GLOBAL)
if(QM_GIVEN_STUB)
  set(QM_HOST_STUB_FILE ${QM_GIVEN_STUB})
  return()
endif()
find_program(QM_MINGW_I686 i686-w64-mingw32-g++-posix)
if(NOT QM_MINGW_I686)
  message(STATUS "No i686-w64-mingw32-g++-posix: qm-build is installed without a stub (--stub then required)")
  return()
endif()
include(ExternalProject)
set(QM_HOST_STUB_FILE ${CMAKE_BINARY_DIR}/stub/launcher/quillimark-stub.exe)
ExternalProject_Add(host_stub
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/stub
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF
             -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-i686.cmake
  BUILD_COMMAND $(MAKE) quillimark-stub
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${QM_HOST_STUB_FILE})
