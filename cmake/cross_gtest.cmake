# GoogleTest for a cross build: Debian's packaged libraries are built for the host, so the
# test framework is built from its source package by the cross compiler, beside our code.
set(VELMORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built for cross builds")
if(NOT EXISTS ${VELMORA_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VELMORA_GTEST_SOURCE} "
                      "(Debian: googletest, which libgtest-dev brings)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# It names its targets GTest::gtest and GTest::gtest_main, as the installed package does.
add_subdirectory(${VELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
