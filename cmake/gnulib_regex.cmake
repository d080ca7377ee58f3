# GNU regex for this tree's target, built from the gnulib that Debian installs: gnulib-tool
# writes a scratch package with the regex module, which is cross-configured and built once
# under <build>/gnulib_regex; the stamps keep later builds and cmake runs from redoing it.
# Consumers link `gnu_regex` and include <regex.h> from it (functions renamed rpl_re_*).
include(ExternalProject)

find_program(GNULIB_TOOL gnulib-tool HINTS /usr/share/gnulib REQUIRED)
get_filename_component(GNULIB_TOOL_REAL ${GNULIB_TOOL} REALPATH)
get_filename_component(GNULIB_DIR ${GNULIB_TOOL_REAL} DIRECTORY)
# An explicit --build keeps configure from trying to run the .exe files it compiles
# (binfmt_misc may hand them to Wine, or they simply fail).
if(NOT GNULIB_BUILD_TRIPLE)
  execute_process(COMMAND sh ${GNULIB_DIR}/build-aux/config.guess
    OUTPUT_VARIABLE guessed OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(GNULIB_BUILD_TRIPLE ${guessed} CACHE STRING "The build machine's triple for gnulib's configure")
endif()

set(GNU_REGEX_DIR ${CMAKE_BINARY_DIR}/gnulib_regex)
set(GNU_REGEX_INCLUDE_DIR ${GNU_REGEX_DIR}/include)
set(GNU_REGEX_LIBRARY ${GNU_REGEX_DIR}/build/gllib/libgnu.a)
string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)

# Lock the mutexes of regex with Windows critical sections rather than winpthreads.
# Output of every step goes to <build>/gnulib_regex/log (shown when a step fails).
ExternalProject_Add(gnu_regex_build
  PREFIX ${GNU_REGEX_DIR}
  SOURCE_DIR ${GNU_REGEX_DIR}/src
  DOWNLOAD_DIR ${GNU_REGEX_DIR}
  BINARY_DIR ${GNU_REGEX_DIR}/build
  STAMP_DIR ${GNU_REGEX_DIR}/stamp
  LOG_DIR ${GNU_REGEX_DIR}/log
  DOWNLOAD_COMMAND ${CMAKE_COMMAND} -E rm -rf <SOURCE_DIR>
    COMMAND ${GNULIB_TOOL} --create-testdir --without-tests --dir=<SOURCE_DIR> regex
  UPDATE_COMMAND ""
  CONFIGURE_COMMAND <SOURCE_DIR>/configure --quiet
    --build=${GNULIB_BUILD_TRIPLE} --host=${MINGW_TRIPLE}
    --enable-threads=windows --disable-dependency-tracking
    CC=${CMAKE_C_COMPILER} AR=${CMAKE_AR} RANLIB=${CMAKE_RANLIB}
    "CFLAGS=${CMAKE_C_FLAGS} ${CMAKE_C_FLAGS_${build_type}}"
  BUILD_COMMAND $(MAKE)
    COMMAND ${CMAKE_COMMAND} -DCONFIG_H=<BINARY_DIR>/config.h -DREGEX_H=<SOURCE_DIR>/gllib/regex.h
      -DOUTPUT=${GNU_REGEX_INCLUDE_DIR}/regex.h -P ${CMAKE_CURRENT_LIST_DIR}/gnulib_regex_header.cmake
  BUILD_BYPRODUCTS ${GNU_REGEX_LIBRARY} ${GNU_REGEX_INCLUDE_DIR}/regex.h
  INSTALL_COMMAND ""
  LOG_DOWNLOAD ON LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)

# The include folder must exist when the tree is generated, before the first build fills it.
file(MAKE_DIRECTORY ${GNU_REGEX_INCLUDE_DIR})
add_library(gnu_regex STATIC IMPORTED)
set_target_properties(gnu_regex PROPERTIES
  IMPORTED_LOCATION ${GNU_REGEX_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${GNU_REGEX_INCLUDE_DIR})
add_dependencies(gnu_regex gnu_regex_build)
