# Third-party libraries, all from Debian packages (scripts/setup.sh installs them).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# Standalone Asio has no CMake package.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(zyn_asio INTERFACE)
target_include_directories(zyn_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(zyn_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(zyn_asio INTERFACE Threads::Threads)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavcodec libavformat libavutil libswscale libswresample)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xext xscrnsaver)

if(ZYNVS_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(ZYNVS_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()

# Internal static libraries that end up inside a shared library use this so
# that nothing but the marked C exports becomes visible.
function(zyn_internal_library target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
endfunction()
