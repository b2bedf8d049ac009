# Shared helpers: warnings, sanitizers, and one-line declarations of tests, fuzzers and benchmarks.

# The warning set of our own code; with XQT_WERROR (the plain tree of ./run) every warning fails the build.
function(xqt_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter -Wshadow -Wnon-virtual-dtor)
    if(XQT_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

macro(xqt_apply_sanitizers)
    if(XQT_SANITIZE)
        add_compile_options(-fsanitize=${XQT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=${XQT_SANITIZE})
    endif()
    if(XQT_FUZZ)
        if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
            message(FATAL_ERROR "XQT_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
        endif()
        add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    endif()
endmacro()

# ccache takes units built over a precompiled header only when told that the header's
# __DATE__/__TIME__ and its macro set are not its business, and (GCC) when the preprocessed text
# names the header it stands for. A precompiled header is not byte-identical from one build to the
# next, but ccache caches it like an object, so a fresh tree gets the same bytes back and its units
# hit as well.
macro(xqt_pch_with_ccache)
    if(XQT_PCH AND XQT_WITH_GUI AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
        set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env CCACHE_SLOPPINESS=pch_defines,time_macros
            ${CMAKE_CXX_COMPILER_LAUNCHER})
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fpch-preprocess>)
        endif()
    endif()
endmacro()

# xqt_precompile(target): the Qt headers the Qt library's units share, compiled once. Units still
# include what they use; the list only saves parsing. Measured per unit (GCC 12, -O2 -g): the Qt
# library's sources take about half the time over it, while the test suites gain nothing from a
# precompiled gtest or Qt (loading a header of 100-180 MB costs what parsing saves) and would pay
# for one header per suite, so they have none.
function(xqt_precompile target)
    if(XQT_PCH)
        target_precompile_headers(${target} PRIVATE <string> <vector> <memory> <functional> <QApplication>
            <QWidget> <QDialog> <QLabel> <QLineEdit> <QPushButton> <QRadioButton> <QCheckBox> <QPainter>
            <QTimer> <QString> <QVBoxLayout>)
    endif()
endfunction()

# Every test entry runs through tests/isolated.sh: a network namespace of its own (see there).
set(XQT_ISOLATED ${CMAKE_SOURCE_DIR}/tests/isolated.sh)

# xqt_hang_guard(seconds tests...): the most each entry may take on the machine the trees were
# measured on; tests/isolated.sh stretches it by the machine's measured slowdown and stops the entry
# past it. No ctest TIMEOUT: ctest could not stretch it.
function(xqt_hang_guard seconds)
    foreach(test ${ARGN})
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT XQT_HANG_GUARD=${seconds})
    endforeach()
endfunction()

# xqt_add_gtest(name SOURCES a.cpp b.cpp [LIBS libs...] [LABELS labels...] [SCREENSHOTS] [TIMEOUT s]
#               [SHARDS n])
# One test executable per area. Label "engine" marks the suites that also run under
# ThreadSanitizer, "gui" those that need Qt (they link xqt_gui and Qt Test, and run with the
# offscreen platform), "threads" the Qt suites whose sessions start worker threads: they run under
# ThreadSanitizer too. The target tsan_suites builds every suite of either label.
# SHARDS: the suite runs as n ctest entries name/1 … name/n, each a gtest shard of its cases in a
# namespace of its own, so that suites which mostly wait on scaled camera timings run side by side.
# SCREENSHOTS: the suite's Screenshots.* cases run apart, under the label "screenshots".
function(xqt_add_gtest name)
    cmake_parse_arguments(T "SCREENSHOTS" "TIMEOUT;SHARDS" "SOURCES;LIBS;LABELS" ${ARGN})
    if("gui" IN_LIST T_LABELS AND NOT XQT_WITH_GUI)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE xqt_core GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    target_compile_options(${name} PRIVATE ${XQT_TEST_COMPILE_OPTIONS})
    xqt_warnings(${name})
    if("gui" IN_LIST T_LABELS)
        target_link_libraries(${name} PRIVATE xqt_gui Qt6::Test)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    if(NOT T_SHARDS)
        set(T_SHARDS 1)
    endif()
    if("engine" IN_LIST T_LABELS OR "threads" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY XQT_TSAN_SUITES ${name})
    endif()
    set(environment "QT_QPA_PLATFORM=offscreen;XQT_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
    set(command ${XQT_ISOLATED} $<TARGET_FILE:${name}> --gtest_brief=1)
    if(T_SCREENSHOTS)
        # The suite's Screenshots.* cases save pictures for a person to look at and check nothing of
        # their own: they run as a separate entry under the label "screenshots", not among the tests.
        add_test(NAME ${name}_screenshots COMMAND ${command} --gtest_filter=Screenshots.*)
        set_tests_properties(${name}_screenshots PROPERTIES LABELS screenshots ENVIRONMENT "${environment}")
        xqt_hang_guard(${T_TIMEOUT} ${name}_screenshots)
        list(APPEND command --gtest_filter=-Screenshots.*)
    endif()
    if(T_SHARDS EQUAL 1)
        add_test(NAME ${name} COMMAND ${command})
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${environment}")
        xqt_hang_guard(${T_TIMEOUT} ${name})
        return()
    endif()
    math(EXPR last "${T_SHARDS} - 1")
    foreach(index RANGE ${last})
        math(EXPR number "${index} + 1")
        add_test(NAME ${name}/${number} COMMAND ${command})
        # COST: a fresh tree has no timings yet, and the shards of the long suites should start first.
        set_tests_properties(${name}/${number} PROPERTIES LABELS "${T_LABELS}" COST ${T_SHARDS}
            ENVIRONMENT "${environment};GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${index}")
        xqt_hang_guard(${T_TIMEOUT} ${name}/${number})
    endforeach()
endfunction()

# xqt_add_fuzzer(name SOURCES a.cpp [LIBS libs...]); built only with XQT_FUZZ.
function(xqt_add_fuzzer name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE xqt_core ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY XQT_FUZZERS ${name})
endfunction()

# xqt_add_bench(name SOURCES a.cpp [LIBS libs...]); not part of `all`: target benchmarks builds them.
function(xqt_add_bench name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} EXCLUDE_FROM_ALL ${B_SOURCES})
    set_property(GLOBAL APPEND PROPERTY XQT_BENCHMARKS ${name})
    target_link_libraries(${name} PRIVATE xqt_core benchmark::benchmark ${B_LIBS})
endfunction()
