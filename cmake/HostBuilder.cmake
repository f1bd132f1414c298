# QM_HOST_BUILDER: the builder (qm-build) for this Linux machine, built by the
# target host_builder from the same sources in a build tree of its own, for
# Windows builds whose checks pack the real stubs on the Linux side (signing)
# and that write qm-build's manual page. One built already from these
# sources can be given instead (-DQM_GIVEN_BUILDER=PATH, as
# scripts/release.sh gives its Linux one): host_builder then builds nothing.

include(ExternalProject)
if(QM_GIVEN_BUILDER)
  set(QM_HOST_BUILDER ${QM_GIVEN_BUILDER})
else()
  set(QM_HOST_BUILDER ${CMAKE_BINARY_DIR}/host-builder/tools/qm-build)
endif()
if(TARGET host_builder)
  return() # made already (tools/ writes the manual page with it)
endif()
if(QM_GIVEN_BUILDER)
  add_custom_target(host_builder)
  return()
endif()
ExternalProject_Add(host_builder
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-builder
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
             -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
  BUILD_COMMAND $(MAKE) qm-build
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${QM_HOST_BUILDER})
