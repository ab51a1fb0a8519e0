# System libraries, all from Debian packages (scripts/setup.sh installs them).
find_package(PkgConfig REQUIRED)
find_package(Iconv REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(LIBARCHIVE IMPORTED_TARGET libarchive)
pkg_check_modules(UCHARDET REQUIRED IMPORTED_TARGET uchardet)
pkg_check_modules(RTMIDI IMPORTED_TARGET rtmidi)
pkg_check_modules(FLUIDSYNTH IMPORTED_TARGET fluidsynth)
pkg_check_modules(SNDFILE IMPORTED_TARGET sndfile)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
if(SONFARA_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
if(SONFARA_BENCH)
    find_package(benchmark REQUIRED)
endif()

# Adds an engine library from one folder: no Qt, warnings on.
# An engine library builds without Qt: configuring fails when one of its
# sources, or a header beside them, includes a Qt header.
function(sonfara_engine_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(_file IN LISTS ARG_SOURCES _headers)
        get_filename_component(_path ${_file} ABSOLUTE)
        file(STRINGS ${_path} _qt REGEX "^[ \t]*#[ \t]*include[ \t]*<Q")
        if(_qt)
            message(FATAL_ERROR "${_path}: the engine library ${name} must not include Qt (${_qt})")
        endif()
    endforeach()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE sonfara_warnings)
endfunction()

# Adds one GoogleTest executable registered with CTest.
function(sonfara_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main sonfara_warnings)
    target_compile_definitions(${name} PRIVATE
        SONFARA_CORPUS_DIR="${SONFARA_CORPUS_DIR}"
        SONFARA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
